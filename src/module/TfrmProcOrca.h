#pragma once
// The processing dialog "Processar Orçamento": shows the quote and its situation, offers the
// actions that the situation and the operator's rights allow, and runs the chosen workflows.

#include "BaseForms.h"
#include "ui_TfrmProcOrca.h"

#include <QString>

class TClientDataSet;
class TField;
class TMessages;
class TApproval;
class TClosing;
class TExecution;
class TQuoteContext;

class TfrmProcOrca : public TfrmRotiGeral, public Ui::TfrmProcOrcaLayout {
    Q_OBJECT
public:
    explicit TfrmProcOrca(QWidget* parent = nullptr);
    ~TfrmProcOrca() override;

    // Copies of the quote key taken at creation (the information dialog reads them).
    QString stCdFilial;
    QString stNrOrcamento;
    QString stNrSequencia;

    TMessages* msgPadraoExec;   // the execution's texts

    // What the dialog reads to set itself up: the operator's and the branch's rights.
    TClientDataSet *cdsOperControle, *cdsParamControle;

    // The quote in hand, and the workflows, each with its own datasets and connections.
    TQuoteContext* quote;
    TApproval* approval;
    TClosing* closing;
    TExecution* execution;

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
    void SetUpActions(const QString& rights);
    void MoveVisibleButtonsUp();
    QString Msg(const char* key) const;
};
