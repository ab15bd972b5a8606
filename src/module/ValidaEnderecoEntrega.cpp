// The delivery-address gate of the approval: a complete address and registered products.
#include "Approval.h"
#include "Cli_ore06400.h"
#include "Cli_ore06401.h"
#include "ClientDataSet.h"
#include "Consiste.h"
#include "Dialogs.h"
#include "HostServices.h"
#include "NetConnection.h"
#include "QuoteContext.h"
#include "Showavi.h"
#include "TfrmProcOrca.h"
#include "Variants.h"

using namespace Cli_ore06400;
using namespace Qt::StringLiterals;

bool TApproval::AddressComplete() const
{
    for (const char* field : {"DSENDENTOREV", "CDPAIS", "SGESTADO", "CDMUNICIPIO"})
        if (Quote().Text(QString::fromLatin1(field)).isEmpty())
            return false;
    return true;
}

void TApproval::ValidaEnderecoEntrega()
{
    TfrmProcOrca* dialog = frmProcOrca ? frmProcOrca : &m_dialog;
    QVariantList op{stCdOperador};
    const QVariant rights = dialog->quote->netProcessaOrca->CallRef(QStringLiteral("GetOperCadProd"), op);
    stCdOperador = op[0].toString();
    m_quote.cdsOperCadProd->SetData(CheckResultServ(rights));

    if (!AddressComplete() || boProdSemCad) {
        if (boProdSemCad)
            MensErro(Msg("ORCA_SEM_PROD_CAD"), false);
        // The dialog says why it opened, for as long as the operator works in it.
        QStringList reasons;
        if (!AddressComplete())
            reasons << Msg("MOTIVO_END_INCOMPLETO");
        if (boProdSemCad)
            reasons << Msg("ORCA_SEM_PROD_CAD");
        Cli_ore06401::CriaInfOrca(m_quote.cdsOperCadProd->Text(u"IDCADPRPROCEORE"_s) == QLatin1String("S"),
                                  reasons.join(QLatin1Char('\n')));
    }

    {
        const WaitScope wait(MainForm(), TWaitKind::Reading);
        Quote().SetData(CallUpdatingGlobalKey(dialog->quote->netProcessaOrca, "GetOrcaEvento"));
    }
    if (!AddressComplete())
        StopWithError(Msg("End_Entrega_Inf"));

    {
        const WaitScope wait(MainForm(), TWaitKind::Reading);
        cdsItemOrcaEven->SetData(VarElement(CallUpdatingGlobalKey(netAprovacao, "GetGeral"), 0, QStringLiteral("GetGeral")));
    }
    for (cdsItemOrcaEven->First(); !cdsItemOrcaEven->Eof(); cdsItemOrcaEven->Next())
        if (cdsItemOrcaEven->Text(u"CDPRODUTO"_s).isEmpty())
            StopWithError(Msg("BLOQ_ORCA_SEM_PROD_CAD"));
}
