// Approval of a pending quote: the quote loaded with everything the approval reads, the
// quotes that may not be approved refused, and the options and halls the operator keeps.
// RecordApproval (ApprovalRecording.cpp) goes on from there.
#include "Approval.h"
#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "Consiste.h"
#include "Crv_msg.h"
#include "Dialogs.h"
#include "Errors.h"
#include "HostServices.h"
#include "NetConnection.h"
#include "QuoteContext.h"
#include "Showavi.h"
#include "Variants.h"

using namespace Cli_ore06400;
using namespace Qt::StringLiterals;

// The salesperson's ceiling and the branch's parameters, for a quote key.
void TApproval::LoadCeilings(const QVariantList& quote)
{
    const QVariant ceilings = CheckResultServ(m_quote.netProcessaOrca->Call(QStringLiteral("GetPercDescVend"), quote));
    cdsPercDescVend->SetData(VarElement(ceilings, 0, QStringLiteral("GetPercDescVend")));
    cdsParamOrca->SetData(VarElement(ceilings, 1, QStringLiteral("GetPercDescVend")));
}

void TApproval::Run()
{
    boProdSemCad = false;
    stOpcoes.clear();
    stSaloes.clear();
    WaitScope wait(MainForm(), TWaitKind::Processing);
    if (ApprovalChecksAndChoices())
        RecordApproval(wait);
}

bool TApproval::ApprovalChecksAndChoices()
{
    Quote().SetData(CallWithQuoteKey(m_quote.netProcessaOrca, "GetOrcaEvento"));

    bool stop = false;
    LoadBPL(QStringLiteral("ORE00402"), QVariantList{stCdFili, stNrOrca, stNrSeq, VarRef(&stop)});
    if (stop)
        Abort();

    const QVariant general = CallWithQuoteKey(netAprovacao, "GetGeral");
    cdsSalaoEven->SetData(CallWithQuoteKey(netAprovacao, "GetSalao"));
    TClientDataSet* const parts[] = {cdsItemOrcaEven, cdsTotalGrupo,   cdsTotalOpcao,   cdsTotalOrca,
                                     cdsItMaoObra,    cdsObsExtOrcaEv, cdsObsIntOrcaEv, m_quote.cdsEndeNovoClie};
    for (int i = 0; i < 8; ++i)
        parts[i]->SetData(VarElement(general, i, QStringLiteral("GetGeral")));

    for (cdsItemOrcaEven->First(); !cdsItemOrcaEven->Eof(); cdsItemOrcaEven->Next())
        if (cdsItemOrcaEven->Text(u"CDPRODUTO"_s).isEmpty())
            boProdSemCad = true;

    cdsParamOrca->SetData(VarElement(CallWithQuoteKey(m_quote.netProcessaOrca, "GetPercDescVend"), 1, QStringLiteral("GetPercDescVend")));
    if (cdsParamOrca->Text(u"IDAPROVORCFILANTPAI"_s) == QLatin1String("N")) {
        cdsVerifOrcaPend->SetData(CheckResultServ(netAprovacao->Call(QStringLiteral("GetVerifOrcaPend"), QuoteKey() << 1)));
        if (!cdsVerifOrcaPend->IsEmpty())
            StopWithError(Msg("Orc_Pai_Aprov"));
    }

    if (inStatusOrca == TQuoteSituation::Approved) {
        Messages().ShowMsg(QStringLiteral("Orc_Ja_Aprova"), mtInformation, mbOK, 0);
        return false;
    }

    if (cdsItemOrcaEven->IsEmpty())
        StopWithError(Msg("Item_N_Cad"));

    LoadCeilings(QuoteKey());

    m_jobRecordLoaded = false;
    if (!cdsItemOrcaEven->IsEmpty() && cdsParamOrca->Text(u"IDTPTRATDESCORE"_s) == QLatin1String("A")) {
        Vd_DescMax();
        m_jobRecordLoaded = true;
    }

    if (cdsItMaoObra->IsEmpty() && !Confirmed("Orc_N_MObra"))
        Abort();

    cdsOpcao->SetData(CallWithQuoteKey(netAprovacao, "GetOpcao"));
    KeepChosen(dtsOpcao, "NROPCAITOREV", "Opcoes", "Exl_Opcoes", stOpcoes);
    KeepChosen(dtsSalaoEven, "CDSALAOEVEN", "Salao", "Exl_Saloes", stSaloes);
    return true;
}

// With more than one record in the list, the operator ticks the ones the event keeps and
// confirms that the others go; with one or none, nothing is asked and `chosen` stays empty.
void TApproval::KeepChosen(TDataSource* list, const char* keyField, const char* titleKey, const char* confirmKey, QString& chosen)
{
    if (list->DataSet()->RecordCount() <= 1)
        return;
    PesquisaLista(list, QString::fromLatin1(keyField), Msg(titleKey), false, chosen);
    if (chosen.isEmpty() || !Confirmed(confirmKey))
        Abort();
}
