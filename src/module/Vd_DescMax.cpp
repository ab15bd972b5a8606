// The approval's discount ceiling: the discount of each item and of the whole quote measured
// against the salesperson's maximum percentage, and the authorisation a discount above it needs.
// The approval asks for it only where the branch treats discounts by this ceiling
// (IDTPTRATDESCORE "A").
#include "Approval.h"
#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "Consiste.h"
#include "Crv_msg.h"
#include "Dialogs.h"
#include "DiscountCeiling.h"
#include "Errors.h"
#include "HostServices.h"
#include "Lib00700.h"
#include "NetConnection.h"
#include "QuoteContext.h"

#include <optional>
#include <vector>

using namespace Cli_ore06400;
using namespace Qt::StringLiterals;

namespace {

// Every item of every option, as the ceiling measures it.
std::vector<TDiscountedItem> DiscountedItems(TClientDataSet& items)
{
    std::vector<TDiscountedItem> result;
    for (items.First(); !items.Eof(); items.Next()) {
        const TField* discount = items.FieldByName(u"VRDESCITOREV"_s);
        result.push_back({items.FieldByName(u"QTITEMORCEVE"_s)->AsFloat(), items.FieldByName(u"VRITEMORCEVE"_s)->AsFloat(),
                          items.FieldByName(u"VRACREITOREV"_s)->AsFloat(),
                          discount->IsNull() ? std::nullopt : std::optional<double>(discount->AsFloat())});
    }
    return result;
}

} // namespace

void TApproval::Vd_DescMax()
{
    const bool aboveCeiling = DiscountAboveCeiling(DiscountedItems(*cdsItemOrcaEven), Quote().FieldByName(u"VRDESCORCEVE"_s)->AsFloat(),
                                                   Quote().FieldByName(u"VRPEMAXDESVE"_s)->AsFloat());
    // The operator's job is read whatever the verdict: the commercial approval uses it later.
    LoadOperatorRecord(cdsCargoOperador, "GetVerifCargoOper", Operador());
    if (!aboveCeiling)
        return;

    LoadOperatorRecord(cdsOperadorSup, "GetOperadorAprov", Operador());
    bool authorised = false;
    const QString job = cdsCargoOperador->Text(u"IDCARGOVEND"_s);
    if (!job.isEmpty() && job != QLatin1String("V")) {
        authorised = Messages().ShowMsg(u"DESC_ACIMA"_s, mtConfirmation, mbYes | mbNo, 0) == mrYes;
    } else {
        MessageDlg(Msg("PERMITE_DESCONTO"), mtInformation, mbOK, 0);
        LoadOperatorRecord(cdsSupervisor, "GetSupervisor", Quote().Text(u"CDVENDEDOR"_s));
        const QString supervisor = cdsSupervisor->Text(u"CDOPERADOR"_s);
        const bool linkedToSalesperson = !cdsOperadorSup->Text(u"CDVENDEDOR"_s).isEmpty();
        if (!linkedToSalesperson && supervisor.isEmpty())
            StopWithError(Msg("GRSUP_VAZIO"));
        authorised = CriaConfSenha(supervisor, Msg("SENHA_APROV"), Msg("OPER"));
    }
    if (!authorised) {
        StopWithError(Msg("GERSUP_N_APROV"));
    }
}
