// The host's quote list: login, filters, search, and launching the module on a quote.
#include "ServerFixture.h"
#include "TestSupport.h"

#include "QuoteList.h"
#include "ScriptedServices.h"

#include <QComboBox>
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
