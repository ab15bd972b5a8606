// The approval: the hall check.
#include "TestSupport.h"

#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "EventGuard.h"
#include "TfrmProcOrca.h"
#include "Variants.h"

using namespace Cli_ore06400;

namespace {

class Approval : public ScriptedHostTest {
protected:
    void SetUp() override
    {
        ScriptedHostTest::SetUp();
        Initialization();
        inStatusOrca = 1;
        stCdFili = "0001";
        stNrOrca = "123";
        stNrSeq = "01";
        stCdOperador = "OPER1";
        stTelaOrc = "ORE00400";
        server.Answer("ORE06400.rdmProcOrca.GetOperControle",
                      VarArrayOf({PacketVar({{"CDPROCHABAPROPE", TFieldType::String, 30}}, {{"APROVAR"}}), PacketVar({{"X", TFieldType::String, 1}}, {})}));
        form = std::make_unique<TfrmProcOrca>();
        frmProcOrca = form.get();
        server.ClearCalls();
    }
    void TearDown() override
    {
        frmProcOrca = nullptr;
        form.reset();
        ScriptedHostTest::TearDown();
    }
    // The quote's halls, by their booking situation ("R" reserved, "A" scheduled).
    void Halls(const QStringList& situations)
    {
        QList<QVariantList> rows;
        for (const QString& s : situations)
            rows << QVariantList{QString::number(rows.size() + 1), s};
        form->cdsSalaoEven->SetData(PacketVar({{"CDSALAOEVEN", TFieldType::String, 3}, {"IDSITAGENSAL", TFieldType::String, 1}}, rows));
    }
    // Runs the check as the approval does; true when every reserved hall passed.
    bool Check()
    {
        bool passed = false;
        RunHandler([&] {
            form->ValidaSalao();
            passed = true;
        });
        return passed;
    }
    std::unique_ptr<TfrmProcOrca> form;
};

TEST_F(Approval, HallCheck)
{
    struct Case {
        const char* name;
        QStringList halls;
        QList<TRpcReply> answers;
        int calls;
        bool passes;
        const char* box;       // "" when nothing is shown
        const char* message;
    };
    const QString name = "ACIMA_LIMITE Salão Nobre";
    const Case cases[] = {
        {"nothing reserved", {"A", "A"}, {TRpcReply::Value("ACIMA_LIMITE xSalão")}, 0, true, "", ""},
        {"no halls", {}, {TRpcReply::Value("OK")}, 0, true, "", ""},
        {"two reserved, both pass", {"R", "A", "R"}, {TRpcReply::Value("OK")}, 2, true, "", ""},
        {"over the limit", {"R", "R"}, {TRpcReply::Value(name)}, 1, false, "information",
         "Limite de agendamentos para o salão Salão Nobre foi atingido. Operação Bloqueada."},
        {"no limit set up", {"R"}, {TRpcReply::Value("N_LIMITE_DEF|Salão Azul")}, 1, false, "error",
         "Não há limite de agendamento parametrizado para o salão Salão Azul. Operação bloqueada."},
        {"already booked, after a pass", {"R", "R"}, {TRpcReply::Value("OK"), TRpcReply::Value("DTA_HRA_MARC;Jardim")}, 2, false, "information",
         "O salão Jardim já possui evento(s) marcado(s) para a data e hora selecionada no orçamento. Operação Bloqueada."},
        {"two codes: the first of the order", {"R"}, {TRpcReply::Value("DTA_HRA_MARC ACIMA_LIMITE")}, 1, false, "information",
         "Limite de agendamentos para o salão ACIMA_LIMITE foi atingido. Operação Bloqueada."},
        {"short answer: no name", {"R"}, {TRpcReply::Value("N_LIMITE_DEF")}, 1, false, "error",
         "Não há limite de agendamento parametrizado para o salão . Operação bloqueada."},
        {"\"ok\" is not OK", {"R"}, {TRpcReply::Value("ok")}, 1, false, "error", "ok"},
        {"any other text", {"R"}, {TRpcReply::Value("Salão em manutenção.")}, 1, false, "error", "Salão em manutenção."},
        {"a refused call", {"R"}, {TRpcReply::Fail("Orçamento bloqueado por outro operador.")}, 1, false, "error",
         "Orçamento bloqueado por outro operador."},
        {"an empty answer", {"R"}, {TRpcReply::Value(Null())}, 1, false, "error", "O servidor não respondeu à verificação dos salões."},
    };
    stSaloes = "001,003";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.ClearCalls();
        const qsizetype shownBefore = Lines("message").size();
        server.AnswerSequence("ORE00400.rdmAprovaOrca.GetVerifSalao", c.answers);
        Halls(c.halls);
        EXPECT_EQ(Check(), c.passes);
        const QList<FakeCall> calls = server.CallsTo("ORE00400.rdmAprovaOrca.GetVerifSalao");
        ASSERT_EQ(calls.size(), c.calls);
        for (const FakeCall& call : calls)
            EXPECT_EQ(call.args, (QVariantList{"0001", "123", "01", "001,003"}));
        const QList<QJsonObject> messages = Lines("message").mid(shownBefore);
        ASSERT_EQ(messages.size(), *c.box ? 1 : 0);
        if (*c.box) {
            EXPECT_EQ(messages[0].value("type").toString(), c.box);
            EXPECT_EQ(messages[0].value("text").toString(), QString::fromUtf8(c.message));
        }
    }
}

} // namespace
