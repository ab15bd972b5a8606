// The host's quote list: login, filters, search, and launching the module on a quote.
#include "ServerFixture.h"
#include "TestSupport.h"

#include "QuoteList.h"
#include "DataSetModel.h"
#include "Errors.h"
#include "QuoteListTools.h"
#include "ScriptedServices.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QKeyEvent>
#include <QLabel>
#include <QTableView>
#include <QCryptographicHash>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QPushButton>

namespace {

class QuoteList : public ScriptedServerFixture {};
INSTANTIATE_TEST_SUITE_P(Sqlite, QuoteList, ::testing::Values("sqlite"));

TEST_P(QuoteList, LoginChecksThePasswordWithTheServer)
{
    TfrmLogin login(QStringLiteral("http://127.0.0.1:%1").arg(Session().webPort), "OPER1", "0001");
    login.edtSenha->setText("errada");
    login.findChild<QPushButton*>("btnEntrar")->click();
    EXPECT_NE(login.result(), QDialog::Accepted);
    EXPECT_EQ(host->Lines("message").value(0).value("text").toString(), "Operador ou senha inválidos.");
    EXPECT_TRUE(login.edtSenha->text().isEmpty());
    EXPECT_TRUE(Session().token.isEmpty());
    login.edtSenha->setText("oper1");
    login.findChild<QPushButton*>("btnEntrar")->click();
    EXPECT_EQ(login.result(), QDialog::Accepted);
    EXPECT_EQ(Operador(), "OPER1");
    // The session the server opened is the one every later call carries.
    EXPECT_EQ(Sql("SELECT CDOPERADOR FROM SESSAO WHERE DSTOKENHASH = ?",
                  {QString::fromLatin1(QCryptographicHash::hash(Session().token.toUtf8(), QCryptographicHash::Sha256).toHex())})
                  .toString(),
              "OPER1");
    EXPECT_FALSE(TfrmListaOrcamentos().cdsOrcamentos.IsEmpty());
}

TEST_P(QuoteList, FiltersSearchesAndLaunchesTheModule)
{
    TfrmListaOrcamentos list;
    const int all = list.cdsOrcamentos.RecordCount();
    EXPECT_GT(all, 20);
    list.cbbSituacao->setCurrentIndex(3);   // Fechado
    emit list.cbbSituacao->activated(3);
    EXPECT_EQ(list.cdsOrcamentos.RecordCount(), 3);
    EXPECT_EQ(list.cdsOrcamentos.FieldByName("Situacao")->AsString(), "Fechado");
    list.cbbSituacao->setCurrentIndex(0);
    list.edtPesquisa->setText("gama");
    ASSERT_EQ(list.cdsOrcamentos.RecordCount(), 1);
    EXPECT_EQ(list.cdsOrcamentos.FieldByName("NMFANTCLIE")->AsString(), "Gama Eventos");
    EXPECT_EQ(list.cdsOrcamentos.FieldByName("VRTOTALORCA")->DisplayText(), "4.360,00");

    // The module opens on the selected quote, as the closing screen would call it.
    list.edtPesquisa->setText("0000000201");
    list.cbbTela->setCurrentIndex(2);
    host->SetSteps(ScriptedHostServices::ParseScript(R"({"steps":[{"form":"TfrmProcOrca","actions":[{"close":true}]}]})").value("steps").toArray());
    list.findChild<QPushButton*>("btnProcessar")->click();
    const auto forms = host->Lines("form");
    ASSERT_FALSE(forms.isEmpty());
    EXPECT_EQ(forms[0].value("widgets").toObject().value("edtOrcaEven").toObject().value("text").toString(), "0000000201/01");
    EXPECT_EQ(forms[0].value("widgets").toObject().value("edtSituacao").toObject().value("text").toString(), "Aprovado");
    EXPECT_EQ(host->UnscriptedCount(), 0);
    EXPECT_EQ(list.cdsOrcamentos.RecordCount(), 1);   // refreshed, filters kept
    // The server heard that the processing ended: a supervisor's word given in it serves no other.
    QStringList methods;
    for (const QJsonObject& call : host->Lines("call"))
        methods << call.value("method").toString();
    EXPECT_TRUE(methods.contains("FimProcessamento")) << methods.join(' ').toStdString();
}

// The display texts of one column, top to bottom.
QStringList Column(TfrmListaOrcamentos& list, const char* field)
{
    QStringList texts;
    const int index = list.cdsOrcamentos.FieldByName(field)->Index();
    for (int row = 0; row < list.cdsOrcamentos.RecordCount(); ++row)
        texts << list.cdsOrcamentos.DisplayTextAt(row, index);
    return texts;
}

int ColumnOf(TfrmListaOrcamentos& list, const QString& title)
{
    for (int c = 0; c < list.grdOrcamentos->model()->columnCount(); ++c)
        if (list.grdOrcamentos->model()->headerData(c, Qt::Horizontal).toString() == title)
            return c;
    ADD_FAILURE() << "sem a coluna " << title.toStdString();
    return -1;
}

TEST_P(QuoteList, SortsByAnyColumnOneWayThenTheOther)
{
    TfrmListaOrcamentos list;
    // Each column's values, as the dataset holds them, in order after a click and reversed after a second one.
    for (int c = 0; c < list.grdOrcamentos->model()->columnCount(); ++c) {
        const QString title = list.grdOrcamentos->model()->headerData(c, Qt::Horizontal).toString();
        emit list.grdOrcamentos->horizontalHeader()->sectionClicked(c);
        // The situation goes by its code, the order of the quote's life.
        TField* field = static_cast<TDataSetModel*>(static_cast<QIdentityProxyModel*>(list.grdOrcamentos->model())->sourceModel())->fieldAt(c);
        if (field->FieldName() == "Situacao")
            field = list.cdsOrcamentos.FieldByName("IDSITUORCEVE");
        QVariantList values;
        for (int row = 0; row < list.cdsOrcamentos.RecordCount(); ++row)
            values << list.cdsOrcamentos.ValueAt(row, field->Index());
        auto ordered = [&](bool ascending) {
            for (int i = 1; i < values.size(); ++i) {
                const QPartialOrdering order = QVariant::compare(values[i - 1], values[i]);
                if (ascending ? order == QPartialOrdering::Greater : order == QPartialOrdering::Less)
                    return false;
            }
            return true;
        };
        EXPECT_TRUE(ordered(true)) << title.toStdString();
        EXPECT_EQ(list.grdOrcamentos->horizontalHeader()->sortIndicatorSection(), c);
        emit list.grdOrcamentos->horizontalHeader()->sectionClicked(c);
        values.clear();
        for (int row = 0; row < list.cdsOrcamentos.RecordCount(); ++row)
            values << list.cdsOrcamentos.ValueAt(row, field->Index());
        EXPECT_TRUE(ordered(false)) << title.toStdString();
        EXPECT_EQ(list.grdOrcamentos->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    }
    // The order holds while filtering: the closed quotes by total, the largest first.
    const int total = ColumnOf(list, "Total");
    emit list.grdOrcamentos->horizontalHeader()->sectionClicked(total);
    emit list.grdOrcamentos->horizontalHeader()->sectionClicked(total);
    list.cbbSituacao->setCurrentIndex(3);
    emit list.cbbSituacao->activated(3);
    EXPECT_EQ(Column(list, "NRORCAEVENTO").size(), 3);
    EXPECT_EQ(list.grdOrcamentos->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
}

TEST_P(QuoteList, CountsTotalsSearchesAndFilters)
{
    Exec("UPDATE ORCAEVENTO SET CDVENDEDOR = 'V02' WHERE NRORCAEVENTO IN ('0000000102', '0000000103')");
    TfrmListaOrcamentos list;
    struct Case {
        const char* search;
        QDate from, to;
        const char* salesperson;
        QStringList quotes;
        const char* totals;
    };
    const Case cases[] = {
        {"gama", {}, {}, "", {"0000000104"}, "1 orçamento – total R$ 4.360,00"},
        {"GAMA", {}, {}, "", {"0000000104"}, "1 orçamento – total R$ 4.360,00"},       // without regard to case
        {"confraternizacao", {}, {}, "", {"0000000104"}, "1 orçamento – total R$ 4.360,00"},   // nor to accents, in the event's name
        {"0000000103", {}, {}, "", {"0000000103"}, nullptr},
        {"nada disso", {}, {}, "", {}, "nenhum orçamento encontrado"},
        {"", QDate(2027, 4, 2), QDate(2027, 4, 15), "", {"0000000102", "0000000103", "0000000104"}, nullptr},   // both days included
        {"", QDate(2027, 4, 3), {}, "V02", {"0000000103"}, nullptr},
        {"", {}, {}, "V02", {"0000000102", "0000000103"}, nullptr},
    };
    for (const Case& c : cases) {
        list.edtPesquisa->setText(QString::fromUtf8(c.search));
        list.barFiltro->dtpEventoDe->setDate(c.from.isValid() ? c.from : list.barFiltro->dtpEventoDe->minimumDate());
        list.barFiltro->dtpEventoAte->setDate(c.to.isValid() ? c.to : list.barFiltro->dtpEventoAte->minimumDate());
        list.barFiltro->cbbVendedor->setCurrentIndex(std::max(0, list.barFiltro->cbbVendedor->findData(QString::fromLatin1(c.salesperson))));
        emit list.barFiltro->cbbVendedor->activated(list.barFiltro->cbbVendedor->currentIndex());
        EXPECT_EQ(Column(list, "NRORCAEVENTO"), c.quotes) << c.search << " " << c.salesperson;
        if (c.totals) {
            EXPECT_EQ(list.lblTotais->text(), QString::fromUtf8(c.totals)) << c.search;
        }
    }
    EXPECT_EQ(list.barFiltro->cbbVendedor->itemText(list.barFiltro->cbbVendedor->findData("V02")), "Vendedora Carla");

    // The total is the sum of the rows shown.
    list.barFiltro->cbbVendedor->setCurrentIndex(0);
    list.edtPesquisa->setText("0000000101");
    EXPECT_EQ(Column(list, "NRORCAEVENTO"), (QStringList{"0000000101", "0000000101"}));
    double sum = 0;
    for (const QString& total : Column(list, "VRTOTALORCA"))
        sum += QString(total).remove('.').replace(',', '.').toDouble();
    EXPECT_EQ(list.lblTotais->text(), QStringLiteral("2 orçamentos – total R$ %1").arg(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(sum, 'f', 2)));
}

TEST_P(QuoteList, ExportsTheRowsShownAsCsv)
{
    Exec("UPDATE ORCAEVENTO SET DSTITUORCEVE = 'Casamento \"Alfa\"; econômico' WHERE NRORCAEVENTO = '0000000101' AND NRSEQORCAEVE = '02'");
    TfrmListaOrcamentos list;
    list.edtPesquisa->setText("0000000101");
    emit list.grdOrcamentos->horizontalHeader()->sectionClicked(ColumnOf(list, "Seq."));
    emit list.grdOrcamentos->horizontalHeader()->sectionClicked(ColumnOf(list, "Seq."));   // the second sequence first
    const QString file = dir.filePath("orcamentos.csv");
    list.ExportarCsv(file);
    QFile csv(file);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QByteArray bytes = csv.readAll();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "Número;Seq.;Cliente;Evento;Data do evento;Situação;Vendedor;Total");
    // The rows shown, in their order; a value with the separator or quotes is quoted.
    EXPECT_TRUE(lines[1].startsWith("0000000101;02;Eventos Alfa;\"Casamento \"\"Alfa\"\"; econômico\";")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith("0000000101;01;Eventos Alfa;Casamento Alfa;10/03/2027 20:00;Pendente;Vendedor Bruno;")) << lines[2].toStdString();

    // A file that cannot be written: the operator is told, nothing is left behind.
    EXPECT_THROW(list.ExportarCsv("/nao/existe/orcamentos.csv"), EAbort);
    EXPECT_TRUE(host->Lines("message").last().value("text").toString().startsWith("O arquivo /nao/existe/orcamentos.csv não pôde ser gravado"));
}

TEST_P(QuoteList, KeepsTheQuoteSelectedAndAsksBeforeEscapeLeaves)
{
    TfrmListaOrcamentos list;
    list.show();
    list.edtPesquisa->setText("0000000201");
    host->SetSteps(ScriptedHostServices::ParseScript(R"({"steps":[{"form":"TfrmProcOrca","actions":[{"close":true}]}]})").value("steps").toArray());
    list.edtPesquisa->clear();   // every quote again: the one chosen stays selected
    ASSERT_EQ(Column(list, "NRORCAEVENTO").value(list.grdOrcamentos->currentIndex().row()), "0000000201");
    list.findChild<QPushButton*>("btnProcessar")->click();
    EXPECT_EQ(Column(list, "NRORCAEVENTO").value(list.grdOrcamentos->currentIndex().row()), "0000000201");   // after processing too

    // Escape asks; No keeps the list, Yes leaves.
    host->SetSteps(ScriptedHostServices::ParseScript(R"({"steps":[{"answer":"no"},{"answer":"yes"}]})").value("steps").toArray());
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(list.grdOrcamentos, &escape);
    EXPECT_TRUE(list.isVisible());
    EXPECT_EQ(host->Lines("message").last().value("text").toString(), "Deseja sair de Orçamentos de Eventos?");
    QApplication::sendEvent(list.grdOrcamentos, &escape);
    EXPECT_FALSE(list.isVisible());
    EXPECT_EQ(host->UnscriptedCount(), 0);
}

TEST_P(QuoteList, ColumnsCoverTheirTitlesAndValuesAndStayPutWhileSearching)
{
    TfrmListaOrcamentos list;
    list.show();
    QList<int> widths;
    for (int c = 0; c < list.grdOrcamentos->model()->columnCount(); ++c) {
        widths << list.grdOrcamentos->columnWidth(c);
        EXPECT_GE(list.grdOrcamentos->columnWidth(c), list.grdOrcamentos->horizontalHeader()->sectionSizeHint(c)) << c;
        for (int r = 0; r < list.grdOrcamentos->model()->rowCount(); ++r)
            EXPECT_GE(list.grdOrcamentos->columnWidth(c), list.grdOrcamentos->fontMetrics().horizontalAdvance(list.grdOrcamentos->model()->index(r, c).data().toString()))
                << c << " " << r;
    }
    for (const char* typed : {"c", "ca", "cas", "casamento com"}) {
        list.edtPesquisa->setText(typed);
        for (int c = 0; c + 1 < list.grdOrcamentos->model()->columnCount(); ++c)   // the last one stretches to the window's edge
            EXPECT_EQ(list.grdOrcamentos->columnWidth(c), widths[c]) << typed;
    }
}

TEST_P(QuoteList, ThePanelShowsWhatStopsTheSelectedQuoteAndItsHistory)
{
    TfrmListaOrcamentos list;
    list.edtPesquisa->setText("0000000105");
    EXPECT_EQ(list.lblPendencias->text(), "Orçamento 0000000105/01: Aprovar está bloqueado: 1 pendência(s).");
    ASSERT_GT(list.cdsPendencias.RecordCount(), 1);
    list.cdsPendencias.First();
    EXPECT_EQ(list.cdsPendencias.FieldByName("Tipo")->AsString(), "Bloqueia");
    EXPECT_EQ(list.cdsPendencias.FieldByName("DSMENSAGEM")->AsString(),
              "Orçamento filho não pode ser aprovado primeiro que o orçamento original. Operação Bloqueada.");
    list.cdsPendencias.Last();
    EXPECT_EQ(list.cdsPendencias.FieldByName("Tipo")->AsString(), "Aviso");   // warnings after what blocks

    // Another quote chosen: the panel follows, with the orders its execution would make.
    list.edtPesquisa->setText("00000003");
    ASSERT_EQ(list.cdsOrcamentos.RecordCount(), 3);
    list.grdOrcamentos->selectRow(1);
    EXPECT_EQ(list.lblPendencias->text(), "Orçamento 0000000302/01: Executar está bloqueado: 2 pendência(s).");
    list.grdOrcamentos->selectRow(0);
    EXPECT_EQ(list.lblPendencias->text(), "Orçamento 0000000301/01: Nada impede Executar.");
    QStringList orders;
    for (list.cdsPendencias.First(); !list.cdsPendencias.Eof(); list.cdsPendencias.Next())
        orders << list.cdsPendencias.FieldByName("Tipo")->AsString() + " " + list.cdsPendencias.FieldByName("CDARVPROD")->AsString() + " "
                      + list.cdsPendencias.FieldByName("QTPEDIDO")->DisplayText();
    EXPECT_EQ(orders, (QStringList{"Pedido previsto 01.P001 200", "Pedido previsto 01.P002 2", "Pedido previsto 01.M003 20"}));
    EXPECT_TRUE(list.cdsHistorico.IsEmpty());

    // After processing, the same quote stays chosen and both tabs are read again.
    list.cbbTela->setCurrentIndex(2);
    host->SetSteps(ScriptedHostServices::ParseScript(R"({"steps":[{"form":"TfrmProcOrca","actions":[{"click":"sbtConfirma"}]}]})").value("steps").toArray());
    list.findChild<QPushButton*>("btnProcessar")->click();
    EXPECT_EQ(list.lblPendencias->text(), "Orçamento 0000000301/01: Executar está bloqueado: 1 pendência(s).");
    QStringList history;
    for (list.cdsHistorico.First(); !list.cdsHistorico.Eof(); list.cdsHistorico.Next())
        history << list.cdsHistorico.FieldByName("CDOPERADOR")->AsString() + " " + list.cdsHistorico.FieldByName("DSACAO")->AsString() + " "
                       + list.cdsHistorico.FieldByName("IDRESULTADO")->AsString();
    EXPECT_EQ(history, (QStringList{"OPER1 Execução (produção) ok", "OPER1 Execução (materiais) ok"}));
    EXPECT_FALSE(list.cdsHistorico.FieldByName("DTREGISTRO")->DisplayText().isEmpty());
}

} // namespace
