// Execution of a closed quote: orders for production (or requisitions) and for materials,
// what stood in the way listed, a new order announced, the situation moved forward.
#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "Consiste.h"
#include "Crv_msg.h"
#include "Dialogs.h"
#include "Errors.h"
#include "Execution.h"
#include "HostServices.h"
#include "NetConnection.h"
#include "QuoteContext.h"
#include "Showavi.h"
#include "TextRoutines.h"
#include "TfrmProcOrca.h"
#include "Variants.h"
#include "WireContract.h"

#include <optional>

using namespace Cli_ore06400;
using namespace Qt::StringLiterals;

namespace {

QString Quoted(const QString& value)
{
    QString v = value;
    return QLatin1Char('\'') + v.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
}

// A decimal number as the server writes it ("12.5" or "12,5"); anything else is a clear error.
double Decimal(TClientDataSet* dataSet, const char* method)
{
    const QString text = dataSet->Text(u"QTITEMNEG"_s).trimmed();
    bool ok = false;
    const double value = QString(text).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    if (!ok)
        throw EHostError(QStringLiteral("%1: a quantidade acrescida \"%2\" recebida do servidor não é um número decimal.")
                             .arg(QString::fromLatin1(method), text));
    return value;
}

} // namespace

void TExecution::LoadExecutionPacket()
{
    const WaitScope wait(MainForm(), TWaitKind::Processing);
    const QVariant quotes = CallForQuoteNumber(netExecucao, GetOrcaEventoRangeArg::CountExecution);
    cdsOrcaEventoExec->SetData(VarElement(quotes, 0, QStringLiteral("GetOrcaEvento")));
}

// Marks the quote's own row: the filter's values have their quotes doubled, so a key holding a
// quote selects only itself; without the row nothing may be generated.
void TExecution::MarkExecutionRow()
{
    cdsOrcaEventoExec->SetFiltered(false);
    cdsOrcaEventoExec->SetFilter(QStringLiteral("CDFILIAL = ") + Quoted(stCdFili) + QStringLiteral(" AND NRORCAEVENTO = ") + Quoted(stNrOrca)
                                 + QStringLiteral(" AND NRSEQORCAEVE = ") + Quoted(stNrSeq));
    cdsOrcaEventoExec->SetFiltered(true);
    if (cdsOrcaEventoExec->IsEmpty()) {
        cdsOrcaEventoExec->SetFiltered(false);
        StopWithError(Format(Msg("ORCA_N_ENCONTRADO_EXEC"), {stNrOrca, stNrSeq}));
    }
    cdsOrcaEventoExec->Edit();
    cdsOrcaEventoExec->FieldByName(QStringLiteral("IDMARCADO"))->SetAsString(QStringLiteral("S"));
    cdsOrcaEventoExec->Post();
    cdsOrcaEventoExec->SetFiltered(false);
}

void TExecution::VerificationNotice()
{
    const WaitScope wait(MainForm(), TWaitKind::Processing);
    cdsVerifOrcaExec->SetData(CallUpdatingGlobalKey(m_quote.netProcessaOrca, "GetVerifOrcaExec"));
    const QString situation = cdsVerifOrcaExec->Text(u"IDSITUORCEVE"_s);
    const QString word = situation == FieldCode(TQuoteSituation::Pending)    ? Msg("PD")
                         : situation == FieldCode(TQuoteSituation::Approved) ? Msg("AP")
                         : situation == FieldCode(TQuoteSituation::Closed)   ? Msg("FC")
                                                                             : QString();
    if (!cdsVerifOrcaExec->IsEmpty())
        MessageDlg(Format(Msg("Orc_N_Exec"), {cdsVerifOrcaExec->Text(u"NRORCAEVENTO"_s), word}), mtInformation, mbOK, 0);
}

void TExecution::OpenListingScreen(TClientDataSet* dataSet, const char* headerKey)
{
    LoadBPL(QStringLiteral("ORE00610"), QVariantList{VarRef(dataSet), ExecMessages().Msg(QString::fromLatin1(headerKey))});
}

// The orders the quote already has for this step (named by the situation the step leads to, "4"
// production, "5" materials): when there are some, the operator says whether more are to be made.
bool TExecution::MoreOrdersWanted(Step step)
{
    const TQuoteSituation executed = step == Step::Production ? TQuoteSituation::ExecutedForProduction : TQuoteSituation::ExecutedForMaterials;
    cdsPedidoOp->SetData(CheckResultServ(netExecucao->Call(u"GetPedidoOp"_s, {cdsOrcaEventoExec->DataVariant(), FieldCode(executed)})));
    return cdsPedidoOp->IsEmpty() || ExecMessages().ShowMsg(QStringLiteral("Orc_Ja_OP"), mtConfirmation, mbYes | mbNo, 0) != mrNo;
}

bool TExecution::AddedQuantityAccepted(TClientDataSet* dataSet, const char* method, const char* question)
{
    dataSet->SetData(CallUpdatingGlobalKey(netExecucao, method));
    if (Decimal(dataSet, method) <= 0)
        return false;
    if (ExecMessages().ShowMsg(QString::fromLatin1(question), mtConfirmation, mbYes | mbNo, 0) == mrNo)
        Abort();
    return true;
}

// Quantities added to the quote after an earlier execution: the first of expedition, production
// and raw materials that has some is confirmed by the operator (No ends the execution).
TExecution::AddedQuantities TExecution::ConfirmAddedQuantities()
{
    AddedQuantities added;
    added.expedited = AddedQuantityAccepted(cdsExpItemNeg, "GetExpItemNeg", "Item_Ja_Exp");
    if (!added.expedited) {
        added.produced = AddedQuantityAccepted(cdsOpItemNeg, "GetOPItemNeg", "Item_Ja_OP");
        if (!added.produced)
            added.withdrawn = AddedQuantityAccepted(cdsMatprimaItemNeg, "GetMatprimaItemNeg", "Item_Ja_MT");
    }
    return added;
}

// The branch's order operation type, when its parameters require one.
void TExecution::CheckOrderOperationType()
{
    cdsTpOperPed->SetData(CheckResultServ(netFechaOrca->Call(u"GetTpOperPed"_s, {cdsOrcaEventoExec->Text(u"CDFILIAL"_s)})));
    if (cdsTpOperPed->Text(u"IDOBRTPOPPED"_s) == QLatin1String("S") && cdsTpOperPed->Text(u"CDTIPOOPER"_s).isEmpty())
        StopWithError(Msg("Inf_TpOperPed"));
}

// The generation the parameters name; a kind the system does not know ends the execution.
QString TExecution::GenerationMethod(Step step)
{
    const QString kind = cdsParamOrcaEve->Text(u"IDTPPRODPEDOREV"_s);
    if (kind == QLatin1String("O"))
        return QStringLiteral("FecharOrca");
    if (kind == QLatin1String("C") || kind == QLatin1String("A"))
        return step == Step::Production ? u"ExecOrcaComposicao"_s : u"ExecOrcaComposicaoMat"_s;
    StopWithError(ExecMessages().Msg(QStringLiteral("Inf_TpProdPed")));
}

// The server generates the orders; the new client it registered comes back in `newClient`.
QVariant TExecution::Generate(const QString& method, Step step, QVariant& newClient)
{
    QVariantList args{cdsOrcaEventoExec->DataVariant(), Operador(), newClient, step == Step::Production ? u"P"_s : u"M"_s, FiliProc()};
    const QVariant result = CheckResultServ(netFechaOrca->CallRef(method, args));
    newClient = args[2];
    return result;
}

// What stood in the way of the generation, each non-empty list shown, and orders made without
// items said; either marks the execution as not wholly successful. True when a list was shown.
bool TExecution::ListProblems(const QString& method, Step step, const QVariant& result)
{
    const std::pair<TClientDataSet*, const char*> lists[] = {
        {cdsErro, "Erro_Exec"}, {cdsProdSemDep, "Prod_Sem_Depto"}, {cdsPedidoOp, "PEDIDOOP"}, {cdsMsgPedExp, "PEDIDOEXP"},
        {cdsOrcaPendente, step == Step::Production ? "ORCA_PENDENTE_PROD" : "ORCA_PENDENTE_MAT"}, {cdsErroProd, "PRODSEMPRECO"}, {cdsErroFil, "Erro_Exec"},
    };
    int element = 0;
    for (const auto& [dataSet, header] : lists)
        dataSet->SetData(VarElement(result, element++, method));
    const bool withItems = VarElement(result, 8, method).toBool();

    bool listed = false;
    for (const auto& [dataSet, header] : lists)
        if (!dataSet->IsEmpty()) {
            OpenListingScreen(dataSet, header);
            boSemSucess = true;
            listed = true;
        }
    if (!withItems) {
        MessageDlg(Msg(step == Step::Production ? "PED_SEM_ITEM_EXEC_PROD" : "PED_SEM_ITEM_EXEC_MAT"), mtInformation, mbOK, 0);
        boSemSucess = true;
    }
    return listed;
}

bool TExecution::Announce(TClientDataSet* dataSet, const char* method, bool flag, const char* flagKey, const char* noFlagKey)
{
    dataSet->SetData(CallUpdatingGlobalKey(netExecucao, method));
    const QString order = dataSet->Text(u"PEDIDO_NOVO"_s);
    if (EmptyString(order) && !flag)
        return false;
    MessageDlg(Format(ExecMessages().Msg(QString::fromLatin1(flag ? flagKey : noFlagKey)), {order}), mtInformation, mbOK, 0);
    return true;
}

// The new order is announced: an expedition order, else a production order, else a raw
// materials order, each worded for added quantities when the operator confirmed them. When the
// server has none to announce, the quote's situation moves on: executed for production or for
// materials, and executed totally once both are.
void TExecution::AnnounceNewOrder(Step step, const AddedQuantities& added)
{
    if (Announce(cdsExibeNovoPed, "GetExibeNovoPed", added.expedited, "PED_ITEM_NEG_ORCA", "PED_NOVO_ORCA")
        || Announce(cdsExibePedOP, "GetExibpedOP", added.produced, "PED_OP_NEG_ORCA", "PED_OP_NOVO_ORCA")
        || Announce(cdsExibeMatPrima, "GetExibeMatPrima", added.withdrawn, "PED_MT_NEG_ORCA", "PED_MT_NOVO_ORCA"))
        return;
    const bool production = step == Step::Production;
    const TQuoteSituation thisStepDone = production ? TQuoteSituation::ExecutedForProduction : TQuoteSituation::ExecutedForMaterials;
    const TQuoteSituation otherStepDone = production ? TQuoteSituation::ExecutedForMaterials : TQuoteSituation::ExecutedForProduction;
    inStatusOrca = Code(inStatusOrca == otherStepDone ? TQuoteSituation::ExecutedTotally : thisStepDone);
}

// The orders of one step of the execution, production or materials. The production's are made
// under the processing animation; the materials' start on a fresh connection to the order
// generation.
void TExecution::GenerateOrders(Step step, QVariant& newClient)
{
    step == Step::Production ? Vd_ExecProd() : Vd_ExecMate();
    ShowingParameterError(ExecMessages(), [&] {
        std::optional<WaitScope> wait;
        if (step == Step::Production) {
            const TClientDataSet& newClientData = *m_quote.cdsEndeNovoClie;
            newClient = newClientData.Active() && newClientData.ChangeCount() != 0 ? newClientData.DataVariant() : Null();
            wait.emplace(MainForm(), TWaitKind::Processing);
        } else {
            netFechaOrca->SetConnected(false);
            netFechaOrca->SetConnected(true);
        }
        if (!MoreOrdersWanted(step))
            return;
        const AddedQuantities added = ConfirmAddedQuantities();
        CheckOrderOperationType();
        const QString method = GenerationMethod(step);
        const QVariant result = Generate(method, step, newClient);
        if (!ListProblems(method, step, result))
            AnnounceNewOrder(step, added);
    });
}

void TExecution::GenerateRequisitions()
{
    const WaitScope wait(MainForm(), TWaitKind::Processing);
    const QVariant result = CheckResultServ(netExecucao->Call(QStringLiteral("GeraReqOrcaEve"), {cdsOrcaEventoExec->DataVariant(), FiliProc(), Operador()}));
    cdsOrcaPendente->SetData(VarElement(result, 0, QStringLiteral("GeraReqOrcaEve")));
    cdsProdSemDep->SetData(VarElement(result, 1, QStringLiteral("GeraReqOrcaEve")));
    if (!cdsProdSemDep->IsEmpty())
        OpenListingScreen(cdsProdSemDep, "Prod_Sem_Depto");
    if (!cdsOrcaPendente->IsEmpty())
        OpenListingScreen(cdsOrcaPendente, "ORCA_PENDENTE_PROD");
}

void TExecution::Run()
{
    LoadExecutionPacket();
    MarkExecutionRow();
    Vd_BloqPreBase();
    boSemSucess = false;
    VerificationNotice();
    // Executed totally: nothing is left to do. Executed for one department: it is said, and the
    // other department's step runs alone, so that the quote can still reach "executed totally"
    // and the run ends as a finished one.
    if (inStatusOrca == TQuoteSituation::ExecutedTotally)
        StopWithError(Msg("ORCA_JA_EXECPROD"));
    const bool productionDone = inStatusOrca == TQuoteSituation::ExecutedForProduction;
    const bool materialsDone = inStatusOrca == TQuoteSituation::ExecutedForMaterials;
    if (productionDone)
        MessageDlg(Msg("ORCA_JA_EXECPROD"), mtInformation, mbOK, 0);
    if (materialsDone)
        MessageDlg(Msg("ORCA_JA_EXECMAT"), mtInformation, mbOK, 0);
    LoadExecutionPacket();
    MarkExecutionRow();

    QVariant newClient;   // unassigned until the production step sets it
    if (productionDone)
        ;   // materials only
    else if (cdsParamOrcaEve->Text(u"IDGERREQEXECORE"_s) == QLatin1String("P"))
        GenerateOrders(Step::Production, newClient);
    else
        GenerateRequisitions();
    if (materialsDone)
        return;   // production only
    if (inStatusOrca == TQuoteSituation::ExecutedForMaterials || inStatusOrca == TQuoteSituation::ExecutedTotally)
        StopWithError(Msg("ORCA_JA_EXECMAT"));
    GenerateOrders(Step::Materials, newClient);
}

// ---- pre-checks and error texts

void TExecution::Vd_BloqPreBase()
{
    cdsParamOrcaEve->SetData(CheckResultServ(netExecucao->Call(QStringLiteral("getParamOrcaEve"))));
    if (cdsParamOrcaEve->Text(u"IDORIGPRUNITORE"_s) == QLatin1String("C") && EmptyString(cdsParamOrcaEve->Text(u"CDPBASEITEM"_s)))
        StopWithError(ExecMessages().Msg(QStringLiteral("Inf_PreBase")));
}

void TExecution::Vd_ExecProd() { inContMsg = 0; }
void TExecution::Vd_ExecMate() { inContMsg = 0; }

// A code the server reports is shown as its text in the general list, or as it came.
static QString CodeText(const TMessages* list, const QString& code)
{
    const QString mapped = list->Msg(code);
    return EmptyString(mapped) ? code : mapped;
}

void TfrmProcOrca::cdsErroCDERROGetText(TField& sender, QString& text, bool) { text = CodeText(msgPadrao, sender.AsString()); }
void TfrmProcOrca::cdsErroFilCDERROGetText(TField& sender, QString& text, bool) { text = CodeText(msgPadrao, sender.AsString()); }
