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
#include "Showavi.h"
#include "Variants.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTabWidget>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

#include "DataSetModel.h"
#include "GridColumns.h"
#include "QuoteListTools.h"
#include "WireContract.h"

using namespace Qt::StringLiterals;

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
    // The words of the processing dialog's situation box, so that the operator reads the same
    // word in the list and in the dialog; the dialog never shows the last three.
    static const char* const texts[] = {"Pendente", "Aprovado", "Fechado", "Exec. Produção", "Exec. Materias",
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
    {
        const WaitScope wait(this, TWaitKind::Reading);
        try {
            LoginToServer(edtOperador->text().trimmed().toUpper(), password, edtFilial->text().trimmed());
        } catch (const ETransportError&) {
            throw;   // the server could not be reached: the error box says where
        } catch (const EHostError& e) {
            MensErro(e.message(), true);   // the server's refusal, in its words
        }
        if (AfterLogin)
            AfterLogin();
    }
    QDialog::done(QDialog::Accepted);
}

// ============================================================================ TfrmListaOrcamentos

TfrmListaOrcamentos::TfrmListaOrcamentos()
{
    setWindowTitle(QStringLiteral("Orçamentos de Eventos – Filial %1").arg(FiliProc()));
    lblCodTela->setText(QStringLiteral("CRV00002"));
    cdsOrcamentos.DefineFields({
        {.name = u"NRORCAEVENTO"_s, .type = TFieldType::String, .size = 10, .displayLabel = u"Número"_s},
        {.name = u"NRSEQORCAEVE"_s, .type = TFieldType::FixedString, .size = 2, .displayLabel = u"Seq."_s},
        {.name = u"NMFANTCLIE"_s, .type = TFieldType::String, .size = 50, .displayLabel = u"Cliente"_s},
        {.name = u"DSTITUORCEVE"_s, .type = TFieldType::String, .size = 100, .displayLabel = u"Evento"_s},
        {.name = u"DTEVENTO"_s, .type = TFieldType::DateTime, .displayLabel = u"Data do evento"_s, .displayFormat = u"dd/mm/yyyy hh:nn"_s},
        {.name = u"IDSITUORCEVE"_s, .type = TFieldType::String, .size = 1, .visible = false},
        {.name = u"Situacao"_s, .type = TFieldType::String, .size = 30, .kind = fkCalculated, .displayLabel = u"Situação"_s},
        {.name = u"NMFANVEN"_s, .type = TFieldType::String, .size = 50, .displayLabel = u"Vendedor"_s},
        {.name = u"VRTOTALORCA"_s, .type = TFieldType::Float, .displayLabel = u"Total"_s, .displayFormat = u"#,##0.00"_s},
        {.name = u"CDVENDEDOR"_s, .type = TFieldType::String, .size = 4, .visible = false},
        {.name = u"CDFILIAL"_s, .type = TFieldType::String, .size = 4, .visible = false},
    });
    cdsOrcamentos.OnCalcFields = [](TClientDataSet& ds) {
        ds.FieldByName(QStringLiteral("Situacao"))->SetAsString(SituationText(ds.FieldByName(QStringLiteral("IDSITUORCEVE"))->AsString().toInt()));
    };

    barFiltro = new TQuoteFilterBar(this);
    cbbSituacao = barFiltro->cbbSituacao;
    edtPesquisa = barFiltro->edtPesquisa;
    grdOrcamentos = new QTableView(this);
    grdOrcamentos->setObjectName(QStringLiteral("grdOrcamentos"));
    grdOrcamentos->setModel(new TSituationColours(&cdsOrcamentos, grdOrcamentos));
    static_cast<QIdentityProxyModel*>(grdOrcamentos->model())->setSourceModel(new TDataSetModel(&dtsOrcamentos, grdOrcamentos));
    grdOrcamentos->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdOrcamentos->setSelectionMode(QAbstractItemView::SingleSelection);
    grdOrcamentos->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdOrcamentos->verticalHeader()->hide();
    grdOrcamentos->horizontalHeader()->setSectionsClickable(true);
    grdOrcamentos->horizontalHeader()->setSortIndicatorShown(true);
    grdOrcamentos->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    grdOrcamentos->horizontalHeader()->setStretchLastSection(true);
    grdOrcamentos->setWordWrap(false);
    lblTotais = new QLabel(this);
    lblTotais->setObjectName(QStringLiteral("lblTotais"));

    // The selected quote: what would stop its next actions, and who did what.
    cdsPendencias.DefineFields({
        {.name = u"IDGRAVIDADE"_s, .type = TFieldType::String, .size = 1, .visible = false},
        {.name = u"Tipo"_s, .type = TFieldType::String, .size = 20, .kind = fkCalculated, .displayLabel = u"Tipo"_s},
        {.name = u"IDACAO"_s, .type = TFieldType::String, .size = 8, .visible = false},
        {.name = u"Acao"_s, .type = TFieldType::String, .size = 10, .kind = fkCalculated, .displayLabel = u"Ação"_s},
        {.name = u"CDARVPROD"_s, .type = TFieldType::String, .size = 20, .displayLabel = u"Produto"_s},
        {.name = u"NMPRODUTO"_s, .type = TFieldType::String, .size = 50, .displayLabel = u"Nome do Produto"_s},
        {.name = u"QTPEDIDO"_s, .type = TFieldType::Float, .displayLabel = u"Quantidade"_s, .displayFormat = u"#,##0.###"_s},
        {.name = u"DSMENSAGEM"_s, .type = TFieldType::String, .size = 500, .displayLabel = u"Mensagem"_s},
        {.name = u"DSDETALHE"_s, .type = TFieldType::String, .size = 500, .displayLabel = u"Detalhe"_s},
        {.name = u"CDPENDENCIA"_s, .type = TFieldType::String, .size = 30, .displayLabel = u"Código"_s},
        {.name = u"IDPROXIMA"_s, .type = TFieldType::String, .size = 1, .visible = false},
        {.name = u"IDDEPTO"_s, .type = TFieldType::String, .size = 1, .visible = false},
        {.name = u"CDPRODUTO"_s, .type = TFieldType::String, .size = 10, .visible = false},
        {.name = u"NRPEDIDOORIG"_s, .type = TFieldType::String, .size = 10, .visible = false},
    });
    cdsPendencias.OnCalcFields = [](TClientDataSet& ds) {
        ds.FieldByName(QStringLiteral("Tipo"))->SetAsString(SeverityText(ds.FieldByName(QStringLiteral("IDGRAVIDADE"))->AsString()));
        ds.FieldByName(QStringLiteral("Acao"))->SetAsString(ActionText(ds.FieldByName(QStringLiteral("IDACAO"))->AsString()));
    };
    cdsHistorico.DefineFields({
        {.name = u"DTREGISTRO"_s, .type = TFieldType::DateTime, .displayLabel = u"Quando"_s, .displayFormat = u"dd/mm/yyyy hh:nn:ss"_s},
        {.name = u"CDOPERADOR"_s, .type = TFieldType::String, .size = 40, .displayLabel = u"Operador"_s},
        {.name = u"DSACAO"_s, .type = TFieldType::String, .size = 60, .displayLabel = u"Ação"_s},
        {.name = u"NRSEQORCAEVE"_s, .type = TFieldType::String, .size = 2, .displayLabel = u"Seq."_s},
        {.name = u"IDRESULTADO"_s, .type = TFieldType::String, .size = 20, .displayLabel = u"Resultado"_s},
        {.name = u"DSMENSAGEM"_s, .type = TFieldType::String, .size = 500, .displayLabel = u"Mensagem"_s},
        {.name = u"NMMETODO"_s, .type = TFieldType::String, .size = 100, .displayLabel = u"Método"_s},
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
    connect(barFiltro, &TQuoteFilterBar::changed, this, [this] { RunHandler([this] { Filtrar(); }); });
    connect(grdOrcamentos->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) { RunHandler([=, this] { Ordenar(column); }); });
    connect(grdOrcamentos, &QTableView::doubleClicked, this, [this] { RunHandler([this] { Processar(); }); });
    connect(grdOrcamentos->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        if (!m_reloading)
            RunHandler([this] { MostrarPendencias(); });
    });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblCodTela);
    buttons->addWidget(lblTotais);
    buttons->addStretch();
    buttons->addWidget(new QLabel(QStringLiteral("Como tela"), this));
    buttons->addWidget(cbbTela);
    buttons->addWidget(Button(this, "btnProcessar", QStringLiteral("Processar"), [this] { Processar(); }));
    buttons->addWidget(Button(this, "btnAtualizar", QStringLiteral("Atualizar"), [this] { Atualizar(); }));
    buttons->addWidget(Button(this, "btnExportar", QStringLiteral("Exportar CSV..."), [this] {
        const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("Exportar os orçamentos mostrados"), QStringLiteral("orcamentos.csv"),
                                                          QStringLiteral("CSV (*.csv)"));
        if (!file.isEmpty())
            ExportarCsv(file);
    }));
    buttons->addWidget(Button(this, "btnFechar", QStringLiteral("Fechar"), [this] { Close(); }));
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(barFiltro);
    outer->addWidget(grdOrcamentos, 3);
    outer->addWidget(tabOrcamento, 2);
    outer->addLayout(buttons);
    resize(1000, 680);
    Session().mainForm = this;
    Atualizar();
}

void TfrmListaOrcamentos::Atualizar()
{
    TNetConnection net(nullptr, QStringLiteral("netHost"), ServerObject::Host);
    QVariant list;
    {
        const WaitScope wait(this, TWaitKind::Reading);
        list = CheckResultServ(net.Call(QStringLiteral("ListaOrcamentos"), {FiliProc()}));
    }
    if (!VarIsPacket(list))
        MensErro(QStringLiteral("ListaOrcamentos: o servidor não respondeu com uma lista de orçamentos."), true);
    m_all = list.value<TDataPacket>();
    barFiltro->SetSalespeople(m_all);
    // The widths fit every quote of the branch once, so they stay put while the rows change.
    const QString kept = SelectedQuote();
    m_reloading = true;
    cdsOrcamentos.LoadPacket(m_all);
    const int columns = FitColumnsToContents(grdOrcamentos);
    if (!isVisible())   // the window opens wide enough for them, as far as a screen allows
        resize(std::max(width(), std::min(columns + 2 * grdOrcamentos->frameWidth() + 40, 1280)), height());
    SelectQuote(kept);
    m_reloading = false;
    Filtrar();
}

void TfrmListaOrcamentos::Filtrar()
{
    TQuoteQuery query = barFiltro->Query();
    query.sortField = m_sortField;
    query.order = m_order;
    const QString kept = SelectedQuote();
    m_reloading = true;
    cdsOrcamentos.LoadPacket(TDataPacket(m_all.fields(), SelectQuotes(m_all, query)));
    lblTotais->setText(QuoteTotals(cdsOrcamentos));
    SelectQuote(kept);
    m_reloading = false;
    MostrarPendencias();
}

void TfrmListaOrcamentos::Ordenar(int column)
{
    const auto* model = static_cast<TDataSetModel*>(static_cast<QIdentityProxyModel*>(grdOrcamentos->model())->sourceModel());
    const TField* field = model->fieldAt(column);
    if (!field)
        return;
    m_order = field->FieldName() == m_sortField && m_order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    m_sortField = field->FieldName();
    grdOrcamentos->horizontalHeader()->setSortIndicator(column, m_order);
    Filtrar();
}

void TfrmListaOrcamentos::ExportarCsv(const QString& file)
{
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(QuotesCsv(cdsOrcamentos)) < 0 || !out.commit())
        MensErro(QStringLiteral("O arquivo %1 não pôde ser gravado: %2").arg(file, out.errorString()), true);
}

QString TfrmListaOrcamentos::SelectedQuote()
{
    const QModelIndex current = grdOrcamentos->currentIndex();
    if (!current.isValid() || current.row() >= cdsOrcamentos.RecordCount())
        return {};
    return cdsOrcamentos.ValueAt(current.row(), cdsOrcamentos.FieldByName(QStringLiteral("NRORCAEVENTO"))->Index()).toString() + QLatin1Char('/')
           + cdsOrcamentos.ValueAt(current.row(), cdsOrcamentos.FieldByName(QStringLiteral("NRSEQORCAEVE"))->Index()).toString();
}

// The quote `key` (number/sequence) when it is among the rows, else the first row.
void TfrmListaOrcamentos::SelectQuote(const QString& key)
{
    int row = 0;
    const int number = cdsOrcamentos.FieldByName(QStringLiteral("NRORCAEVENTO"))->Index(),
              sequence = cdsOrcamentos.FieldByName(QStringLiteral("NRSEQORCAEVE"))->Index();
    for (int r = 0; !key.isEmpty() && r < cdsOrcamentos.RecordCount(); ++r)
        if (cdsOrcamentos.ValueAt(r, number).toString() + QLatin1Char('/') + cdsOrcamentos.ValueAt(r, sequence).toString() == key) {
            row = r;
            break;
        }
    if (cdsOrcamentos.RecordCount() > 0) {
        grdOrcamentos->selectRow(row);
        grdOrcamentos->scrollTo(grdOrcamentos->model()->index(row, 0));
    }
}

void TfrmListaOrcamentos::reject()
{
    if (MessageDlg(QStringLiteral("Deseja sair de Orçamentos de Eventos?"), mtConfirmation, mbYes | mbNo, 0) == mrYes)
        TfrmBase::reject();
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
    const QString branch = cdsOrcamentos.Text(u"CDFILIAL"_s), number = cdsOrcamentos.Text(u"NRORCAEVENTO"_s),
                  sequence = cdsOrcamentos.Text(u"NRSEQORCAEVE"_s);
    // A report that cannot be read is said in the panel: choosing a quote raises no error box.
    try {
        const TDataPacket report = ReadQuoteReport(branch, number, sequence);
        cdsPendencias.LoadPacket(report);
        lblPendencias->setText(QStringLiteral("Orçamento %1/%2: %3").arg(number, sequence, ReportSummary(report)));
        cdsHistorico.LoadPacket(ReadQuoteHistory(branch, number));
    } catch (const EHostError& e) {
        lblPendencias->setText(QStringLiteral("Orçamento %1/%2: as pendências não puderam ser lidas: %3").arg(number, sequence, e.message()));
    }
}

void TfrmListaOrcamentos::Processar()
{
    const QModelIndex current = grdOrcamentos->currentIndex();
    if (!current.isValid() || cdsOrcamentos.IsEmpty())
        MensErro(QStringLiteral("Escolha um orçamento da lista."), true);
    cdsOrcamentos.SetRecNo(current.row() + 1);
    const QVariantList entry{cdsOrcamentos.Text(u"IDSITUORCEVE"_s).toInt(), cdsOrcamentos.Text(u"CDFILIAL"_s), cdsOrcamentos.Text(u"NRORCAEVENTO"_s),
                             cdsOrcamentos.Text(u"NRSEQORCAEVE"_s), Operador(), cbbTela->currentData().toString()};
    // However the dialog ended, the supervisor's word it asked for ends with it.
    try {
        RunPackageScreen(QStringLiteral("ORE06400"), entry);
    } catch (...) {
        EndProcessingOnServer();
        Atualizar();
        throw;
    }
    EndProcessingOnServer();
    Atualizar();
}
