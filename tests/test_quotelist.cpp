// The host's quote list: login, filters, search, and launching the module on a quote.
#include "ServerFixture.h"
#include "TestSupport.h"

#include "QuoteList.h"
#include "ScriptedServices.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QLineEdit>
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

} // namespace
