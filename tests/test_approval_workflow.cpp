// The approval workflow from start to end: the calls it makes, the questions and lists, the
// screens it loads, the messages, and the state it leaves behind.
#include "ProcessingTest.h"
#include "ServerFixture.h"

#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "EventGuard.h"
#include "TfrmProcOrca.h"
#include "Variants.h"

#include <QDate>

#include <functional>
#include <vector>

using namespace Cli_ore06400;

namespace {

const QList<TPacketField> kKey{{"CDFILIAL", TFieldType::String, 4}, {"NRORCAEVENTO", TFieldType::String, 10}, {"NRSEQORCAEVE", TFieldType::String, 2}};

QList<TPacketField> WithKey(const QList<TPacketField>& fields) { return kKey + fields; }

// The quote as GetOrcaEvento answers it.
struct Quote {
    QString clientState = "C", client = "J11222333000181", addressSource = "T";
    double discount = 0;
};

QVariant QuotePacket(const Quote& q)
{
    return PacketVar(WithKey({{"DTEVENTO", TFieldType::DateTime, 0}, {"VRDESCORCEVE", TFieldType::Float, 0}, {"VRPEMAXDESVE", TFieldType::Float, 0},
                              {"IDSITCLIOREV", TFieldType::String, 1}, {"CDMODPGTO", TFieldType::String, 5}, {"CDCLIENTE", TFieldType::String, 21},
                              {"DSENDENTOREV", TFieldType::String, 50}, {"CDPAIS", TFieldType::String, 4}, {"SGESTADO", TFieldType::String, 2},
                              {"CDMUNICIPIO", TFieldType::String, 4}, {"CDBAIRRO", TFieldType::String, 10}, {"DSREFENDOREV", TFieldType::String, 50},
                              {"IDENDENTOREV", TFieldType::String, 1}, {"CDVENDEDOR", TFieldType::String, 4}}),
                     {{"0001", "123", "01", QDateTime(QDate(2027, 3, 10), QTime(20, 0)), q.discount, 10.0, q.clientState, "01", q.client,
                       "Av. Boa Viagem, 1000", "1058", "PE", "2611", "0000000001", "Em frente ao parque", q.addressSource, "V01"}});
}

// An item: its product (empty when not registered), its option, and its value.
struct Item {
    QString product, option = "01";
    double quantity = 10, price = 100;
};

QVariant General(const QList<Item>& items, bool labour = true)
{
    QList<QVariantList> rows;
    for (const Item& i : items)
        rows << QVariantList{i.product, i.option, i.quantity, i.price, 0.0, Null()};
    const QVariant none = PacketVar(kKey, {});
    return VarArrayOf({PacketVar({{"CDPRODUTO", TFieldType::String, 10}, {"NROPCAITOREV", TFieldType::String, 2}, {"QTITEMORCEVE", TFieldType::Float, 0},
                                  {"VRITEMORCEVE", TFieldType::Float, 0}, {"VRACREITOREV", TFieldType::Float, 0}, {"VRDESCITOREV", TFieldType::Float, 0}},
                                 rows),
                       none, none, PacketVar({{"VRTOTALORCA", TFieldType::Float, 0}}, {{1000.0}}),
                       PacketVar({{"NRTURNO", TFieldType::String, 2}}, labour ? QList<QVariantList>{{"01"}} : QList<QVariantList>{}), none, none,
                       PacketVar({{"IDTPINJUORCA", TFieldType::String, 1}, {"NRINSJURORCA", TFieldType::String, 20}}, {{"J", "99888777000166"}})});
}

// The quote's halls ("R" reserved, "A" scheduled), numbered 001, 002, ...
QVariant Halls(const QStringList& situations)
{
    QList<QVariantList> rows;
    for (const QString& s : situations)
        rows << QVariantList{"0001", "123", "01", QStringLiteral("%1").arg(rows.size() + 1, 3, 10, QLatin1Char('0')), s};
    return PacketVar(WithKey({{"CDSALAOEVEN", TFieldType::String, 3}, {"IDSITAGENSAL", TFieldType::String, 1}}), rows);
}

QVariant Options(int count)
{
    QList<QVariantList> rows;
    for (int i = 1; i <= count; ++i)
        rows << QVariantList{"0001", "123", "01", QStringLiteral("%1").arg(i, 2, 10, QLatin1Char('0')), 1000.0 * i};
    return PacketVar(WithKey({{"NROPCAITOREV", TFieldType::String, 2}, {"VRTOTALOPCAO", TFieldType::Float, 0}}), rows);
}

// The branch's parameters: parent check, proposals in use, discount treatment, commercial approval.
struct Parameters {
    QString parentFirst = "N", proposals = "S", treatment = "A", commercial = "S";
};

QVariant Ceilings(const Parameters& p)
{
    return VarArrayOf({PacketVar(WithKey({{"VRPEMAXDESVE", TFieldType::Float, 0}}), {{"0001", "123", "01", 10.0}}),
                       PacketVar({{"IDAPROVORCFILANTPAI", TFieldType::String, 1}, {"IDUTLPROPOSTAPGTO", TFieldType::String, 1},
                                  {"IDTPTRATDESCORE", TFieldType::String, 1}, {"IDUTAPROVCOMORE", TFieldType::String, 1}},
                                 {{p.parentFirst, p.proposals, p.treatment, p.commercial}})});
}

QVariant Proposals(const QStringList& numbers)
{
    QList<QVariantList> rows;
    for (const QString& n : numbers)
        rows << QVariantList{n, 3.0};
    return PacketVar({{"NRPROPOSTAPGTO", TFieldType::String, 10}, {"QTPARCELASORCA", TFieldType::Float, 0}}, rows);
}

QVariant Job(const char* code) { return PacketVar({{"IDCARGOVEND", TFieldType::String, 1}}, {{code}}); }

const char* const kAprova = "ORE00400.rdmAprovaOrca.";
const char* const kProc = "ORE06400.rdmProcOrca.";

class ApprovalWorkflow : public ProcessingTest {
protected:
    void SetUp() override
    {
        ProcessingTest::SetUp();
        Prepare({});
        boAprovSuperior = false;
        stopAtPreCheck = false;
        preCheck.clear();
        registration.clear();
        proposalScreen.clear();
        AnswerAprova("GetGeral", General({{"P001"}, {"M003"}}));
        AnswerAprova("GetSalao", Halls({"R"}));
        AnswerProc("GetOrcaEvento", QuotePacket({}));
        AnswerProc("GetPercDescVend", Ceilings({}));
        AnswerAprova("GetVerifOrcaPend", PacketVar({{"NRORCAEVENTO", TFieldType::String, 10}}, {}));
        AnswerAprova("GetVerifCargoOper", Job("G"));
        AnswerAprova("GetOperadorAprov", PacketVar({{"CDVENDEDOR", TFieldType::String, 4}}, {{"G01"}}));
        AnswerAprova("GetSupervisor", PacketVar({{"CDVENDEDOR", TFieldType::String, 4}, {"CDOPERADOR", TFieldType::String, 12}}, {{"S01", "SUP1"}}));
        AnswerAprova("GetOpcao", Options(1));
        AnswerProc("GetOperCadProd", PacketVar({{"IDCADPRPROCEORE", TFieldType::String, 1}}, {{"S"}}));
        AnswerAprova("GetVerifSalao", "OK");
        AnswerAprova("GetContrato", PacketVar(kKey, {}));
        AnswerAprova("GetPropostasPgto", Proposals({}));
        AnswerAprova("GetInsOrca", PacketVar({{"CDCLIENTE", TFieldType::String, 21}, {"NRINSJURCLIE", TFieldType::String, 20}},
                                             {{"J99888777000166", "99888777000166"}}));
        AnswerAprova("NrPropostaPgto", "0000000007");
        for (const char* write : {"SetSalao", "SetAprovComercial", "SetAprova"})
            AnswerAprova(write, true);
        AnswerProc("SetVdCustoFixo", true);
        server.AnswerWith("CRV.rdmHost.ConfSenha", [](const FakeCall& c) { return TRpcReply::Value(c.args.value(1) == QVariant("certa")); });
        host->RegisterScreen("ORE00402", [this](const QVariant& p) {
            preCheck = p.toList();
            *VarDeref<bool>(preCheck.value(3)) = stopAtPreCheck;
        });
        host->RegisterScreen("ORE00105", [this](const QVariant& p) { registration = p.toList(); });
        host->RegisterScreen("ORE00406", [this](const QVariant& p) { proposalScreen = p.toList(); });
        Create();
    }
    void AnswerAprova(const char* method, const QVariant& v) { server.Answer(kAprova + QString::fromLatin1(method), v); }
    void AnswerProc(const char* method, const QVariant& v) { server.Answer(kProc + QString::fromLatin1(method), v); }
    bool Approve()
    {
        return Finishes([this] { form->AprovarOrca(); });
    }
    QVariantList ArgsOf(const char* method) const
    {
        for (const FakeCall& c : server.Calls())
            if (c.method == QLatin1String(method))
                return c.args;
        return {};
    }
    QStringList Messages() const
    {
        QStringList texts;
        for (const QJsonObject& m : Lines("message"))
            texts << m.value("text").toString();
        return texts;
    }
    // The calls that write to the server.
    QStringList Writes() const
    {
        QStringList writes;
        for (const QString& m : Methods())
            if (m.startsWith("Set"))
                writes << m;
        return writes;
    }

    bool stopAtPreCheck = false;
    QVariantList preCheck, registration, proposalScreen;
};

TEST_F(ApprovalWorkflow, ApprovesAPendingQuote)
{
    EXPECT_TRUE(Approve());
    EXPECT_EQ(Methods(), (QStringList{"GetOrcaEvento", "GetGeral", "GetSalao", "GetPercDescVend", "GetVerifOrcaPend", "GetPercDescVend",
                                      "GetVerifCargoOper", "GetOpcao", "GetOperCadProd", "GetOrcaEvento", "GetGeral", "GetVerifSalao", "GetContrato",
                                      "GetPropostasPgto", "SetSalao", "GetOperadorAprov", "SetAprovComercial", "SetAprova", "SetVdCustoFixo"}));
    const QVariantList key{"0001", "123", "01"};
    const QStringList byKey{"GetOrcaEvento", "GetGeral", "GetSalao", "GetPercDescVend", "GetOpcao", "GetContrato", "GetPropostasPgto", "SetVdCustoFixo"};
    for (const FakeCall& c : server.Calls()) {
        if (byKey.contains(c.method)) {
            EXPECT_EQ(c.args, key) << c.method.toStdString();
        }
    }
    EXPECT_EQ(ArgsOf("GetVerifOrcaPend"), (QVariantList{"0001", "123", "01", 1}));
    EXPECT_EQ(ArgsOf("GetVerifSalao"), (QVariantList{"0001", "123", "01", ""}));
    EXPECT_EQ(ArgsOf("SetSalao"), (QVariantList{"0001", "123", "01", "J11222333000181"}));
    EXPECT_EQ(preCheck.mid(0, 3), key);

    const QVariantList commercial = ArgsOf("SetAprovComercial");
    ASSERT_EQ(commercial.size(), 5);
    EXPECT_EQ(commercial.mid(0, 3), key);
    EXPECT_EQ(commercial[3].toDate(), QDate::currentDate());
    EXPECT_EQ(commercial[4], QVariant("G01"));
    EXPECT_EQ(ArgsOf("SetAprova"), (QVariantList{"123", "01", "0001", "OPER1", "Av. Boa Viagem, 1000", "1058", "PE", "2611", "0000000001",
                                                 "Em frente ao parque", "T", "J11222333000181", "", ""}));

    EXPECT_EQ(inStatusOrca, 2);
    EXPECT_TRUE(boAprovSuperior);
    EXPECT_FALSE(boProdSemCad);
    EXPECT_TRUE(stOpcoes.isEmpty());
    EXPECT_TRUE(stSaloes.isEmpty());
    EXPECT_TRUE(Messages().isEmpty());
    EXPECT_EQ(Lines("wait").first().value("type").toInt(), 1);
    EXPECT_FALSE(host->WaitShown());
    EXPECT_EQ(host->UnscriptedCount(), 0);
}

// Each way the approval stops before it writes anything: the situation stays, the animation is
// hidden, every scripted step is used.
class ApprovalStops;
struct StopCase {
    const char* name;
    std::function<void(ApprovalStops&)> arrange;
    const char* steps;
    const char* message;    // "" for a silent stop
    const char* lastCall;
};

class ApprovalStops : public ApprovalWorkflow, public ::testing::WithParamInterface<StopCase> {
public:
    static std::vector<StopCase> Cases();
};

std::vector<StopCase> ApprovalStops::Cases()
{
    return {
        {"stopped by the pre-check screen", [](ApprovalStops& t) { t.stopAtPreCheck = true; }, "[]", "", "GetOrcaEvento"},
        {"parent not approved",
         [](ApprovalStops& t) { t.AnswerAprova("GetVerifOrcaPend", PacketVar({{"NRORCAEVENTO", TFieldType::String, 10}}, {{"122"}})); }, "[]",
         "Orçamento filho não pode ser aprovado primeiro que o orçamento original. Operação Bloqueada.", "GetVerifOrcaPend"},
        {"no items", [](ApprovalStops& t) { t.AnswerAprova("GetGeral", General({})); }, "[]", "Orçamento não pode ser aprovado sem item.",
         "GetVerifOrcaPend"},
        {"no labour, No", [](ApprovalStops& t) { t.AnswerAprova("GetGeral", General({{"P001"}}, false)); }, R"([{"answer":"no"}])",
         "Orçamento não possui mão de obra. Deseja aprovar mesmo assim?", "GetVerifCargoOper"},
        {"no option ticked", [](ApprovalStops& t) { t.AnswerAprova("GetOpcao", Options(2)); }, R"([{"tick":[]}])", "", "GetOpcao"},
        {"No to dropping the other options", [](ApprovalStops& t) { t.AnswerAprova("GetOpcao", Options(2)); },
         R"([{"tick":["02"]},{"answer":"no"}])", "As outras opções serão exluídas. Deseja continuar?", "GetOpcao"},
        {"no hall ticked", [](ApprovalStops& t) { t.AnswerAprova("GetSalao", Halls({"R", "R"})); }, R"([{"tick":[]}])", "", "GetOpcao"},
        {"No to dropping the other halls", [](ApprovalStops& t) { t.AnswerAprova("GetSalao", Halls({"R", "R"})); },
         R"([{"tick":["001"]},{"answer":"no"}])", "Os outros salões serão excluídos. Deseja continuar?", "GetOpcao"},
        {"a hall already booked", [](ApprovalStops& t) { t.AnswerAprova("GetVerifSalao", "DTA_HRA_MARC|Salão Nobre"); }, "[]",
         "O salão Salão Nobre já possui evento(s) marcado(s) para a data e hora selecionada no orçamento. Operação Bloqueada.", "GetVerifSalao"},
        {"a refused call", [](ApprovalStops& t) { t.server.AnswerFail(QString(kAprova) + "GetSalao", "Orçamento em uso por outro operador."); }, "[]",
         "Orçamento em uso por outro operador.", "GetSalao"},
    };
}

INSTANTIATE_TEST_SUITE_P(Cases, ApprovalStops, ::testing::ValuesIn(ApprovalStops::Cases()), CaseName());

TEST_P(ApprovalStops, BeforeWritingAnything)
{
    const StopCase& c = GetParam();
    c.arrange(*this);
    Steps(c.steps);
    EXPECT_FALSE(Approve());
    EXPECT_EQ(LastMessage(), QString::fromUtf8(c.message));
    EXPECT_EQ(Methods().last(), c.lastCall);
    EXPECT_TRUE(Writes().isEmpty());
    EXPECT_EQ(inStatusOrca, 1);
    EXPECT_FALSE(host->WaitShown());
    EXPECT_EQ(host->RemainingSteps(), 0);
}

TEST_F(ApprovalWorkflow, AnApprovedQuoteIsOnlyLoadedAndChecked)
{
    inStatusOrca = 2;
    EXPECT_TRUE(Approve());
    EXPECT_EQ(Methods(), (QStringList{"GetOrcaEvento", "GetGeral", "GetSalao", "GetPercDescVend", "GetVerifOrcaPend"}));
    EXPECT_EQ(preCheck.size(), 4);
    EXPECT_EQ(Messages(), QStringList{"Orçamento já foi aprovado."});
    EXPECT_EQ(Lines("message").last().value("type").toString(), "information");
    EXPECT_FALSE(host->WaitShown());

    // Without the parent check in the branch's parameters, no parent is looked for.
    server.ClearCalls();
    AnswerProc("GetPercDescVend", Ceilings({.parentFirst = "S"}));
    EXPECT_TRUE(Approve());
    EXPECT_EQ(Methods().last(), "GetPercDescVend");
}

TEST_F(ApprovalWorkflow, AnItemWithoutProductInAnyOptionIsNoted)
{
    // The labour question stops the run once the items have been walked.
    AnswerAprova("GetGeral", General({{"P001", "01"}, {"", "02"}, {"P002", "01"}}, false));
    Script(R"({"steps":[{"answer":"no"}]})");
    EXPECT_FALSE(Approve());
    EXPECT_TRUE(boProdSemCad);

    AnswerAprova("GetGeral", General({{"P001", "01"}, {"P002", "02"}}, false));
    Script(R"({"steps":[{"answer":"no"}]})");
    EXPECT_FALSE(Approve());
    EXPECT_FALSE(boProdSemCad);
}

TEST_F(ApprovalWorkflow, AboveTheDiscountCeilingAManagerMayDecline)
{
    // Above the ceiling, a manager declines: the approval ends there.
    AnswerProc("GetOrcaEvento", QuotePacket({.discount = 500}));
    Script(R"({"steps":[{"answer":"no"}]})");
    EXPECT_FALSE(Approve());
    EXPECT_EQ(LastMessage(), "Gerente/supervisor não aprovou o desconto dado pelo vendedor. Operação bloqueada. ");
    EXPECT_EQ(Methods().last(), "GetOperadorAprov");
    EXPECT_FALSE(host->WaitShown());
}

TEST_F(ApprovalWorkflow, TheDiscountCeilingRunsUnderTreatmentAOnly)
{
    // Another treatment: no ceiling; the job record is loaded for the commercial approval.
    AnswerProc("GetPercDescVend", Ceilings({.treatment = "B"}));
    EXPECT_TRUE(Approve());
    EXPECT_EQ(Methods().mid(Methods().indexOf("SetSalao")), (QStringList{"SetSalao", "GetOperadorAprov", "GetVerifCargoOper", "SetAprovComercial",
                                                                         "SetAprova", "SetVdCustoFixo"}));
    EXPECT_EQ(server.CallsTo(QString(kAprova) + "GetVerifCargoOper").size(), 1);
}

TEST_F(ApprovalWorkflow, ANewClientIsRegisteredFirst)
{
    AnswerProc("GetOrcaEvento", QuotePacket({.clientState = "N", .client = ""}));
    // The registration screen registers the client; the server then reads it back registered.
    host->RegisterScreen("ORE00105", [this](const QVariant& p) {
        registration = p.toList();
        AnswerProc("GetOrcaEvento", QuotePacket({.client = "J99888777000166"}));
    });
    EXPECT_TRUE(Approve());
    ASSERT_EQ(registration.size(), 7);
    EXPECT_EQ(registration.mid(0, 5), (QVariantList{"", "0001", "123", "01", true}));
    EXPECT_EQ(VarDeref<TDataSource>(registration[5]), form->quote->dtsEndeNovoClie);
    EXPECT_EQ(VarDeref<TDataSource>(registration[6]), form->quote->dtsInteclieOrev);
    const QStringList methods = Methods();
    EXPECT_EQ(methods.mid(methods.indexOf("GetOpcao") + 1, 3), (QStringList{"GetOrcaEvento", "GetInsOrca", "GetOperCadProd"}));
    EXPECT_EQ(ArgsOf("GetInsOrca"), (QVariantList{"0001", "123", "01"}));
    EXPECT_EQ(ArgsOf("SetAprova").value(11), QVariant("J99888777000166"));
    EXPECT_EQ(ArgsOf("SetSalao").value(3), QVariant("J99888777000166"));

    // A registration the server does not know stops the approval.
    AnswerProc("GetOrcaEvento", QuotePacket({.clientState = "N", .client = ""}));
    host->RegisterScreen("ORE00105", [](const QVariant&) {});
    AnswerAprova("GetInsOrca", PacketVar({{"CDCLIENTE", TFieldType::String, 21}, {"NRINSJURCLIE", TFieldType::String, 20}}, {}));
    server.ClearCalls();
    inStatusOrca = 1;
    EXPECT_FALSE(Approve());
    EXPECT_EQ(LastMessage(), "Inscrição do cliente deve ser informada para aprovar o orçamento. Operação bloqueada.");
    EXPECT_EQ(Methods().last(), "GetInsOrca");
    EXPECT_TRUE(Writes().isEmpty());
    EXPECT_FALSE(host->WaitShown());
}

// The halls kept by the operator, with the quote's address at a hall or elsewhere.
struct KeptHallsCase {
    const char* name;
    QString addressSource;
    int hallsLeft;
    bool dialogOpens;
};

class ApprovalKeptHalls : public ApprovalWorkflow, public ::testing::WithParamInterface<KeptHallsCase> {};

INSTANTIATE_TEST_SUITE_P(Cases, ApprovalKeptHalls,
                         ::testing::Values(KeptHallsCase{"a hall's address, a hall dropped", "P", 1, true},
                                           KeptHallsCase{"a hall's address, none dropped", "P", 2, false},
                                           KeptHallsCase{"another address, a hall dropped", "T", 1, false}),
                         CaseName());

TEST_P(ApprovalKeptHalls, GoToTheServer)
{
    const KeptHallsCase& c = GetParam();
    const QString confirmAddress =
        "A quantidade de salões do lançamento difere da quantidade atual. Portanto, é necessário que o endereço de entrega seja confirmado, pois "
        "devido a exclusão de algum salão, o atual endereço de entrega pode corresponder a algum salão que não faz parte do orçamento.";
    AnswerProc("GetPercDescVend", Ceilings({.proposals = "N"}));
    AnswerProc("GetOrcaEvento", QuotePacket({.addressSource = c.addressSource}));
    AnswerProc("GetEndContOrca", PacketVar(WithKey({{"IDSITUORCEVE", TFieldType::String, 1}, {"IDENDENTOREV", TFieldType::String, 1}}),
                                           {{"0001", "123", "01", "1", "P"}}));
    AnswerAprova("GetSalao", Halls({"R", "R"}));
    AnswerAprova("SetEscolhaSalao", Halls(QStringList(c.hallsLeft, "R")));
    Script(c.dialogOpens ? R"({"steps":[{"tick":["002"]},{"answer":"yes"},{"form":"TfrmInfoOrca","actions":[{"close":true}]}]})"
                         : R"({"steps":[{"tick":["002"]},{"answer":"yes"}]})");
    EXPECT_TRUE(Approve());
    EXPECT_EQ(stSaloes, "'002'");
    const QVariantList choice = ArgsOf("SetEscolhaSalao");
    ASSERT_EQ(choice.size(), 2);
    EXPECT_EQ(choice[0].value<TDataPacket>().rowCount(), 2);   // the whole list goes
    EXPECT_EQ(choice[1], QVariant("'002'"));
    EXPECT_EQ(ArgsOf("GetVerifSalao").value(3), QVariant("'002'"));
    const QStringList methods = Methods();
    const QStringList afterChoice = methods.mid(methods.indexOf("SetEscolhaSalao") + 1, 2);
    EXPECT_EQ(Messages().contains(confirmAddress), c.dialogOpens);
    qsizetype infoShown = 0;
    for (const QJsonObject& f : Lines("form"))
        infoShown += f.value("form").toString() == "TfrmInfoOrca" && f.value("event").toString() == "shown";
    EXPECT_EQ(infoShown, c.dialogOpens ? 1 : 0);
    EXPECT_EQ(afterChoice.first(), c.dialogOpens ? "GetEndContOrca" : "SetSalao");
    if (c.dialogOpens) {
        EXPECT_EQ(methods.mid(methods.indexOf("GetEndContOrca") + 1, 1), QStringList{"GetOrcaEvento"});
    }
    EXPECT_EQ(inStatusOrca, 2);
    EXPECT_FALSE(host->WaitShown());
    EXPECT_EQ(host->RemainingSteps(), 0);
}

// The payment proposal sent with the approval, by the halls and options the operator keeps.
struct ProposalCase {
    const char* name;
    int halls, hallsLeft, options, optionsLeft;
    const char* steps;
    const char* proposal;
    int proposalLists;
    bool newProposalScreen;
};

class ApprovalProposal : public ApprovalWorkflow, public ::testing::WithParamInterface<ProposalCase> {};

INSTANTIATE_TEST_SUITE_P(
    Cases, ApprovalProposal,
    ::testing::Values(
        ProposalCase{"one option, one hall: chosen once", 1, 1, 1, 1, R"([{"answer":"yes"},{"tick":["0000000001"]}])", "'0000000001'", 1, false},
        ProposalCase{"one hall kept, one option: the second choice is sent", 2, 1, 1, 1,
                     R"([{"tick":["001"]},{"answer":"yes"},{"answer":"yes"},{"tick":["0000000001"]},{"answer":"yes"},{"tick":["0000000002"]}])",
                     "'0000000002'", 2, false},
        ProposalCase{"two options kept, a new proposal made", 1, 1, 3, 2, R"([{"tick":["01","02"]},{"answer":"yes"},{"answer":"yes"}])", "0000000007", 0,
                     true},
        ProposalCase{"two options kept, the new proposal declined", 1, 1, 3, 2, R"([{"tick":["01","02"]},{"answer":"yes"},{"answer":"no"}])", "", 0,
                     false},
        ProposalCase{"one hall kept then two options: the new proposal replaces the choice", 2, 1, 3, 2,
                     R"([{"tick":["01","02"]},{"answer":"yes"},{"tick":["001"]},{"answer":"yes"},{"answer":"yes"},{"tick":["0000000001"]},{"answer":"yes"}])",
                     "0000000007", 1, true}),
    CaseName());

TEST_P(ApprovalProposal, IsSentWithTheApproval)
{
    const ProposalCase& c = GetParam();
    const QString generate = "Mais de um opção foi selecionada. Uma nova proposta deve ser gerada. Deseja gerar uma nova proposta de pagamento?";
    AnswerAprova("GetPropostasPgto", Proposals({"0000000001", "0000000002"}));
    AnswerAprova("GetSalao", Halls(QStringList(c.halls, "A")));
    AnswerAprova("SetEscolhaSalao", Halls(QStringList(c.hallsLeft, "A")));
    AnswerAprova("GetOpcao", Options(c.options));
    AnswerAprova("SetOpcao", Options(c.optionsLeft));
    Steps(c.steps);
    EXPECT_TRUE(Approve());
    EXPECT_EQ(ArgsOf("SetAprova").value(12), QVariant(QString::fromUtf8(c.proposal)));
    qsizetype proposalLists = 0;
    for (const QJsonObject& l : Lines("list"))
        proposalLists += l.value("title").toString() == "Proposta de Pagamento";
    EXPECT_EQ(proposalLists, c.proposalLists);
    EXPECT_EQ(Messages().contains(generate), c.options > 1);
    EXPECT_EQ(!proposalScreen.isEmpty(), c.newProposalScreen);
    if (c.newProposalScreen) {
        EXPECT_EQ(proposalScreen.mid(0, 3), (QVariantList{"0001", "123", "01"}));
        EXPECT_TRUE(proposalScreen.value(3).toString().startsWith("10/03/2027")) << proposalScreen.value(3).toString().toStdString();
        EXPECT_EQ(ArgsOf("NrPropostaPgto"), (QVariantList{"0001", "123", "01"}));
    }
    if (c.options > 1) {
        EXPECT_EQ(ArgsOf("SetOpcao"), (QVariantList{"0001", "123", "01", "'01','02'", 10.0, "A"}));
        EXPECT_EQ(server.CallsTo(QString(kProc) + "GetPercDescVend").size(), 3);
    }
    EXPECT_EQ(host->RemainingSteps(), 0);
}

TEST_F(ApprovalWorkflow, ARefusedNumberOfTheNewProposalEndsTheApproval)
{
    AnswerAprova("GetPropostasPgto", Proposals({"0000000001"}));
    AnswerAprova("GetOpcao", Options(2));
    AnswerAprova("SetOpcao", Options(2));
    server.AnswerFail(QString(kAprova) + "NrPropostaPgto", "Proposta não encontrada.");
    Script(R"({"steps":[{"tick":["01","02"]},{"answer":"yes"},{"answer":"yes"}]})");
    EXPECT_FALSE(Approve());
    EXPECT_EQ(LastMessage(), "Proposta não encontrada.");
    EXPECT_TRUE(server.CallsTo(QString(kAprova) + "SetAprova").isEmpty());
    EXPECT_EQ(inStatusOrca, 1);
    EXPECT_FALSE(host->WaitShown());
}

TEST_F(ApprovalWorkflow, ARefusedApprovalLeavesTheSituationAsItWas)
{
    server.AnswerFail(QString(kAprova) + "SetAprova", "Orçamento 123/01 não está pendente. Operação bloqueada.");
    EXPECT_FALSE(Approve());
    EXPECT_EQ(LastMessage(), "Orçamento 123/01 não está pendente. Operação bloqueada.");
    EXPECT_EQ(Methods().last(), "SetAprova");
    EXPECT_EQ(inStatusOrca, 1);
    EXPECT_FALSE(host->WaitShown());
}

// The commercial approval, by the operator's job and the branch's parameter.
const char* const kCommercialRequired = "Aprovação comercial precisa ser realizada.";
const char* const kCommercialRefused = "Aprovação comercial não realizada. Operação bloqueada.";

struct CommercialCase {
    const char* name;
    const char* job;
    const char* commercial;
    const char* steps;
    bool approved;
    QStringList calls;   // from SetSalao on
    QStringList messages;
};

class CommercialApproval : public ApprovalWorkflow, public ::testing::WithParamInterface<CommercialCase> {};

INSTANTIATE_TEST_SUITE_P(
    Cases, CommercialApproval,
    ::testing::Values(CommercialCase{"a manager", "G", "S", "[]", true, {"SetSalao", "GetOperadorAprov", "SetAprovComercial", "SetAprova", "SetVdCustoFixo"}, {}},
                      CommercialCase{"a salesperson with the supervisor's password", "V", "S", R"([{"password":"certa"}])", true,
                                     {"SetSalao", "GetOperadorAprov", "GetSupervisor", "ConfSenha", "SetAprovComercial", "SetAprova", "SetVdCustoFixo"},
                                     {kCommercialRequired}},
                      CommercialCase{"a salesperson, a wrong password", "V", "S", R"([{"password":"errada"}])", false,
                                     {"SetSalao", "GetOperadorAprov", "GetSupervisor", "ConfSenha"}, {kCommercialRequired, kCommercialRefused}},
                      CommercialCase{"not required by the branch", "V", "N", "[]", true, {"SetSalao", "SetAprova", "SetVdCustoFixo"}, {}}),
    CaseName());

TEST_P(CommercialApproval, DecidesTheApproval)
{
    const CommercialCase& c = GetParam();
    AnswerAprova("GetVerifCargoOper", Job(c.job));
    AnswerProc("GetPercDescVend", Ceilings({.commercial = c.commercial}));
    Steps(c.steps);
    EXPECT_EQ(Approve(), c.approved);
    const QStringList methods = Methods();
    EXPECT_EQ(methods.mid(methods.indexOf("SetSalao")), c.calls);
    EXPECT_EQ(Messages(), c.messages);
    if (c.calls.contains("GetSupervisor")) {
        EXPECT_EQ(ArgsOf("GetSupervisor"), QVariantList{"V01"});   // the quote's salesperson
        EXPECT_EQ(Lines("password").last().value("operator").toString(), "SUP1");
    }
    EXPECT_EQ(boAprovSuperior, QString(c.commercial) == "S" && c.approved);
    EXPECT_EQ(inStatusOrca, c.approved ? 2 : 1);
    EXPECT_FALSE(host->WaitShown());
}

TEST_F(ApprovalWorkflow, ASupervisorsPasswordHoldsForTheLaunchOnly)
{
    AnswerAprova("GetVerifCargoOper", Job("V"));
    Script(R"({"steps":[{"password":"certa"}]})");
    EXPECT_TRUE(Approve());
    ASSERT_EQ(Lines("password").size(), 1);

    // Again in the same launch: no question.
    inStatusOrca = 1;
    EXPECT_TRUE(Approve());
    EXPECT_EQ(Lines("password").size(), 1);
    EXPECT_EQ(server.CallsTo(QString(kAprova) + "SetAprovComercial").size(), 2);

    // The next launch asks again.
    Cli_ore06400::frmProcOrca = nullptr;
    Script(R"({"steps":[{"form":"TfrmProcOrca","actions":[{"click":"sbtConfirma"}]},{"password":"certa"}]})");
    CriaProcessaOrca(1, "0001", "123", "01", "OPER1", "ORE00400");
    EXPECT_EQ(Lines("password").size(), 2);
    EXPECT_EQ(LastMessage(), "Processamento realizado com sucesso.");
    EXPECT_EQ(host->RemainingSteps(), 0);
}

// Against the real server: "Aprovar" on the demo's pending quotes, with the real screens.
class ApprovalEndToEnd : public ScriptedServerFixture {
protected:
    void SetUp() override
    {
        ScriptedServerFixture::SetUp();
        Initialization();
    }
    // Launches the dialog for a pending quote of branch 0001 as OPER1, the operator played by `steps`.
    void Launch(const char* quote, const QByteArray& steps)
    {
        host->SetSteps(ScriptedHostServices::ParseScript("{\"steps\":" + steps + '}').value("steps").toArray());
        CriaProcessaOrca(1, "0001", quote, "01", "OPER1", "ORE00400");
        EXPECT_EQ(host->UnscriptedCount(), 0);
        EXPECT_EQ(host->RemainingSteps(), 0);
        EXPECT_FALSE(host->WaitShown());
    }
    QStringList Messages() const
    {
        QStringList texts;
        for (const QJsonObject& m : host->Lines("message"))
            texts << m.value("text").toString();
        return texts;
    }
    QString Situation(const char* quote)
    {
        return Sql("SELECT IDSITUORCEVE FROM ORCAEVENTO WHERE CDFILIAL = '0001' AND NRORCAEVENTO = ? AND NRSEQORCAEVE = '01'", {quote}).toString();
    }
};
INSTANTIATE_TEST_SUITE_P(Sqlite, ApprovalEndToEnd, ::testing::Values("sqlite"));

// The pre-check screen let through, the supervisor's password for the commercial approval.
const char* const kApprove = R"([{"form":"TfrmProcOrca","actions":[{"check":"rbtAprovar"},{"click":"sbtConfirma"}]},
    {"form":"TfrmORE00402","actions":[{"click":"btnContinuar"}]},{"password":"sup1"}])";

TEST_P(ApprovalEndToEnd, TheCleanQuoteIsApproved)
{
    Launch("0000000101", kApprove);
    EXPECT_EQ(Messages(), (QStringList{"Aprovação comercial precisa ser realizada.", "Processamento realizado com sucesso."}));
    EXPECT_EQ(Situation("0000000101"), "2");
    EXPECT_EQ(Sql("SELECT CDOPERAPROV || '|' || CDVENDAPROVCOM FROM ORCAEVENTO WHERE NRORCAEVENTO = '0000000101' AND NRSEQORCAEVE = '01'").toString(),
              "OPER1|V01");
    EXPECT_EQ(Sql("SELECT COUNT(*) FROM AGENDASALAO WHERE NRORCAEVENTO = '0000000101' AND CDSALAOEVEN = '001'").toInt(), 1);
    EXPECT_GT(Sql("SELECT VRCUSTOFIXO FROM ORCAEVENTO WHERE NRORCAEVENTO = '0000000101' AND NRSEQORCAEVE = '01'").toDouble(), 0);
    EXPECT_EQ(Sql("SELECT IDSITUORCEVE FROM ORCAEVENTO WHERE NRORCAEVENTO = '0000000101' AND NRSEQORCAEVE = '02'").toString(), "1");
}

// The combined actions: the contracting client, paying the whole quote, stated in the closing.
const char* const kContractor = R"({"form":"TfrmORE09000","actions":[{"text":["edtCliente","J11222333000181"]},{"text":["edtConvidados","150"]},
    {"text":["edtValor","4360"]},{"click":"btnGravar"},{"click":"btnFechar"}]})";

TEST_P(ApprovalEndToEnd, ApproveAndCloseTheCleanQuote)
{
    Launch("0000000101", QStringLiteral(R"([{"form":"TfrmProcOrca","actions":[{"check":"rbtAprovFech"},{"click":"sbtConfirma"}]},
        {"form":"TfrmORE00402","actions":[{"click":"btnContinuar"}]},{"password":"sup1"},%1])").arg(kContractor).toUtf8());
    EXPECT_EQ(Messages().last(), "Processamento realizado com sucesso.");
    EXPECT_EQ(Situation("0000000101"), "3");
}

TEST_P(ApprovalEndToEnd, ApproveCloseAndExecuteTheCleanQuote)
{
    Launch("0000000101", QStringLiteral(R"([{"form":"TfrmProcOrca","actions":[{"check":"rbtAprovFechExec"},{"click":"sbtConfirma"}]},
        {"form":"TfrmORE00402","actions":[{"click":"btnContinuar"}]},{"password":"sup1"},%1])").arg(kContractor).toUtf8());
    EXPECT_EQ(Messages().last(), "Processamento realizado com sucesso.");
    EXPECT_EQ(Situation("0000000101"), "6");
    EXPECT_EQ(Sql("SELECT COUNT(*) FROM PEDIDO WHERE NRORCAEVENTO = '0000000101'").toInt(), 2);   // production and materials
}

TEST_P(ApprovalEndToEnd, OverTheCeilingTheSupervisorsPasswordDecides)
{
    Launch("0000000103", R"([{"form":"TfrmProcOrca","actions":[{"check":"rbtAprovar"},{"click":"sbtConfirma"},{"close":true}]},
        {"form":"TfrmORE00402","actions":[{"click":"btnContinuar"}]},{"password":"errada"}])");
    EXPECT_EQ(Messages(), (QStringList{"O percentual de desconto está acima do permitido e precisa ser autorizado pelo gerente/supervisor.",
                                       "Gerente/supervisor não aprovou o desconto dado pelo vendedor. Operação bloqueada. "}));
    EXPECT_EQ(Situation("0000000103"), "1");
    EXPECT_EQ(Sql("SELECT COUNT(*) FROM AGENDASALAO WHERE NRORCAEVENTO = '0000000103'").toInt(), 0);

    // The ceiling and then the commercial approval each ask for the supervisor's password.
    Launch("0000000103", R"([{"form":"TfrmProcOrca","actions":[{"check":"rbtAprovar"},{"click":"sbtConfirma"}]},
        {"form":"TfrmORE00402","actions":[{"click":"btnContinuar"}]},{"password":"sup1"},{"password":"sup1"}])");
    EXPECT_EQ(Messages().last(), "Processamento realizado com sucesso.");
    EXPECT_EQ(Situation("0000000103"), "2");
}

// The server holds the approval to the discount as the workflow measured it, over every option
// before those not kept were dropped: 90 is 8.9% of quote 102, within the ceiling of 10%, though
// 20% of the option kept. Nothing is asked, and the approval goes through.
TEST_P(ApprovalEndToEnd, TheDiscountIsMeasuredOverEveryOptionOnBothSides)
{
    Exec("UPDATE ORCAEVENTO SET VRDESCORCEVE = 90 WHERE NRORCAEVENTO = '0000000102'");
    Exec("UPDATE PARAMORCA SET IDUTAPROVCOMORE = 'N', IDUTLPROPOSTAPGTO = 'N'");
    Launch("0000000102", R"([{"form":"TfrmProcOrca","actions":[{"check":"rbtAprovar"},{"click":"sbtConfirma"}]},
        {"form":"TfrmORE00402","actions":[{"click":"btnContinuar"}]},{"tick":["01"]},{"answer":"yes"},{"tick":["001"]},{"answer":"yes"}])");
    EXPECT_EQ(Messages(), (QStringList{"As outras opções serão exluídas. Deseja continuar?", "Os outros salões serão excluídos. Deseja continuar?",
                                       "Processamento realizado com sucesso."}));
    EXPECT_EQ(Situation("0000000102"), "2");
    EXPECT_EQ(Sql("SELECT COUNT(*) FROM ITEMORCA WHERE NRORCAEVENTO = '0000000102'").toInt(), 1);
    EXPECT_TRUE(host->Lines("password").isEmpty());
}

TEST_P(ApprovalEndToEnd, AChildOfAPendingParentIsRefused)
{
    Launch("0000000105", R"([{"form":"TfrmProcOrca","actions":[{"check":"rbtAprovar"},{"click":"sbtConfirma"},{"close":true}]},
        {"form":"TfrmORE00402","actions":[{"click":"btnContinuar"}]}])");
    EXPECT_EQ(Messages(), QStringList{"Orçamento filho não pode ser aprovado primeiro que o orçamento original. Operação Bloqueada."});
    EXPECT_EQ(Situation("0000000105"), "1");
}

} // namespace
