// The approval: the discount ceiling, the payment proposals and the lists' columns, the hall
// check, and the hand-over of a pending quote's payment mode after a post.
#include "ProcessingTest.h"

#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "EventGuard.h"
#include "TfrmProcOrca.h"
#include "Variants.h"

using namespace Cli_ore06400;

namespace {

class Approval : public ProcessingTest {
protected:
    void SetUp() override
    {
        ProcessingTest::SetUp();
        Prepare({});
        Create();
    }
    // The quote's halls, by their booking situation ("R" reserved, "A" scheduled).
    void Halls(const QStringList& situations)
    {
        QList<QVariantList> rows;
        for (const QString& s : situations)
            rows << QVariantList{QString::number(rows.size() + 1), s};
        form->approval->cdsSalaoEven->SetData(PacketVar({{"CDSALAOEVEN", TFieldType::String, 3}, {"IDSITAGENSAL", TFieldType::String, 1}}, rows));
    }
};

TEST_F(Approval, PaymentProposalChoice)
{
    const QString ask = "Existe(m) proposta(s) de pagamento cadastrada(s) para  o orçamento. Deseja selecionar alguma proposta de pagamento?";
    const QString onlyOne = "Apenas uma proposta de pagamento deve ser selecionada. Deseja selecionar uma proposta de pagamento?";
    struct Case {
        const char* name;
        QStringList proposals;
        const char* steps;
        const char* result;
        QStringList messages;
        int lists;
    };
    const Case cases[] = {
        {"no proposals", {}, "[]", "", {}, 0},
        {"declined", {"0000000001"}, R"([{"answer":"no"}])", "", {ask}, 0},
        {"one ticked", {"0000000001", "0000000002"}, R"([{"answer":"yes"},{"tick":["0000000002"]}])", "'0000000002'", {ask}, 1},
        {"nothing ticked", {"0000000001", "0000000002"}, R"([{"answer":"yes"},{"tick":[]}])", "", {ask}, 1},
        {"two, then one", {"0000000001", "0000000002"},
         R"([{"answer":"yes"},{"tick":["0000000001","0000000002"]},{"answer":"yes"},{"tick":["0000000001"]}])", "'0000000001'", {ask, onlyOne}, 2},
        {"two, then given up", {"0000000001", "0000000002"}, R"([{"answer":"yes"},{"tick":["0000000001","0000000002"]},{"answer":"no"}])", "",
         {ask, onlyOne}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QList<QVariantList> rows;
        for (const QString& p : c.proposals)
            rows << QVariantList{p, 2.5, 3.0, 1234.5, 100.0, QDateTime(QDate(2027, 3, 15), QTime(10, 30))};
        server.Answer("ORE00400.rdmAprovaOrca.GetPropostasPgto",
                      PacketVar({{"NRPROPOSTAPGTO", TFieldType::String, 10}, {"VRPERCJUROSORCA", TFieldType::Float, 0}, {"QTPARCELASORCA", TFieldType::Float, 0},
                                 {"VRPARCELAORCA", TFieldType::Float, 0}, {"VRPARCELAENTR", TFieldType::Float, 0}, {"DTPRIMVENCPARC", TFieldType::DateTime, 0}},
                                rows));
        server.ClearCalls();
        const qsizetype shownBefore = Lines("message").size(), listsBefore = Lines("list").size();
        Steps(c.steps);

        EXPECT_EQ(form->PropostaPagamento("0001", "123", "01"), QString::fromUtf8(c.result));
        EXPECT_EQ(server.CallNames(), QStringList{"ORE00400.rdmAprovaOrca.GetPropostasPgto"});
        EXPECT_EQ(server.Calls().value(0).args, (QVariantList{"0001", "123", "01"}));
        QStringList messages;
        for (const QJsonObject& m : Lines("message").mid(shownBefore))
            messages << m.value("text").toString();
        EXPECT_EQ(messages, c.messages);
        EXPECT_EQ(Lines("list").size() - listsBefore, c.lists);
        if (c.lists) {
            EXPECT_EQ(Lines("list").last().value("title").toString(), "Proposta de Pagamento");
        }
        EXPECT_EQ(host->RemainingSteps(), 0);
    }
}

TEST_F(Approval, TheListsShowTheirValuesUnderTheirOwnColumns)
{
    form->approval->cdsPropostaPgto->SetData(PacketVar({{"NRPROPOSTAPGTO", TFieldType::String, 10}, {"VRPERCJUROSORCA", TFieldType::Float, 0},
                                              {"QTPARCELASORCA", TFieldType::Float, 0}, {"VRPARCELAORCA", TFieldType::Float, 0},
                                              {"VRPARCELAENTR", TFieldType::Float, 0}, {"DTPRIMVENCPARC", TFieldType::DateTime, 0}},
                                             {{"0000000001", 2.5, 2.6, 1234.5, Null(), QDateTime(QDate(2027, 3, 15), QTime(10, 30))}}));
    auto shown = [](TClientDataSet* ds, const char* field) { return ds->FieldByName(field)->DisplayText(); };
    EXPECT_EQ(shown(form->approval->cdsPropostaPgto, "CALCVRPERCJUROSORCA"), "2,50");
    EXPECT_EQ(shown(form->approval->cdsPropostaPgto, "CALCQTPARCELASORCA"), "3");
    EXPECT_EQ(shown(form->approval->cdsPropostaPgto, "CALCVRPARCELAORCA"), "1.234,50");
    EXPECT_EQ(shown(form->approval->cdsPropostaPgto, "CALCVRPARCELAENTR"), "0,00");   // a missing value reads as 0
    EXPECT_EQ(form->approval->cdsPropostaPgto->FieldByName("CALCDTPRIMVENCPARC")->AsDate(), QDate(2027, 3, 15));

    form->approval->cdsSalaoEven->SetData(PacketVar({{"CDSALAOEVEN", TFieldType::String, 3}, {"VRCOBAGENSALAO", TFieldType::Float, 0},
                                           {"DTAGENDSALAO", TFieldType::DateTime, 0}, {"DTVALRESESAL", TFieldType::DateTime, 0}},
                                          {{"001", 5000.0, QDateTime(QDate(2027, 5, 20), QTime(18, 0)), QDateTime(QDate(2027, 1, 31), QTime())},
                                           {"002", Null(), Null(), Null()}}));
    EXPECT_EQ(shown(form->approval->cdsSalaoEven, "VrCobrSalao"), "5.000,00");
    EXPECT_EQ(form->approval->cdsSalaoEven->FieldByName("DtValidadeReserva")->AsDateTime(), QDateTime(QDate(2027, 5, 20), QTime()));   // the scheduling date
    form->approval->cdsSalaoEven->Next();
    EXPECT_EQ(shown(form->approval->cdsSalaoEven, "VrCobrSalao"), "0,00");
    EXPECT_EQ(form->approval->cdsSalaoEven->FieldByName("DtValidadeReserva")->AsDate(), QDate(1899, 12, 30));   // the date value 0

    form->approval->cdsOpcao->SetData(PacketVar({{"NROPCAITOREV", TFieldType::String, 2}, {"VRTOTALOPCAO", TFieldType::Float, 0}}, {{"01", 4360.0}}));
    EXPECT_EQ(shown(form->approval->cdsOpcao, "ValorCalc"), "4.360,00");
    EXPECT_EQ(form->approval->cdsOpcao->FieldByName("ValorCalc")->DisplayLabel(), "Valor");
}

TEST_F(Approval, PaymentModeHandOverAfterAPost)
{
    const QVariantList sent{"02", "0001", "123", "F12345678909", "J11222333000181", "C"};
    auto loadQuote = [this] {
        form->quote->cdsOrcaEvento->SetData(PacketVar({{"CDMODPGTO", TFieldType::String, 5}, {"CDFILIAL", TFieldType::String, 4}, {"NRORCAEVENTO", TFieldType::String, 10},
                                                {"CDCLICONTORC", TFieldType::String, 21}, {"CDCLIENTE", TFieldType::String, 21},
                                                {"IDSITCLIOREV", TFieldType::String, 1}, {"NRSEQORCAEVE", TFieldType::String, 2}},
                                               {{"01", "0001", "123", "F12345678909", "J11222333000181", "C", "01"}}));
        form->closing->cdsOrcaEventoFech->SetData(PacketVar({{"CDFORMPGTO", TFieldType::String, 5}}, {{"1"}}));
        form->execution->cdsOrcaEventoExec->SetData(PacketVar({{"NRORCAEVENTO", TFieldType::String, 10}}, {{"123"}}));
    };
    auto change = [this] {
        form->quote->cdsOrcaEvento->Edit();
        form->quote->cdsOrcaEvento->FieldByName("CDMODPGTO")->SetAsString("02");
        form->quote->cdsOrcaEvento->Post();
    };
    auto post = [](TClientDataSet* ds) {
        ds->Edit();
        ds->Post();
    };
    server.Answer("ORE00400.rdmAprovaOrca.SetModPgto", true);

    // A pending quote: two posts in a row send once, and the change counts as saved.
    loadQuote();
    change();
    post(form->quote->cdsOrcaEvento);
    ASSERT_EQ(server.CallsTo("ORE00400.rdmAprovaOrca.SetModPgto").size(), 1);
    EXPECT_EQ(server.Calls().last().args, sent);
    EXPECT_EQ(form->quote->cdsOrcaEvento->ChangeCount(), 0);
    EXPECT_FALSE(host->WaitShown());

    // Nothing unsaved in the quote: a post of the closing or execution record sends nothing...
    server.ClearCalls();
    post(form->closing->cdsOrcaEventoFech);
    post(form->execution->cdsOrcaEventoExec);
    EXPECT_TRUE(server.Calls().isEmpty());
    // ...but with the quote changed (posted while not pending, so kept unsent), they send the
    // quote's fields.
    loadQuote();
    inStatusOrca = 2;
    change();
    inStatusOrca = 1;
    EXPECT_TRUE(server.Calls().isEmpty());
    post(form->closing->cdsOrcaEventoFech);
    ASSERT_EQ(server.CallsTo("ORE00400.rdmAprovaOrca.SetModPgto").size(), 1);
    EXPECT_EQ(server.Calls().last().args, sent);

    // Past the pending situation nothing is sent.
    for (int situation : {2, 3, 5}) {
        inStatusOrca = situation;
        server.ClearCalls();
        loadQuote();
        change();
        post(form->closing->cdsOrcaEventoFech);
        post(form->execution->cdsOrcaEventoExec);
        EXPECT_TRUE(server.Calls().isEmpty()) << situation;
    }

    // A failing hand-over leaves the post with its changes unmerged, the animation hidden.
    inStatusOrca = 1;
    loadQuote();
    server.AnswerFail("ORE00400.rdmAprovaOrca.SetModPgto", "Forma de pagamento inexistente.");
    EXPECT_FALSE(Finishes(change));
    EXPECT_EQ(LastMessage(), "Forma de pagamento inexistente.");
    EXPECT_GT(form->quote->cdsOrcaEvento->ChangeCount(), 0);
    EXPECT_EQ(form->quote->cdsOrcaEvento->FieldByName("CDMODPGTO")->AsString(), "02");
    EXPECT_FALSE(host->WaitShown());
}

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
        EXPECT_EQ(Finishes([this] { form->ValidaSalao(); }), c.passes);
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

// An item of the quote: quantity, unit price, addition, discount (null when absent).
struct Item {
    double quantity, price, addition;
    QVariant discount;
};

TEST_F(Approval, DiscountCeiling)
{
    struct Case {
        const char* name;
        QList<Item> items;
        double quoteDiscount;
        const char* job;            // IDCARGOVEND of the operator
        const char* salesperson;    // CDVENDEDOR of the operator's salesperson record
        const char* supervisor;     // the supervisor's operator code
        const char* steps;
        bool passes;
        QStringList methods;        // of the approval's server object, in order
        QStringList messages;
    };
    const QStringList noAuthorisation{"GetVerifCargoOper"};
    const QStringList manager{"GetVerifCargoOper", "GetOperadorAprov"};
    const QStringList salesperson{"GetVerifCargoOper", "GetOperadorAprov", "GetSupervisor"};
    const QString refused = "Gerente/supervisor não aprovou o desconto dado pelo vendedor. Operação bloqueada. ";
    const QString mustBeAuthorised = "O percentual de desconto está acima do permitido e precisa ser autorizado pelo gerente/supervisor.";
    const QString askManager = "O percentual de desconto dado pelo vendedor está acima do permitido. Deseja continuar a aprovação?";
    const QList<Item> thousand{{10, 100, 0, Null()}};
    const Case cases[] = {
        {"equal to the ceiling", thousand, 100.00, "V", "", "", "[]", true, noAuthorisation, {}},
        {"0.01 above, a manager says Yes", thousand, 100.01, "G", "", "", R"([{"answer":"yes"}])", true, manager, {askManager}},
        {"0.01 above, a manager says No", thousand, 100.01, "G", "", "", R"([{"answer":"no"}])", false, manager, {askManager, refused}},
        {"an item above on its own", {{10, 100, 0, 50}, {1, 100, 0, 60}}, 0, "G", "", "", R"([{"answer":"yes"}])", true, manager, {askManager}},
        {"null and zero item discounts, additions counted", {{10, 90, 100, Null()}, {1, 5, 0, 0}}, 100.5, "V", "", "", "[]", true, noAuthorisation, {}},
        {"a line of 0 or less is not measured", {{1, 0, 0, 5}, {1, -10, 0, 5}, {10, 101, 0, Null()}}, 100, "V", "", "", "[]", true,
         noAuthorisation, {}},
        {"a zero gross total is taken as 1", {{1, 0, 0, Null()}}, 0.11, "G", "", "", R"([{"answer":"yes"}])", true, manager, {askManager}},
        {"a zero gross total, no discount", {{1, 0, 0, Null()}}, 0, "V", "", "", "[]", true, noAuthorisation, {}},
        {"a negative gross total is taken as positive", {{-10, 100, 0, Null()}}, 200, "G", "", "", R"([{"answer":"yes"}])", true, manager,
         {askManager}},
        {"a salesperson, the supervisor's password", thousand, 200, "V", "0007", "SUP1", R"([{"password":"certa"}])", true, salesperson,
         {mustBeAuthorised}},
        {"a salesperson, a wrong password", thousand, 200, "V", "0007", "SUP1", R"([{"password":"errada"}])", false, salesperson,
         {mustBeAuthorised, refused}},
        {"no job code, no salesperson record, a supervisor", thousand, 200, "", "", "SUP1", R"([{"password":"certa"}])", true, salesperson,
         {mustBeAuthorised}},
        {"no supervisor", thousand, 200, "V", "", "", "[]", false, salesperson,
         {mustBeAuthorised, "Não há gerente/supervisor cadastrado para o vendedor."}},
    };
    server.AnswerWith("CRV.rdmHost.ConfSenha", [](const FakeCall& c) { return TRpcReply::Value(c.args.value(1) == QVariant("certa")); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QList<QVariantList> rows;
        for (const Item& i : c.items)
            rows << QVariantList{i.quantity, i.price, i.addition, i.discount};
        form->approval->cdsItemOrcaEven->SetData(PacketVar({{"QTITEMORCEVE", TFieldType::Float, 0},
                                                  {"VRITEMORCEVE", TFieldType::Float, 0},
                                                  {"VRACREITOREV", TFieldType::Float, 0},
                                                  {"VRDESCITOREV", TFieldType::Float, 0}},
                                                 rows));
        form->quote->cdsOrcaEvento->SetData(PacketVar({{"VRDESCORCEVE", TFieldType::Float, 0}, {"VRPEMAXDESVE", TFieldType::Float, 0}, {"CDVENDEDOR", TFieldType::String, 4}},
                                               {{c.quoteDiscount, 10.0, "0003"}}));
        form->approval->cdsParamOrca->SetData(PacketVar({{"IDTPTRATDESCORE", TFieldType::String, 1}}, {{"A"}}));
        server.Answer("ORE00400.rdmAprovaOrca.GetVerifCargoOper", PacketVar({{"IDCARGOVEND", TFieldType::String, 1}}, {{c.job}}));
        server.Answer("ORE00400.rdmAprovaOrca.GetOperadorAprov", PacketVar({{"CDVENDEDOR", TFieldType::String, 4}}, {{c.salesperson}}));
        server.Answer("ORE00400.rdmAprovaOrca.GetSupervisor", PacketVar({{"CDVENDEDOR", TFieldType::String, 4}, {"CDOPERADOR", TFieldType::String, 12}},
                                                                        {{"0009", c.supervisor}}));
        server.ClearCalls();
        const qsizetype shownBefore = Lines("message").size();
        Steps(c.steps);

        EXPECT_EQ(Finishes([this] { form->Vd_DescMax(); }), c.passes);
        QStringList methods;
        for (const FakeCall& call : server.Calls()) {
            if (call.object == "ORE00400.rdmAprovaOrca") {
                methods << call.method;
                EXPECT_EQ(call.args, QVariantList{call.method == "GetSupervisor" ? "0003" : "OPER1"}) << call.method.toStdString();
            }
        }
        EXPECT_EQ(methods, c.methods);
        QStringList messages;
        for (const QJsonObject& m : Lines("message").mid(shownBefore))
            messages << m.value("text").toString();
        EXPECT_EQ(messages, c.messages);
        EXPECT_EQ(host->RemainingSteps(), 0);
        if (QString::fromUtf8(c.steps).contains("password")) {
            EXPECT_EQ(Lines("password").last().value("operator").toString(), "SUP1");
        }
    }
}

} // namespace
