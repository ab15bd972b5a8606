#pragma once
// The processing dialog "Processar Orçamento": shows the quote and its situation, offers the
// actions that the situation and the operator's rights allow, and runs the chosen workflows.

#include "BaseForms.h"
#include "ui_TfrmProcOrca.h"

#include <QString>
#include <QVariantList>

#include <functional>

class TClientDataSet;
class TField;
class TDataSource;
class TMessages;
class TNetConnection;
class WaitScope;

class TfrmProcOrca : public TfrmRotiGeral, public Ui::TfrmProcOrcaLayout {
    Q_OBJECT
public:
    explicit TfrmProcOrca(QWidget* parent = nullptr);
    ~TfrmProcOrca() override;

    // Copies of the quote key taken at creation (the information dialog reads them).
    QString stCdFilial;
    QString stNrOrcamento;
    QString stNrSequencia;

    TMessages* msgPadraoExec;

    TNetConnection* netProcessaOrca;
    TNetConnection* netAprovacao;
    TNetConnection* netFechamento;
    TNetConnection* netExecucao;
    TNetConnection* netContratante;
    TNetConnection* netFechaOrca;

    TClientDataSet* cdsOperControle;
    TClientDataSet* cdsParamControle;
    TClientDataSet* cdsOrcaEvento;
    TClientDataSet* cdsInteclieOrev;
    TDataSource* dtsInteclieOrev;
    TClientDataSet* cdsOrcaEventoFech;
    TClientDataSet* cdsExisteContratante;
    TClientDataSet* cdsEndeCont;
    TClientDataSet* cdsOperCadProd;
    // Execution.
    TClientDataSet *cdsOrcaEventoExec, *cdsVerifOrcaExec, *cdsPedidoOp, *cdsExpItemNeg, *cdsOpItemNeg, *cdsMatprimaItemNeg,
        *cdsTpOperPed, *cdsErro, *cdsProdSemDep, *cdsMsgPedExp, *cdsOrcaPendente, *cdsErroProd, *cdsErroFil, *cdsExibeNovoPed,
        *cdsExibePedOP, *cdsExibeMatPrima, *cdsParamOrcaEve, *cdsEndeNovoClie;
    TDataSource* dtsEndeNovoClie;
    TClientDataSet* cdsItemOrcaEven;
    TClientDataSet* cdsSalaoEven;   // the quote's halls
    TClientDataSet *cdsParamOrca, *cdsCargoOperador, *cdsOperadorSup, *cdsSupervisor;
    TClientDataSet *cdsOpcao, *cdsPropostaPgto;   // the quote's options and payment proposals
    TDataSource *dtsOpcao, *dtsSalaoEven, *dtsPropostaPgto;
    // The rest of what the approval reads: totals, labour, notes, the salesperson's ceiling,
    // an unapproved parent, the new client as the server knows it.
    TClientDataSet *cdsTotalGrupo, *cdsTotalOpcao, *cdsTotalOrca, *cdsItMaoObra, *cdsObsExtOrcaEv, *cdsObsIntOrcaEv, *cdsPercDescVend,
        *cdsVerifOrcaPend, *cdsInsOrca;

    // The approval's gate: a complete delivery address and only registered products, the
    // information dialog opened to complete them.
    void ValidaEnderecoEntrega();

    // The approval's hall check: the server says whether each reserved hall may be scheduled;
    // any answer but "OK" ends the approval, with its message or as an error with its text.
    void ValidaSalao();

    // The approval's discount ceiling: the discount of each item and of the whole quote against
    // the salesperson's maximum; above it, a manager's Yes or the supervisor's password, or the
    // approval ends.
    void Vd_DescMax();

    // The payment proposal that goes with the approval: the selection of the one proposal the
    // operator ticked, or "" when there is none, none was chosen or the operator gave up.
    QString PropostaPagamento(const QString& branch, const QString& quoteNumber, const QString& sequence);

    // The display columns of the option, proposal and hall lists.
    void cdsOpcaoCalcFields(TClientDataSet& dataSet);
    void cdsPropostaPgtoCalcFields(TClientDataSet& dataSet);
    void cdsSalaoEvenCalcFields(TClientDataSet& dataSet);

    void sbtConfirmaClick();

    // The workflows. Each returns when its work is done, or ends by the silent abort after
    // telling the operator why. Virtual so that the dispatch can be tried on its own.
    virtual void AprovarOrca();
    virtual void FecharOrca();
    virtual void ExecOrca();

    // After a post of the quote (or of its closing or execution record): a pending quote's
    // payment mode and clients go to the server.
    void cdsOrcaEventoAfterPost(TClientDataSet& dataSet);

    // The execution's pre-checks, and the texts of the server's error codes in its lists.
    void Vd_BloqPreBase();
    void Vd_ExecProd();
    void Vd_ExecMate();
    void cdsErroCDERROGetText(TField& sender, QString& text, bool displayText);
    void cdsErroFilCDERROGetText(TField& sender, QString& text, bool displayText);

protected:
    void FormCreate() override;
    void FormClose() override;

private:
    void netProcessaOrcaBeforeConnect(TNetConnection& sender);
    void netAprovacaoBeforeConnect(TNetConnection& sender);
    void netFechamentoBeforeConnect(TNetConnection& sender);
    void netExecucaoBeforeConnect(TNetConnection& sender);
    void netContratanteBeforeConnect(TNetConnection& sender);
    void netFechaOrcaBeforeConnect(TNetConnection& sender);

    void SetUpActions(const QString& rights);
    // Approval: its checks and the operator's choices (false when the quote turns out to be
    // approved already), then the recording of the approval.
    bool ApprovalChecksAndChoices();
    void KeepChosen(TDataSource* list, const char* keyField, const char* titleKey, const char* confirmKey, QString& chosen);
    void RecordApproval(WaitScope& wait);
    void RegisterNewClient();
    void ApplyHallChoice(QString& proposal);
    void ApplyOptionChoice(QString& proposal);
    void ChooseProposalFor(TClientDataSet* kept, QString& proposal);
    void OfferNewProposal(QString& proposal);
    void CommercialApproval(WaitScope& wait);
    QVariantList QuoteKey() const;
    // A call whose arguments are the quote's key, by value; the checked payload.
    QVariant CallWithKey(TNetConnection* net, const char* method);
    void LoadCeilings(const QVariantList& quote);
    // A record about an operator or salesperson (job, salesperson, supervisor) from the
    // approval's server object, by its one argument.
    void LoadOperatorRecord(TClientDataSet* dataSet, const char* method, const QVariant& argument);
    bool Confirmed(const char* key);
    bool m_jobRecordLoaded = false;   // the discount ceiling loaded the operator's job record
    // A call whose arguments are the quote's key, passed by reference: what the server sends
    // back for them goes into the module's globals.
    QVariant CallByKey(TNetConnection* net, const char* method);
    // Runs a step of the closing or the execution. A parameter the server finds missing
    // ("N_PARAM_...|argument") ends the workflow with its text from `list`; any other failure
    // goes on as it came.
    void ShowingParameterError(const TMessages* list, const std::function<void()>& step);
    void LoadClosingRecord();
    bool AddressComplete() const;
    // Execution steps.
    void LoadExecutionPacket();
    void MarkExecutionRow();
    void VerificationNotice();
    void GenerateRequisitions();
    // The orders of the production or of the materials, in their steps.
    void GenerateOrders(bool production, QVariant& newClient);
    bool MoreOrdersWanted(bool production);
    // The added quantities the operator confirmed; at most one is true.
    struct AddedQuantities {
        bool expedited = false, produced = false, withdrawn = false;
    };
    AddedQuantities ConfirmAddedQuantities();
    bool AddedQuantityAccepted(TClientDataSet* dataSet, const char* method, const char* question);
    void CheckOrderOperationType();
    QString GenerationMethod(bool production);
    QVariant Generate(const QString& method, bool production, QVariant& newClient);
    bool ListProblems(const QString& method, bool production, const QVariant& result);
    void AnnounceNewOrder(bool production, const AddedQuantities& added);
    bool Announce(TClientDataSet* dataSet, const char* method, bool flag, const char* flagKey, const char* noFlagKey);
    void List(TClientDataSet* dataSet, const char* headerKey);
    void MoveVisibleButtonsUp();
    QString Msg(const char* key) const;
};
