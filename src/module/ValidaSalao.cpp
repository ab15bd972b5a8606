// The approval's hall check: each reserved hall is put to the server, which answers "OK" or
// a coded refusal whose text carries the hall's name from its 14th character on.
#include "Approval.h"
#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "Dialogs.h"
#include "Errors.h"
#include "NetConnection.h"
#include "TextRoutines.h"
#include "Variants.h"
#include "Wire.h"

using namespace Cli_ore06400;
using namespace Qt::StringLiterals;

namespace {

// The coded refusals, in the order they are looked for in an answer.
struct HallRefusal {
    const char* code;
    const char* messageKey;
    TMsgDlgType box;
};
constexpr HallRefusal kHallRefusals[] = {
    {"ACIMA_LIMITE", "Qt_Agen", mtInformation},
    {"N_LIMITE_DEF", "N_Limite_Param", mtError},
    {"DTA_HRA_MARC", "DtHr_Marc", mtInformation},
};

constexpr qsizetype kHallNameStart = 13;   // after the 12-character code and its separator

// The answer as text. A refusal of the call itself carries its reason, and an empty answer is
// told as such: neither may reach the operator as an empty error box.
QString HallAnswer(const QVariant& result)
{
    const QString answer = VarIsFail(result) ? result.value<TFailResult>().text : VarToStr(result);
    if (answer.isEmpty())
        return QStringLiteral("O servidor não respondeu à verificação dos salões.");
    return answer;
}

} // namespace

void TApproval::ValidaSalao()
{
    for (cdsSalaoEven->First(); !cdsSalaoEven->Eof(); cdsSalaoEven->Next()) {
        if (cdsSalaoEven->Text(u"IDSITAGENSAL"_s) != QLatin1String("R"))
            continue;
        const QString answer = HallAnswer(netAprovacao->Call(QStringLiteral("GetVerifSalao"), {stCdFili, stNrOrca, stNrSeq, stSaloes}));
        if (answer == QLatin1String("OK"))
            continue;
        const QString hall = answer.mid(kHallNameStart);
        for (const HallRefusal& refusal : kHallRefusals) {
            if (answer.contains(QLatin1String(refusal.code))) {
                MessageDlg(Format(Msg(refusal.messageKey), {hall}), refusal.box, mbOK, 0);
                Abort();
            }
        }
        throw EHostError(answer);
    }
}
