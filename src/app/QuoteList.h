#pragma once
// The host's own windows: the login, and the list of the branch's quotes from which the
// operator launches the module.

#include "BaseForms.h"

#include "ClientDataSet.h"
#include "DataPacket.h"

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QTabWidget;
class QTableView;
class TQuoteFilterBar;

// Server, operator, password (checked by the server) and branch. Accepted when the password
// was confirmed; the session then holds the server, the operator and the branch.
class TfrmLogin : public TfrmBase {
    Q_OBJECT
public:
    TfrmLogin(const QString& server, const QString& operatorCode, const QString& branch);
    QLineEdit *edtServidor, *edtOperador, *edtSenha, *edtFilial;
    // Runs once the password is confirmed, still under the login's wait animation (the host
    // reads the branch's quotes there); an error in it keeps the login open.
    std::function<void()> AfterLogin;

private:
    void Entrar();
};

// The branch's quotes: filtered by the bar above them (situation, number, client or event,
// event dates, salesperson), in the order of the column last clicked, coloured by
// situation, with their count and total below. cdsOrcamentos holds the rows shown, in the
// order shown; the selected quote stays selected while the rows change. Below the list, the
// selected quote's pending findings and history.
class TfrmListaOrcamentos : public TfrmBase {
    Q_OBJECT
public:
    TfrmListaOrcamentos();

    void Atualizar();    // reads the branch's quotes again
    void Processar();    // launches the module on the selected quote
    void Filtrar();      // the rows the filter bar and the order let through
    void Ordenar(int column);   // by the column clicked; clicked again, the other way round
    void ExportarCsv(const QString& file);   // the rows shown
    // The selected quote's readiness report ("Pendências") and history ("Histórico"), read
    // again when the selection changes and after processing.
    void MostrarPendencias();

    TQuoteFilterBar* barFiltro;
    QComboBox* cbbSituacao;
    QLineEdit* edtPesquisa;
    QTableView* grdOrcamentos;
    QLabel* lblTotais;
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

protected:
    void reject() override;   // Escape asks before the application is left

private:
    void SelectQuote(const QString& key);
    QString SelectedQuote();
    TDataPacket m_all;
    QString m_sortField;
    Qt::SortOrder m_order = Qt::AscendingOrder;
    bool m_reloading = false;   // the list is being filled: its selection signals are not the operator's
};

// The text of a quote situation, 1 to 8.
QString SituationText(int situation);
