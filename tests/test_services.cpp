// The framework's services: messages, the error box and the silent abort, checking remote
// results, and the text routines.
#include "TestSupport.h"

#include "Components.h"
#include "Consiste.h"
#include "Crv_msg.h"
#include "Errors.h"
#include "EventGuard.h"
#include "NetConnection.h"
#include "TextRoutines.h"
#include "Variants.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>

namespace {

class Services : public ScriptedHostTest {};

TEST_F(Services, MessageListsKeepTheirTextsExactly)
{
    TMessages msg(nullptr, QStringLiteral("msgPadrao"));
    msg.SetLines({QStringLiteral("GERSUP_N_APROV|Gerente/supervisor não aprovou o desconto dado pelo vendedor. Operação bloqueada. "),
                  QStringLiteral("N_PARAM_EMPRESARELAC|Empresa ou sua Inscrição Estadual  não esta relacionada a filial."),
                  QStringLiteral("COM_BARRA|a|b")});
    EXPECT_EQ(msg.Msg("GERSUP_N_APROV"), "Gerente/supervisor não aprovou o desconto dado pelo vendedor. Operação bloqueada. ");
    EXPECT_EQ(msg.Msg("N_PARAM_EMPRESARELAC"), "Empresa ou sua Inscrição Estadual  não esta relacionada a filial.");
    EXPECT_EQ(msg.Msg("COM_BARRA"), "a|b");
    EXPECT_EQ(msg.Msg("NAO_EXISTE"), "");
    EXPECT_EQ(msg.Msg("gersup_n_aprov"), "");
    EXPECT_THROW(msg.SetLines({QStringLiteral("sem barra")}), EHostError);
    EXPECT_THROW(msg.SetLines({QStringLiteral("A|1"), QStringLiteral("A|2")}), EHostError);

    Script(R"({"steps":[{"answer":"yes"}]})");
    msg.SetLines({QStringLiteral("Orc_N_MObra|Orçamento não possui mão de obra. Deseja aprovar mesmo assim?")});
    EXPECT_EQ(msg.ShowMsg(QStringLiteral("Orc_N_MObra"), mtConfirmation, mbYes | mbNo, 0), mrYes);
    ASSERT_EQ(Lines("message").size(), 1);
    EXPECT_EQ(Lines("message")[0], Json(R"({"kind":"message","type":"confirmation",
        "text":"Orçamento não possui mão de obra. Deseja aprovar mesmo assim?","answer":"yes"})"));
}

TEST_F(Services, CheckResultServ)
{
    // success: the payload comes back
    EXPECT_EQ(CheckResultServ(VarArrayOf({1, 2})).toList().size(), 2);
    EXPECT_TRUE(Lines("message").isEmpty());

    // a failed result: the server's text as an error, then the silent abort
    EXPECT_THROW(CheckResultServ(FailResult(QStringLiteral("Orçamento bloqueado."))), EAbort);
    ASSERT_EQ(Lines("message").size(), 1);
    EXPECT_EQ(Lines("message")[0].value("type").toString(), "error");
    EXPECT_EQ(Lines("message")[0].value("text").toString(), "Orçamento bloqueado.");

    // a server exception never reaches CheckResultServ: the call raises it with its text
    server.AnswerError(QStringLiteral("ORE00800.rdmFechaOrca.FecharOrca"), QStringLiteral("N_PARAM_PED|0001"));
    server.AnswerFail(QStringLiteral("ORE00800.rdmFechaOrca.GetOrcaEvento"), QStringLiteral("Sem acesso."));
    TNetConnection net(nullptr, QStringLiteral("netFechamento"), QStringLiteral("ORE00800.rdmFechaOrca"));
    try {
        CheckResultServ(net.Call(QStringLiteral("FecharOrca"), {Null()}));
        FAIL();
    } catch (const ERemoteError& e) {
        EXPECT_EQ(e.message(), "N_PARAM_PED|0001");
    }
    EXPECT_THROW(CheckResultServ(net.Call(QStringLiteral("GetOrcaEvento"))), EAbort);
    EXPECT_EQ(Lines("message").size(), 2);
    const auto calls = Lines("call");
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[0].value("outcome").toString(), "exception");
    EXPECT_EQ(calls[0].value("message").toString(), "N_PARAM_PED|0001");
    EXPECT_EQ(calls[1].value("outcome").toString(), "fail");
}

TEST_F(Services, TheSilentAbortIsShownByNoLayer)
{
    RunHandler([] { MensErro(QStringLiteral("Parou aqui."), true); });
    RunHandler([] { Abort(); });
    RunHandler([] { throw EDataSetError(QStringLiteral("Campo X não encontrado.")); });
    RunHandler([] { throw std::runtime_error("falha inesperada"); });
    QStringList texts;
    for (const auto& line : Lines("message"))
        texts << line.value("type").toString() + ": " + line.value("text").toString();
    EXPECT_EQ(texts, (QStringList{"error: Parou aqui.", "error: Campo X não encontrado.", "error: falha inesperada"}));

    MensErro(QStringLiteral("Sem abortar."), false);   // returns
    EXPECT_EQ(Lines("message").size(), 4);
}

struct RoundCase {
    double value;
    double expected;
};
void PrintTo(const RoundCase& c, std::ostream* os) { *os << c.value; }
class RoundDecTable : public ::testing::TestWithParam<RoundCase> {};
TEST_P(RoundDecTable, HalfAwayFromZeroOnTheValueAsWritten)
{
    EXPECT_EQ(RoundDec(GetParam().value, 2), GetParam().expected) << GetParam().value;
}
INSTANTIATE_TEST_SUITE_P(Cases, RoundDecTable,
                         ::testing::Values(RoundCase{1.005, 1.01}, RoundCase{2.675, 2.68}, RoundCase{-1.005, -1.01},
                                           RoundCase{1.004, 1.0}, RoundCase{0.125, 0.13}, RoundCase{-0.125, -0.13},
                                           RoundCase{9.995, 10.0}, RoundCase{99.999, 100.0}, RoundCase{12.0, 12.0},
                                           RoundCase{0.0, 0.0}, RoundCase{1234567.894999, 1234567.89},
                                           RoundCase{1e-7, 0.0}, RoundCase{1.1 * 3, 3.3}));

TEST(TextRoutines, AjustaPadsCodesWithZerosAndNeverCuts)
{
    struct Case {
        const char* code;
        int width;
        const char* expected;
    };
    for (const Case& c : {Case{"1058", 4, "1058"}, Case{"58", 4, "0058"}, Case{"7", 10, "0000000007"},
                          Case{"", 4, ""}, Case{"123456", 4, "123456"}, Case{"AB", 4, "00AB"}})
        EXPECT_EQ(Ajusta(QString::fromUtf8(c.code), c.width), QString::fromUtf8(c.expected)) << c.code;
}

TEST(TextRoutines, EmptyStringAndSetChildEnabled)
{
    EXPECT_TRUE(EmptyString(QString()));
    EXPECT_TRUE(EmptyString(QStringLiteral("   ")));
    EXPECT_FALSE(EmptyString(QStringLiteral(" a ")));

    QGroupBox group;
    auto* inner = new QGroupBox(&group);
    auto* edit = new QLineEdit(inner);
    auto* check = new QCheckBox(&group);
    SetChildEnabled(&group, false);
    EXPECT_TRUE(group.isEnabled());
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_FALSE(check->isEnabled());
    SetChildEnabled(&group, true);
    EXPECT_TRUE(edit->isEnabled());
}

TEST(TextRoutines, FormatFillsThePlaceholdersInOrder)
{
    EXPECT_EQ(Format("Orçamento %s/%s não encontrado.", {"123", "01"}), "Orçamento 123/01 não encontrado.");
    EXPECT_EQ(Format("Não há parametrização de pedidos para a filial %s. Operação Bloqueada.", {"0001"}),
              "Não há parametrização de pedidos para a filial 0001. Operação Bloqueada.");
    EXPECT_EQ(Format("Sem marcador.", {"x"}), "Sem marcador.");
    EXPECT_EQ(Format("Um %s e outro %s.", {"só"}), "Um só e outro %s.");
    EXPECT_EQ(Format("100% de %s", {"10"}), "100% de 10");
}

TEST(TickedKeys, AreWrittenAtTheFieldsFullSizeInQuotes)
{
    EXPECT_EQ(FormatTickedKeys({"01", "03"}, 2), "'01','03'");
    EXPECT_EQ(FormatTickedKeys({"123"}, 10), "'123       '");
    EXPECT_EQ(FormatTickedKeys({"123"}, 10).size(), 12);
    EXPECT_GT(FormatTickedKeys({"1", "2"}, 10).size(), 12);
    EXPECT_EQ(FormatTickedKeys({}, 10), "");
    EXPECT_EQ(ParseTickedKeys("'01','123       '"), (QStringList{"01", "123"}));
}

} // namespace
