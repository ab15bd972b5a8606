#pragma once
// The approval of a pending quote and what it reads: its connection to the approval's server
// object, the quote's items, totals, labour and notes, its halls, options and payment proposals,
// the branch's parameters and the people who may authorise a discount.

#include "Workflow.h"

#include <QString>
#include <QVariantList>

class TClientDataSet;
class TDataSource;
class WaitScope;

class TApproval : public TWorkflow {
    Q_OBJECT
public:
    TApproval(TfrmProcOrca& dialog, TQuoteContext& quote);

    // The approval, from loading the quote to the recorded approval.
    void Run();

    // The approval's gate: a complete delivery address and only registered products, the
    // information dialog opened to complete them.
    void ValidaEnderecoEntrega();
    // The hall check: the server says whether each reserved hall may be scheduled.
    void ValidaSalao();
    // The discount ceiling: above it, a manager's Yes or the supervisor's password.
    void Vd_DescMax();
    // The one payment proposal the operator ticked, or "".
    QString PropostaPagamento(const QString& branch, const QString& quoteNumber, const QString& sequence);
    // A pending quote's payment mode and clients, after a post, go to the server.
    void HandOverPaymentMode();

    TNetConnection* netAprovacao;
    TClientDataSet* cdsItemOrcaEven;
    TClientDataSet* cdsSalaoEven;   // the quote's halls
    TClientDataSet *cdsParamOrca, *cdsCargoOperador, *cdsOperadorSup, *cdsSupervisor;
    TClientDataSet *cdsOpcao, *cdsPropostaPgto;   // the quote's options and payment proposals
    TDataSource *dtsOpcao, *dtsSalaoEven, *dtsPropostaPgto;
    // Totals, labour, notes, the salesperson's ceiling, an unapproved parent, the new client's
    // registration as the server knows it.
    TClientDataSet *cdsTotalGrupo, *cdsTotalOpcao, *cdsTotalOrca, *cdsItMaoObra, *cdsObsExtOrcaEv, *cdsObsIntOrcaEv, *cdsPercDescVend,
        *cdsVerifOrcaPend, *cdsInsOrca;

private:
    // Its checks and the operator's choices (false when the quote turns out to be approved
    // already), then the recording of the approval.
    bool ApprovalChecksAndChoices();
    void KeepChosen(TDataSource* list, const char* keyField, const char* titleKey, const char* confirmKey, QString& chosen);
    void RecordApproval(WaitScope& wait);
    void RegisterNewClient();
    void ApplyHallChoice(QString& proposal);
    void ApplyOptionChoice(QString& proposal);
    void ChooseProposalFor(TClientDataSet* kept, QString& proposal);
    void OfferNewProposal(QString& proposal);
    void CommercialApproval(WaitScope& wait);
    bool AddressComplete() const;
    static QVariantList QuoteKey();
    // A call whose arguments are the quote's key, by value; the checked payload.
    static QVariant CallWithQuoteKey(TNetConnection* net, const char* method);
    void LoadCeilings(const QVariantList& quote);
    // A record about an operator or salesperson (job, salesperson, supervisor) from the
    // approval's server object, by its one argument.
    void LoadOperatorRecord(TClientDataSet* dataSet, const char* method, const QVariant& argument);
    bool Confirmed(const char* key);

    bool m_jobRecordLoaded = false;   // the discount ceiling loaded the operator's job record
};
