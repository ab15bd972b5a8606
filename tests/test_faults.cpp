// A connection lost at every call of "Aprovar, Fechar e Executar": whatever call's answer never
// arrives, the store stays consistent, and the workflow that the quote's new situation allows
// then carries it to the end.
#include "FaultProxy.h"
#include "ServerFixture.h"

#include "Cli_ore06400.h"
#include "Errors.h"

namespace {

// The calls of the whole chain on the demo's clean quote, pre-check screen and supervisor included.
constexpr int kChainCalls = 58;

const char* const kQuote = "0000000101";

class LostAnswer : public ServerHarness, public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        Start("sqlite");
        host = static_cast<ScriptedHostServices*>(&InstallHostServices(std::make_unique<ScriptedHostServices>()));
        Cli_ore06400::Initialization();
    }
    void TearDown() override
    {
        UninstallHostServices();
        Stop();
    }

    // The processing dialog on the quote in its present situation, the operator played by `steps`.
    void Process(const QByteArray& steps)
    {
        host->SetSteps(ScriptedHostServices::ParseScript("{\"steps\":" + steps + '}').value("steps").toArray());
        try {
            Cli_ore06400::CriaProcessaOrca(Situation(), "0001", kQuote, "01", "OPER1", "ORE00400");
        } catch (const EHostError& e) {
            launchError = e.message();   // the launch itself failed: the host shows it
        }
    }
    // What the operator does next, for the situation the quote is in.
    QByteArray NextSteps()
    {
        const QByteArray confirm = R"({"form":"TfrmProcOrca","actions":[{"check":"rbtAprovFechExec"},{"click":"sbtConfirma"}]})";
        const QByteArray contractor = Count("CONTRATANTE") == 0 ? R"({"form":"TfrmORE09000","actions":[{"text":["edtCliente","J11222333000181"]},
            {"text":["edtConvidados","150"]},{"text":["edtValor","4360"]},{"click":"btnGravar"},{"click":"btnFechar"}]})"
                                                                 : R"({"form":"TfrmORE09000","actions":[{"click":"btnFechar"}]})";
        switch (Situation()) {
        case 1: return "[" + confirm + R"(,{"form":"TfrmORE00402","actions":[{"click":"btnContinuar"}]},{"password":"sup1"},)" + contractor + "]";
        case 2: return "[" + confirm + "," + contractor + "]";
        default: return "[" + confirm + "]";
        }
    }
    int Situation()
    {
        return Sql("SELECT IDSITUORCEVE FROM ORCAEVENTO WHERE CDFILIAL = '0001' AND NRORCAEVENTO = ? AND NRSEQORCAEVE = '01'", {kQuote}).toInt();
    }
    int Count(const char* table, const char* where = "")
    {
        return Sql(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE NRORCAEVENTO = ? %2").arg(QLatin1String(table), QLatin1String(where)), {kQuote}).toInt();
    }
    // What must hold whatever call was lost: each step the situation claims is in the store,
    // none beyond it, and nothing twice. The workflow is not one transaction: the hall booked
    // before the approval stays booked when the approval then stops, as it does when the
    // supervisor refuses it.
    void ExpectConsistent()
    {
        const int situation = Situation();
        SCOPED_TRACE("situation " + std::to_string(situation));
        ASSERT_GE(situation, 1);
        ASSERT_LE(situation, 6);
        const bool approved = situation >= 2;
        if (approved) {
            EXPECT_EQ(Count("AGENDASALAO"), 1);
        } else {
            EXPECT_LE(Count("AGENDASALAO"), 1);
        }
        EXPECT_EQ(Sql("SELECT CDOPERAPROV FROM ORCAEVENTO WHERE NRORCAEVENTO = ? AND NRSEQORCAEVE = '01'", {kQuote}).toString(), approved ? "OPER1" : "");
        EXPECT_LE(Count("CONTRATANTE"), 1);
        EXPECT_LE(Count("PEDIDO", "AND IDDEPTO = 'P'"), 1);
        EXPECT_LE(Count("PEDIDO", "AND IDDEPTO = 'M'"), 1);
        if (situation <= 3) {
            EXPECT_EQ(Count("PEDIDO"), 0);
        }
        if (situation == 6) {
            EXPECT_EQ(Count("PEDIDO"), 2);
        }
    }

    ScriptedHostServices* host = nullptr;
    QString launchError;
};

TEST_P(LostAnswer, TheStoreStaysConsistentAndTheQuoteCanBeFinished)
{
    const auto serverPort = quint16(Session().webPort);
    {
        FaultProxy proxy(serverPort, GetParam());
        Session().webPort = proxy.Port();
        Process(NextSteps());
        Session().webPort = serverPort;
        ASSERT_GE(proxy.Calls().size(), GetParam()) << "the chain made fewer calls than expected";
    }
    EXPECT_FALSE(host->WaitShown());
    ExpectConsistent();

    // The operator tries again, as the situation now allows, until the quote is executed.
    for (int attempt = 0; attempt < 3 && Situation() < 6; ++attempt)
        Process(NextSteps());
    EXPECT_EQ(Situation(), 6);
    ExpectConsistent();
}

INSTANTIATE_TEST_SUITE_P(EveryCall, LostAnswer, ::testing::Range(1, kChainCalls + 1), [](const auto& i) { return "call" + std::to_string(i.param); });

// The chain's length, so that a change to it updates the cases above.
class WholeChain : public LostAnswer {};
TEST_P(WholeChain, MakesTheCallsCounted)
{
    FaultProxy proxy(quint16(Session().webPort), 0);
    const auto serverPort = quint16(Session().webPort);
    Session().webPort = proxy.Port();
    Process(NextSteps());
    Session().webPort = serverPort;
    EXPECT_EQ(Situation(), 6);
    EXPECT_EQ(proxy.Calls().size(), kChainCalls) << proxy.Calls().join(" ").toStdString();
}
INSTANTIATE_TEST_SUITE_P(NoFault, WholeChain, ::testing::Values(0));

} // namespace
