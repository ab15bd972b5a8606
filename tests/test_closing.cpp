// The closing workflow: the calls it makes, the questions and messages, the state it leaves.
#include "ServerFixture.h"
#include "ProcessingTest.h"

#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "Errors.h"
#include "EventGuard.h"
#include "TfrmProcOrca.h"
#include "Variants.h"

using namespace Cli_ore06400;

namespace {

const QList<TPacketField> kRecord{{"IDMARCADO", TFieldType::String, 1}, {"CDFILIAL", TFieldType::String, 4},
                                  {"NRORCAEVENTO", TFieldType::String, 10}, {"NRSEQORCAEVE", TFieldType::String, 2},
                                  {"IDSITUORCEVE", TFieldType::String, 1}};

QVariant ClosingRecord(const QStringList& sequences)
{
    QList<QVariantList> rows;
    for (const QString& s : sequences)
        rows << QVariantList{Null(), "0001", "123", s, "2"};
    return VarArrayOf({PacketVar(kRecord, rows)});
}

class Closing : public ProcessingTest {
protected:
    void SetUp() override
    {
        ProcessingTest::SetUp();
        // OPER9 launches; the closing is recorded for Operador().
        Prepare({.situation = 2, .sequence = "02", .operatorCode = "OPER9", .screen = "ORE00800", .rightsField = "CDPROCHABFECOPE",
                 .rights = "FECHAR EXECUTAR"});
        server.Answer("ORE00800.rdmFechaOrca.GetOrcaEvento", ClosingRecord({"01", "02", "03"}));
        server.Answer("ORE06400.rdmProcOrca.GetOperCadProd", PacketVar({{"IDCADPRPROCEORE", TFieldType::String, 1}}, {{"S"}}));
        server.Answer("ORE09000.rdmContratante.GetExisteContratante",
                      PacketVar({{"CDCLIENCONTORCA", TFieldType::String, 21}}, {{"F12345678909"}}));
        server.Answer("ORE09000.rdmContratante.GetVdValor", VarArrayOf({Null()}));
        server.Answer("ORE09000.rdmContratante.GetVdTipoEveCustEfet", VarArrayOf({true, Null()}));
        server.Answer("ORE09000.rdmContratante.GetContratante", VarArrayOf({PacketVar({{"CDCLIENTE", TFieldType::String, 21}}, {{"F12345678909"}})}));
        server.Answer("ORE09000.rdmContratante.GetQtContratantes", true);
        server.Answer("ORE00800.rdmFechaOrca.FecharOrca", true);
        host->RegisterScreen("ORE09000", [this](const QVariant& params) { screenParams = params.toList(); });
        Create();
    }
    // Runs the closing as the confirmation would; true when it ended normally.
    bool Close()
    {
        return Finishes([this] { form->FecharOrca(); });
    }

    QVariantList screenParams;
};

TEST_F(Closing, ClosesTheQuoteWithItsRowMarked)
{
    EXPECT_TRUE(Close());
    EXPECT_EQ(Methods(), (QStringList{"GetOrcaEvento", "GetOperCadProd", "GetExisteContratante", "GetVdValor", "GetVdTipoEveCustEfet",
                                      "GetContratante", "GetQtContratantes", "GetOrcaEvento", "FecharOrca"}));
    EXPECT_EQ(server.Calls()[0].args, (QVariantList{"0001", "123", "123", 0, 0, 0, 0, "", "", "", "", "", "", "2", "", "", ""}));
    EXPECT_EQ(server.Calls()[1].args, QVariantList{"OPER9"});
    EXPECT_EQ(server.Calls()[2].args, (QVariantList{"0001", "123", "02"}));
    EXPECT_EQ(screenParams, (QVariantList{"0001", "123", "02", "ORE06400"}));

    const FakeCall closing = server.Calls().last();
    ASSERT_EQ(closing.args.size(), 3);
    EXPECT_EQ(closing.args[1].toString(), "OPER1");
    EXPECT_TRUE(VarIsNull(closing.args[2]));
    const TDataPacket sent = closing.args[0].value<TDataPacket>();
    ASSERT_EQ(sent.rowCount(), 3);   // every sequence goes, only the quote's own is marked
    const int mark = sent.fieldIndex("IDMARCADO");
    EXPECT_TRUE(CellIsNull(sent.rows()[0][size_t(mark)]));
    EXPECT_EQ(std::get<QString>(sent.rows()[1][size_t(mark)]), "S");
    EXPECT_TRUE(CellIsNull(sent.rows()[2][size_t(mark)]));
    EXPECT_EQ(sent.states()[1], TRowState::Modified);
    EXPECT_EQ(inStatusOrca, 3);
    EXPECT_FALSE(host->WaitShown());
    EXPECT_EQ(Lines("wait").first(), Json(R"({"kind":"wait","on":true,"type":6})"));
}

struct StopCase {
    const char* name;
    std::function<void(FakeServer&)> arrange;
    const char* message;
    const char* lastCall;
};

class ClosingStops : public Closing, public ::testing::WithParamInterface<StopCase> {};

INSTANTIATE_TEST_SUITE_P(
    Cases, ClosingStops,
    ::testing::Values(
        StopCase{"no contracting client",
                 [](FakeServer& s) { s.Answer("ORE09000.rdmContratante.GetExisteContratante", PacketVar({{"CDCLIENCONTORCA", TFieldType::String, 21}}, {})); },
                 "Não há contratante informado para o orçamento. Fechamento bloqueado.", "GetExisteContratante"},
        StopCase{"values do not add up", [](FakeServer& s) { s.Answer("ORE09000.rdmContratante.GetVdValor", VarArrayOf({"VALORSEQ_DIFER_VRORCA"})); },
                 "A soma do valor cobrado dos contratantes é diferente do valor realizado do orçamento. Operação bloqueada.", "GetVdValor"},
        StopCase{"count differs", [](FakeServer& s) { s.Answer("ORE09000.rdmContratante.GetQtContratantes", false); },
                 "Quantidade de contratantes informada difere da quantidade do lançamento.", "GetQtContratantes"},
        StopCase{"guarded stretch fails", [](FakeServer& s) { s.AnswerFail("ORE09000.rdmContratante.GetContratante", "Contratante bloqueado."); },
                 "Contratante bloqueado.", "GetContratante"},
        StopCase{"quote's row missing",
                 [](FakeServer& s) {
                     s.AnswerSequence("ORE00800.rdmFechaOrca.GetOrcaEvento",
                                      {TRpcReply::Value(ClosingRecord({"01", "02"})), TRpcReply::Value(ClosingRecord({"01", "03"}))});
                 },
                 "Orçamento 123/02 não encontrado para fechamento. Operação bloqueada.", "GetOrcaEvento"},
        StopCase{"parameter with its argument", [](FakeServer& s) { s.AnswerError("ORE00800.rdmFechaOrca.FecharOrca", "N_PARAM_PED|0001"); },
                 "Não há parametrização de pedidos para a filial 0001. Operação Bloqueada.", "FecharOrca"},
        StopCase{"bare parameter key", [](FakeServer& s) { s.AnswerError("ORE00800.rdmFechaOrca.FecharOrca", "N_PARAM_TIPOOPER"); },
                 "Não há tipo de operação parametrizado na tela de Parâmetros do Orçamento de Eventos.", "FecharOrca"},
        StopCase{"other server error", [](FakeServer& s) { s.AnswerError("ORE00800.rdmFechaOrca.FecharOrca", "Banco indisponível"); },
                 "Banco indisponível", "FecharOrca"}),
    CaseName());

TEST_P(ClosingStops, WithTheReasonAndTheAnimationHidden)
{
    const StopCase& c = GetParam();
    c.arrange(server);
    EXPECT_FALSE(Close());
    EXPECT_EQ(LastMessage(), QString::fromUtf8(c.message));
    EXPECT_EQ(Methods().last(), c.lastCall);
    EXPECT_EQ(inStatusOrca, 2);
    EXPECT_FALSE(host->WaitShown());
}

TEST_F(Closing, AnEmptyOrNullValueCheckLetsItGoOn)
{
    for (const QVariant& answer : {Null(), QVariant(QString())}) {
        server.Answer("ORE09000.rdmContratante.GetVdValor", VarArrayOf({answer}));
        inStatusOrca = 2;
        EXPECT_TRUE(Close());
        EXPECT_EQ(inStatusOrca, 3);
    }
}

TEST_F(Closing, AClosedQuoteIsRefusedWithoutACall)
{
    inStatusOrca = 3;
    EXPECT_FALSE(Close());
    EXPECT_EQ(LastMessage(), "Orçamento já está fechado.");
    EXPECT_TRUE(server.Calls().isEmpty());
}

// Against the real server: "Fechar" on the demo's approved quote, and a branch without its
// order parameters.
class ClosingEndToEnd : public ScriptedServerFixture {
protected:
    void SetUp() override
    {
        ScriptedServerFixture::SetUp();
        Initialization();
    }
};
INSTANTIATE_TEST_SUITE_P(Sqlite, ClosingEndToEnd, ::testing::Values("sqlite"));

TEST_P(ClosingEndToEnd, CloseTheApprovedDemoQuote)
{
    host->SetSteps(ScriptedHostServices::ParseScript(R"({"steps":[
        {"form":"TfrmProcOrca","actions":[{"check":"rbtAprovFech"},{"click":"sbtConfirma"}]},
        {"form":"TfrmORE09000","actions":[{"click":"btnFechar"}]}
    ]})").value("steps").toArray());
    CriaProcessaOrca(2, "0001", "0000000201", "01", "OPER1", "ORE00800");
    EXPECT_EQ(host->Lines("message").last().value("text").toString(), "Processamento realizado com sucesso.");
    EXPECT_EQ(Sql("SELECT IDSITUORCEVE FROM ORCAEVENTO WHERE NRORCAEVENTO = '0000000201'").toString(), "3");
    EXPECT_EQ(host->UnscriptedCount(), 0);

    ActAs("OPER1", "0002");
    host->SetSteps(ScriptedHostServices::ParseScript(R"({"steps":[
        {"form":"TfrmProcOrca","actions":[{"check":"rbtAprovFech"},{"click":"sbtConfirma"},{"close":true}]},
        {"form":"TfrmORE09000","actions":[{"click":"btnFechar"}]}
    ]})").value("steps").toArray());
    CriaProcessaOrca(2, "0002", "0000000202", "01", "OPER1", "ORE00800");
    QStringList texts;
    for (const auto& m : host->Lines("message"))
        texts << m.value("text").toString();
    EXPECT_TRUE(texts.contains("Não há parametrização de pedidos para a filial 0002. Operação Bloqueada.")) << texts.join(" / ").toStdString();
    EXPECT_EQ(Sql("SELECT IDSITUORCEVE FROM ORCAEVENTO WHERE NRORCAEVENTO = '0000000202'").toString(), "2");
    EXPECT_FALSE(host->WaitShown());
}

} // namespace
