// The approval's discount ceiling: the discount of each item and of the whole quote measured
// against the salesperson's maximum percentage, and the authorisation a discount above it needs.
#include "Approval.h"
#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "Consiste.h"
#include "Crv_msg.h"
#include "Dialogs.h"
#include "Errors.h"
#include "HostServices.h"
#include "Lib00700.h"
#include "NetConnection.h"
#include "QuoteContext.h"
#include "TextRoutines.h"

#include <cmath>

using namespace Qt::StringLiterals;

using namespace Cli_ore06400;

void TApproval::Vd_DescMax()
{
    auto quote = [this](const char* name) { return m_quote.cdsOrcaEvento->FieldByName(QString::fromLatin1(name)); };
    auto item = [this](const char* name) { return cdsItemOrcaEven->FieldByName(QString::fromLatin1(name)); };
    const bool treatmentA = cdsParamOrca->Text(u"IDTPTRATDESCORE"_s) == QLatin1String("A");
    const double ceiling = quote("VRPEMAXDESVE")->AsFloat();

    // Every item of every option counts in the gross total; the first one whose own discount is
    // above the ceiling is enough to need the authorisation.
    double grossTotal = 0;
    bool itemAboveCeiling = false;
    for (cdsItemOrcaEven->First(); !cdsItemOrcaEven->Eof(); cdsItemOrcaEven->Next()) {
        const double lineTotal = RoundDec(item("QTITEMORCEVE")->AsFloat() * item("VRITEMORCEVE")->AsFloat() + item("VRACREITOREV")->AsFloat(), 2);
        grossTotal += lineTotal;
        TField* discount = item("VRDESCITOREV");
        if (treatmentA && !itemAboveCeiling && !discount->IsNull() && discount->AsFloat() != 0 && lineTotal > 0)
            itemAboveCeiling = RoundDec(discount->AsFloat() * 100, 2) / lineTotal > ceiling;
    }
    grossTotal = grossTotal == 0 ? 1 : std::abs(grossTotal);

    LoadOperatorRecord(cdsCargoOperador, "GetVerifCargoOper", Operador());
    if (!itemAboveCeiling && RoundDec(quote("VRDESCORCEVE")->AsFloat(), 2) * 100 / RoundDec(grossTotal, 2) <= RoundDec(ceiling, 2))
        return;

    LoadOperatorRecord(cdsOperadorSup, "GetOperadorAprov", Operador());
    bool authorised = false;
    const QString job = cdsCargoOperador->Text(u"IDCARGOVEND"_s);
    if (!job.isEmpty() && job != QLatin1String("V")) {
        authorised = Messages().ShowMsg(QStringLiteral("DESC_ACIMA"), mtConfirmation, mbYes | mbNo, 0) == mrYes;
    } else {
        MessageDlg(Msg("PERMITE_DESCONTO"), mtInformation, mbOK, 0);
        LoadOperatorRecord(cdsSupervisor, "GetSupervisor", quote("CDVENDEDOR")->AsString());
        const QString supervisor = cdsSupervisor->Text(u"CDOPERADOR"_s);
        const bool linkedToSalesperson = !cdsOperadorSup->Text(u"CDVENDEDOR"_s).isEmpty();
        if (!linkedToSalesperson && supervisor.isEmpty())
            MensErro(Msg("GRSUP_VAZIO"), true);
        authorised = CriaConfSenha(supervisor, Msg("SENHA_APROV"), Msg("OPER"));
    }
    if (!authorised && treatmentA) {
        MensErro(Msg("GERSUP_N_APROV"), false);
        Abort();
    }
}
