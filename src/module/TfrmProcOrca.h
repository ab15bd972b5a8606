#pragma once
// The processing dialog "Processar Orçamento": shows the quote and its situation, offers the
// actions that the situation and the operator's rights allow, and runs the chosen workflows.

#include "BaseForms.h"
#include "ui_TfrmProcOrca.h"

#include <QString>

class TClientDataSet;
class TDataSource;
class TMessages;
class TNetConnection;

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

    void sbtConfirmaClick();

    // The workflows. Each returns when its work is done, or ends by the silent abort after
    // telling the operator why. Virtual so that the dispatch can be tried on its own.
    virtual void AprovarOrca();
    virtual void FecharOrca();
    virtual void ExecOrca();

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
    void MoveVisibleButtonsUp();
    QString Msg(const char* key) const;
};
