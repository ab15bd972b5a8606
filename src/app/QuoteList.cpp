#include "QuoteList.h"

#include "Consiste.h"
#include "Dialogs.h"
#include "Errors.h"
#include "EventGuard.h"
#include "HostServices.h"
#include "Lib00700.h"
#include "QuoteReport.h"
#include "NetConnection.h"
#include "ScreenLoader.h"
#include "ServerSession.h"
#include "Variants.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

#include "DataSetModel.h"

namespace {

QPushButton* Button(QWidget* parent, const char* name, const QString& caption, const std::function<void()>& handler)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    QObject::connect(b, &QPushButton::clicked, parent, [handler] { RunHandler(handler); });
    return b;
}

QTableView* Grid(QWidget* parent, const char* name, TDataSource* source)
{
    auto* grid = new QTableView(parent);
    grid->setObjectName(QString::fromLatin1(name));
    grid->setModel(new TDataSetModel(source, grid));
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    grid->setWordWrap(false);
    return grid;
}

QLineEdit* Edit(QWidget* parent, const char* name, const QString& text = {})
{
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

} // namespace

QString SituationText(int situation)
{
    static const char* const texts[] = {"Pendente", "Aprovado", "Fechado", "Executado pela Produção", "Executado por Materiais",
                                        "Executado Totalmente", "Encerrado", "Cancelado"};
    return situation >= 1 && situation <= 8 ? QString::fromUtf8(texts[situation - 1]) : QString();
}

// ============================================================================ TfrmLogin

TfrmLogin::TfrmLogin(const QString& server, const QString& operatorCode, const QString& branch)
{
    setWindowTitle(QStringLiteral("Orçamentos de Eventos – Entrada"));
    lblCodTela->setText(QStringLiteral("CRV00001"));
    edtServidor = Edit(clientArea(), "edtServidor", server);
    edtOperador = Edit(clientArea(), "edtOperador", operatorCode);
    edtSenha = Edit(clientArea(), "edtSenha");
    edtSenha->setEchoMode(QLineEdit::Password);
    edtFilial = Edit(clientArea(), "edtFilial", branch);
    auto* rows = new QFormLayout(clientArea());
    rows->addRow(QStringLiteral("Servidor"), edtServidor);
    rows->addRow(QStringLiteral("Operador"), edtOperador);
    rows->addRow(QStringLiteral("Senha"), edtSenha);
    rows->addRow(QStringLiteral("Filial"), edtFilial);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblCodTela);
    buttons->addStretch();
    buttons->addWidget(Button(this, "btnEntrar", QStringLiteral("Entrar"), [this] { Entrar(); }));
    buttons->addWidget(Button(this, "btnCancelar", QStringLiteral("Cancelar"), [this] { Close(); }));
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(clientArea());
    outer->addLayout(buttons);
    (edtOperador->text().isEmpty() ? edtOperador : edtSenha)->setFocus();
}

void TfrmLogin::Entrar()
{
    QString error;
    if (!PointSessionAt(edtServidor->text(), Session().caFile, error))
        MensErro(QStringLiteral("Servidor deve ser http://host:porta ou https://host:porta."), true);
    if (edtOperador->text().trimmed().isEmpty() || edtFilial->text().trimmed().isEmpty())
        MensErro(QStringLiteral("Operador e filial devem ser informados."), true);
    const QString password = edtSenha->text();
    edtSenha->clear();
    try {
        LoginToServer(edtOperador->text().trimmed().toUpper(), password, edtFilial->text().trimmed());
    } catch (const ETransportError&) {
        throw;   // the server could not be reached: the error box says where
    } catch (const EHostError& e) {
        MensErro(e.message(), true);   // the server's refusal, in its words
    }
    QDialog::done(QDialog::Accepted);
}

// ============================================================================ TfrmListaOrcamentos

TfrmListaOrcamentos::TfrmListaOrcamentos()
{
    setWindowTitle(QStringLiteral("Orçamentos de Eventos – Filial %1").arg(FiliProc()));
    lblCodTela->setText(QStringLiteral("CRV00002"));
    cdsOrcamentos.DefineFields({
        {"NRORCAEVENTO", TFieldType::String, 10, fkData, "Número"},
        {"NRSEQORCAEVE", TFieldType::FixedString, 2, fkData, "Seq."},
        {"NMFANTCLIE", TFieldType::String, 50, fkData, "Cliente"},
        {"DSTITUORCEVE", TFieldType::String, 100, fkData, "Evento"},
        {"DTEVENTO", TFieldType::DateTime, 0, fkData, "Data do evento", true, "dd/mm/yyyy hh:nn"},
        {"IDSITUORCEVE", TFieldType::String, 1, fkData, "", false},
        {"Situacao", TFieldType::String, 30, fkCalculated, "Situação"},
        {"VRTOTALORCA", TFieldType::Float, 0, fkData, "Total", true, "#,##0.00"},
        {"CDFILIAL", TFieldType::String, 4, fkData, "", false},
    });
    cdsOrcamentos.OnCalcFields = [](TClientDataSet& ds) {
        ds.FieldByName(QStringLiteral("Situacao"))->SetAsString(SituationText(ds.FieldByName(QStringLiteral("IDSITUORCEVE"))->AsString().toInt()));
    };

    cbbSituacao = new QComboBox(this);
    cbbSituacao->setObjectName(QStringLiteral("cbbSituacao"));
    cbbSituacao->addItem(QStringLiteral("Todas"));
    for (int s = 1; s <= 8; ++s)
        cbbSituacao->addItem(SituationText(s));
    edtPesquisa = Edit(this, "edtPesquisa");
    edtPesquisa->setPlaceholderText(QStringLiteral("número ou cliente"));
    grdOrcamentos = Grid(this, "grdOrcamentos", &dtsOrcamentos);
    grdOrcamentos->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);   // the event's title takes the room left

    // The selected quote: what would stop its next actions, and who did what.
    cdsPendencias.DefineFields({
        {"IDGRAVIDADE", TFieldType::String, 1, fkData, "", false},
        {"Tipo", TFieldType::String, 20, fkCalculated, "Tipo"},
        {"IDACAO", TFieldType::String, 8, fkData, "", false},
        {"Acao", TFieldType::String, 10, fkCalculated, "Ação"},
        {"CDARVPROD", TFieldType::String, 20, fkData, "Produto"},
        {"NMPRODUTO", TFieldType::String, 50, fkData, "Nome do Produto"},
        {"QTPEDIDO", TFieldType::Float, 0, fkData, "Quantidade", true, "#,##0.###"},
        {"DSMENSAGEM", TFieldType::String, 500, fkData, "Mensagem"},
        {"DSDETALHE", TFieldType::String, 500, fkData, "Detalhe"},
        {"CDPENDENCIA", TFieldType::String, 30, fkData, "Código"},
        {"IDPROXIMA", TFieldType::String, 1, fkData, "", false},
        {"IDDEPTO", TFieldType::String, 1, fkData, "", false},
        {"CDPRODUTO", TFieldType::String, 10, fkData, "", false},
        {"NRPEDIDOORIG", TFieldType::String, 10, fkData, "", false},
    });
    cdsPendencias.OnCalcFields = [](TClientDataSet& ds) {
        ds.FieldByName(QStringLiteral("Tipo"))->SetAsString(SeverityText(ds.FieldByName(QStringLiteral("IDGRAVIDADE"))->AsString()));
        ds.FieldByName(QStringLiteral("Acao"))->SetAsString(ActionText(ds.FieldByName(QStringLiteral("IDACAO"))->AsString()));
    };
    cdsHistorico.DefineFields({
        {"DTREGISTRO", TFieldType::DateTime, 0, fkData, "Quando", true, "dd/mm/yyyy hh:nn:ss"},
        {"CDOPERADOR", TFieldType::String, 40, fkData, "Operador"},
        {"DSACAO", TFieldType::String, 60, fkData, "Ação"},
        {"NRSEQORCAEVE", TFieldType::String, 2, fkData, "Seq."},
        {"IDRESULTADO", TFieldType::String, 20, fkData, "Resultado"},
        {"DSMENSAGEM", TFieldType::String, 500, fkData, "Mensagem"},
        {"NMMETODO", TFieldType::String, 100, fkData, "Método"},
    });
    lblPendencias = new QLabel(this);
    lblPendencias->setObjectName(QStringLiteral("lblPendencias"));
    lblPendencias->setWordWrap(true);
    grdPendencias = Grid(this, "grdPendencias", &dtsPendencias);
    grdHistorico = Grid(this, "grdHistorico", &dtsHistorico);
    auto* pending = new QWidget(this);
    auto* pendingLayout = new QVBoxLayout(pending);
    pendingLayout->setContentsMargins(0, 0, 0, 0);
    pendingLayout->addWidget(lblPendencias);
    pendingLayout->addWidget(grdPendencias, 1);
    tabOrcamento = new QTabWidget(this);
    tabOrcamento->setObjectName(QStringLiteral("tabOrcamento"));
    tabOrcamento->addTab(pending, QStringLiteral("Pendências"));
    tabOrcamento->addTab(grdHistorico, QStringLiteral("Histórico"));
    cbbTela = new QComboBox(this);
    cbbTela->setObjectName(QStringLiteral("cbbTela"));
    cbbTela->addItem(QStringLiteral("Lançamento (ORE00100)"), QStringLiteral("ORE00100"));
    cbbTela->addItem(QStringLiteral("Aprovação (ORE00400)"), QStringLiteral("ORE00400"));
    cbbTela->addItem(QStringLiteral("Fechamento (ORE00800)"), QStringLiteral("ORE00800"));
    cbbTela->setCurrentIndex(1);
    connect(cbbSituacao, &QComboBox::activated, this, [this] { RunHandler([this] { Filtrar(); }); });
    connect(edtPesquisa, &QLineEdit::textChanged, this, [this] { RunHandler([this] { Filtrar(); }); });
    connect(grdOrcamentos, &QTableView::doubleClicked, this, [this] { RunHandler([this] { Processar(); }); });
    connect(grdOrcamentos->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        if (!m_reloading)
            RunHandler([this] { MostrarPendencias(); });
    });

    auto* filters = new QHBoxLayout;
    filters->addWidget(new QLabel(QStringLiteral("Situação"), this));
    filters->addWidget(cbbSituacao);
    filters->addWidget(new QLabel(QStringLiteral("Pesquisa"), this));
    filters->addWidget(edtPesquisa, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblCodTela);
    buttons->addStretch();
    buttons->addWidget(new QLabel(QStringLiteral("Como tela"), this));
    buttons->addWidget(cbbTela);
    buttons->addWidget(Button(this, "btnProcessar", QStringLiteral("Processar"), [this] { Processar(); }));
    buttons->addWidget(Button(this, "btnAtualizar", QStringLiteral("Atualizar"), [this] { Atualizar(); }));
    buttons->addWidget(Button(this, "btnFechar", QStringLiteral("Fechar"), [this] { Close(); }));
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(filters);
    outer->addWidget(grdOrcamentos, 3);
    outer->addWidget(tabOrcamento, 2);
    outer->addLayout(buttons);
    resize(1000, 680);
    Session().mainForm = this;
    Atualizar();
}

void TfrmListaOrcamentos::Atualizar()
{
    TNetConnection net(nullptr, QStringLiteral("netHost"), QStringLiteral("CRV.rdmHost"));
    const QVariant list = CheckResultServ(net.Call(QStringLiteral("ListaOrcamentos"), {FiliProc()}));
    if (!VarIsPacket(list))
        MensErro(QStringLiteral("ListaOrcamentos: o servidor não respondeu com uma lista de orçamentos."), true);
    m_all = list.value<TDataPacket>();
    Filtrar();
}

void TfrmListaOrcamentos::Filtrar()
{
    const int situation = cbbSituacao->currentIndex();
    const QString search = edtPesquisa->text().trimmed();
    const int number = m_all.fieldIndex(QStringLiteral("NRORCAEVENTO")), client = m_all.fieldIndex(QStringLiteral("NMFANTCLIE")),
              state = m_all.fieldIndex(QStringLiteral("IDSITUORCEVE")), sequence = m_all.fieldIndex(QStringLiteral("NRSEQORCAEVE"));
    auto text = [](const CellRow& row, int i) { return i < 0 || CellIsNull(row[size_t(i)]) ? QString() : std::get<QString>(row[size_t(i)]); };
    // The quote selected before stays selected when it is still listed.
    QString selected;
    if (const QModelIndex current = grdOrcamentos->currentIndex(); current.isValid() && current.row() < cdsOrcamentos.RecordCount()) {
        cdsOrcamentos.SetRecNo(current.row() + 1);
        selected = cdsOrcamentos.FieldByName(QStringLiteral("NRORCAEVENTO"))->AsString() + QLatin1Char('/') + cdsOrcamentos.FieldByName(QStringLiteral("NRSEQORCAEVE"))->AsString();
    }
    std::vector<CellRow> rows;
    int keep = 0;
    for (const CellRow& row : m_all.rows()) {
        if (situation > 0 && text(row, state) != QString::number(situation))
            continue;
        if (!search.isEmpty() && !text(row, number).contains(search) && !text(row, client).contains(search, Qt::CaseInsensitive))
            continue;
        if (text(row, number) + QLatin1Char('/') + text(row, sequence) == selected)
            keep = int(rows.size());
        rows.push_back(row);
    }
    m_reloading = true;
    cdsOrcamentos.LoadPacket(TDataPacket(m_all.fields(), std::move(rows)));
    if (cdsOrcamentos.RecordCount() > 0)
        grdOrcamentos->selectRow(keep);
    m_reloading = false;
    MostrarPendencias();
}

void TfrmListaOrcamentos::MostrarPendencias()
{
    for (TClientDataSet* ds : {&cdsPendencias, &cdsHistorico})
        if (ds->Active())
            ds->EmptyDataSet();
    const QModelIndex current = grdOrcamentos->currentIndex();
    if (!current.isValid() || current.row() >= cdsOrcamentos.RecordCount()) {
        lblPendencias->setText(QStringLiteral("Escolha um orçamento da lista."));
        return;
    }
    cdsOrcamentos.SetRecNo(current.row() + 1);
    auto f = [this](const char* name) { return cdsOrcamentos.FieldByName(QString::fromLatin1(name))->AsString(); };
    // A report that cannot be read is said in the panel: choosing a quote raises no error box.
    try {
        const TDataPacket report = ReadQuoteReport(f("CDFILIAL"), f("NRORCAEVENTO"), f("NRSEQORCAEVE"));
        cdsPendencias.LoadPacket(report);
        lblPendencias->setText(QStringLiteral("Orçamento %1/%2: %3").arg(f("NRORCAEVENTO"), f("NRSEQORCAEVE"), ReportSummary(report)));
        cdsHistorico.LoadPacket(ReadQuoteHistory(f("CDFILIAL"), f("NRORCAEVENTO")));
    } catch (const EHostError& e) {
        lblPendencias->setText(QStringLiteral("Orçamento %1/%2: as pendências não puderam ser lidas: %3").arg(f("NRORCAEVENTO"), f("NRSEQORCAEVE"), e.message()));
    }
}

void TfrmListaOrcamentos::Processar()
{
    const QModelIndex current = grdOrcamentos->currentIndex();
    if (!current.isValid() || cdsOrcamentos.IsEmpty())
        MensErro(QStringLiteral("Escolha um orçamento da lista."), true);
    cdsOrcamentos.SetRecNo(current.row() + 1);
    auto f = [this](const char* name) { return cdsOrcamentos.FieldByName(QString::fromLatin1(name))->AsString(); };
    const QVariantList entry{f("IDSITUORCEVE").toInt(), f("CDFILIAL"), f("NRORCAEVENTO"), f("NRSEQORCAEVE"), Operador(), cbbTela->currentData().toString()};
    try {
        RunPackageScreen(QStringLiteral("ORE06400"), entry);
    } catch (...) {
        Atualizar();
        throw;
    }
    Atualizar();
}
