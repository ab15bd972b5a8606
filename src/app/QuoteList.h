#pragma once
// The host's own windows: the login, and the list of the branch's quotes from which the
// operator launches the module.

#include "BaseForms.h"

#include "ClientDataSet.h"
#include "DataPacket.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QTabWidget;
class QTableView;

// Server, operator, password (checked by the server) and branch. Accepted when the password
// was confirmed; the session then holds the server, the operator and the branch.
class TfrmLogin : public TfrmBase {
    Q_OBJECT
public:
    TfrmLogin(const QString& server, const QString& operatorCode, const QString& branch);
    QLineEdit *edtServidor, *edtOperador, *edtSenha, *edtFilial;

private:
    void Entrar();
};

class TfrmListaOrcamentos : public TfrmBase {
    Q_OBJECT
public:
    TfrmListaOrcamentos();

    void Atualizar();    // reads the branch's quotes again
    void Processar();    // launches the module on the selected quote
    void Filtrar();      // by situation and by number or client
    // The selected quote's readiness report ("Pendências") and history ("Histórico"), read
    // again when the selection changes and after processing.
    void MostrarPendencias();

    QComboBox* cbbSituacao;
    QLineEdit* edtPesquisa;
    QTableView* grdOrcamentos;
    QComboBox* cbbTela;
    TClientDataSet cdsOrcamentos{this, QStringLiteral("cdsOrcamentos")};
    TDataSource dtsOrcamentos{this, QStringLiteral("dtsOrcamentos"), &cdsOrcamentos};

    QTabWidget* tabOrcamento;
    QLabel* lblPendencias;
    QTableView* grdPendencias;
    QTableView* grdHistorico;
    TClientDataSet cdsPendencias{this, QStringLiteral("cdsPendencias")};
    TDataSource dtsPendencias{this, QStringLiteral("dtsPendencias"), &cdsPendencias};
    TClientDataSet cdsHistorico{this, QStringLiteral("cdsHistorico")};
    TDataSource dtsHistorico{this, QStringLiteral("dtsHistorico"), &cdsHistorico};

private:
    TDataPacket m_all;
    bool m_reloading = false;   // the list is being filled: its selection signals are not the operator's
};

// The text of a quote situation, 1 to 8.
QString SituationText(int situation);
