#pragma once
// The execution of a closed quote and what it reads: its connections to the execution's server
// object and to the order generation, the execution record, the added quantities, the lists of
// what stood in the way and the new orders to announce.

#include "Workflow.h"

class TClientDataSet;

class TExecution : public TWorkflow {
    Q_OBJECT
public:
    TExecution(TfrmProcOrca& dialog, TQuoteContext& quote);

    // The two steps of the execution, each with its own orders.
    enum class Step { Production, Materials };

    // The execution, from the pre-checks to the orders of production and of materials.
    void Run();

    // The pre-checks.
    void Vd_BloqPreBase();
    void Vd_ExecProd();
    void Vd_ExecMate();

    TNetConnection* netExecucao;
    TNetConnection* netFechaOrca;   // the order generation
    TClientDataSet *cdsOrcaEventoExec, *cdsVerifOrcaExec, *cdsPedidoOp, *cdsExpItemNeg, *cdsOpItemNeg, *cdsMatprimaItemNeg, *cdsTpOperPed,
        *cdsErro, *cdsProdSemDep, *cdsMsgPedExp, *cdsOrcaPendente, *cdsErroProd, *cdsErroFil, *cdsExibeNovoPed, *cdsExibePedOP,
        *cdsExibeMatPrima, *cdsParamOrcaEve;

private:
    void LoadExecutionPacket();
    void MarkExecutionRow();
    void VerificationNotice();
    void GenerateRequisitions();
    // The orders of the production or of the materials, in their steps.
    void GenerateOrders(Step step, QVariant& newClient);
    bool MoreOrdersWanted(Step step);
    // The added quantities the operator confirmed; at most one is true.
    struct AddedQuantities {
        bool expedited = false, produced = false, withdrawn = false;
    };
    AddedQuantities ConfirmAddedQuantities();
    bool AddedQuantityAccepted(TClientDataSet* dataSet, const char* method, const char* question);
    void CheckOrderOperationType();
    QString GenerationMethod(Step step);
    QVariant Generate(const QString& method, Step step, QVariant& newClient);
    bool ListProblems(const QString& method, Step step, const QVariant& result);
    void AnnounceNewOrder(Step step, const AddedQuantities& added);
    bool Announce(TClientDataSet* dataSet, const char* method, bool flag, const char* flagKey, const char* noFlagKey);
    // The listing screen (ORE00610) showing `dataSet` under the execution's text `headerKey`.
    void OpenListingScreen(TClientDataSet* dataSet, const char* headerKey);
    const TMessages& ExecMessages() const;
};
