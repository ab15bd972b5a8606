// Closing of an approved quote: its contracting clients stated and checked, its row marked
// and sent to the server's closing.
#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "Closing.h"
#include "Consiste.h"
#include "Crv_msg.h"
#include "Dialogs.h"
#include "Errors.h"
#include "HostServices.h"
#include "NetConnection.h"
#include "QuoteContext.h"
#include "Showavi.h"
#include "TextRoutines.h"
#include "TfrmProcOrca.h"
#include "Variants.h"
#include "WireContract.h"
#include "Wire.h"

using namespace Cli_ore06400;

// The closing record of the quote number, every sequence in the quote's situation.
void TClosing::LoadClosingRecord()
{
    const QVariant quotes = CallForQuoteNumber(netFechamento, GetOrcaEventoRangeArg::CountClosing);
    cdsOrcaEventoFech->SetData(VarElement(quotes, 0, QStringLiteral("GetOrcaEvento")));
}

void TClosing::Run()
{
    if (inStatusOrca == TQuoteSituation::Closed)
        StopWithError(Msg("ORCA_JA_FECHADO"));

    {
        const WaitScope wait(MainForm(), TWaitKind::Reading);
        LoadClosingRecord();
        QVariantList op{stCdOperador};
        // The dialog instance's connection (this dialog, when it was not created by the entry).
        TfrmProcOrca* dialog = frmProcOrca ? frmProcOrca : &m_dialog;
        const QVariant rights = dialog->quote->netProcessaOrca->CallRef(QStringLiteral("GetOperCadProd"), op);
        stCdOperador = op[0].toString();
        m_quote.cdsOperCadProd->SetData(CheckResultServ(rights));
    }

    LoadBPL(QStringLiteral("ORE09000"), QVariantList{stCdFili, stNrOrca, stNrSeq, m_dialog.lblCodTela->text()});

    cdsExisteContratante->SetData(CallUpdatingGlobalKey(netContratante, "GetExisteContratante"));
    if (cdsExisteContratante->IsEmpty())
        StopWithError(Msg("CONTRATANTE_N_INF"));

    const QVariant valueCheck = VarElement(CallUpdatingGlobalKey(netContratante, "GetVdValor"), 0, QStringLiteral("GetVdValor"));
    if (!VarIsNull(valueCheck) && !VarToStr(valueCheck).isEmpty()) {
        const QString text = Messages().Msg(VarToStr(valueCheck));
        StopWithError(text.isEmpty() ? VarToStr(valueCheck) : text);
    }

    {
        const WaitScope wait(MainForm(), TWaitKind::Reading);
        CallUpdatingGlobalKey(netContratante, "GetVdTipoEveCustEfet");
        cdsEndeCont->SetData(VarElement(CallUpdatingGlobalKey(netContratante, "GetContratante"), 0, QStringLiteral("GetContratante")));
    }

    if (!CallUpdatingGlobalKey(netContratante, "GetQtContratantes").toBool())
        StopWithError(Msg("QT_CONTR_DIF"));

    {
        const WaitScope wait(MainForm(), TWaitKind::Reading);
        LoadClosingRecord();
    }

    // Only the quote's own row is marked: without it, another sequence would be closed.
    if (!cdsOrcaEventoFech->Locate(QStringLiteral("CDFILIAL;NRORCAEVENTO;NRSEQORCAEVE"), VarArrayOf({stCdFili, stNrOrca, stNrSeq}),
                                   loCaseInsensitive))
        StopWithError(Format(Msg("ORCA_N_ENCONTRADO"), {stNrOrca, stNrSeq}));
    if (cdsOrcaEventoFech->State() != dsEdit && cdsOrcaEventoFech->State() != dsInsert)
        cdsOrcaEventoFech->Edit();
    cdsOrcaEventoFech->FieldByName(QStringLiteral("IDMARCADO"))->SetAsString(QStringLiteral("S"));
    cdsOrcaEventoFech->Post();

    ShowingParameterError(Messages(), [this] {
        const WaitScope wait(MainForm(), TWaitKind::Processing);
        CheckResultServ(netFechamento->Call(QStringLiteral("FecharOrca"), {cdsOrcaEventoFech->DataVariant(), Operador(), Null()}));
        inStatusOrca = Code(TQuoteSituation::Closed);
    });
}
