// The execution workflow, its pre-checks and the texts of the server's error codes.
#include "ServerFixture.h"
#include "ProcessingTest.h"

#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "Crv_msg.h"
#include "EventGuard.h"
#include "TfrmProcOrca.h"
#include "Variants.h"

#include <QJsonDocument>

using namespace Cli_ore06400;

namespace {

const QList<TPacketField> kExecRecord{{"IDMARCADO", TFieldType::String, 1}, {"CDFILIAL", TFieldType::String, 4},
                                      {"NRORCAEVENTO", TFieldType::String, 10}, {"NRSEQORCAEVE", TFieldType::String, 2},
                                      {"IDSITUORCEVE", TFieldType::String, 1}};

QVariant Quantity(const char* q) { return PacketVar({{"QTITEMNEG", TFieldType::String, 20}}, {{QString::fromLatin1(q)}}); }
QVariant NewOrder(const char* n) { return PacketVar({{"PEDIDO_NOVO", TFieldType::String, 10}}, n ? QList<QVariantList>{{QString::fromLatin1(n)}} : QList<QVariantList>{}); }

// The nine elements of a generation: the lists given (index -> one row), and element 8.
QVariant Generation(const std::map<int, QVariantList>& lists = {}, bool withItems = true)
{
    const QList<QList<TPacketField>> layouts{
        {{"CDTABELA", TFieldType::String, 20}, {"CDERRO", TFieldType::String, 500}},
        {{"CDPRODUTO", TFieldType::String, 10}, {"CDARVPROD", TFieldType::String, 20}, {"NMPRODUTO", TFieldType::String, 50}},
        {{"NRORDPROD", TFieldType::String, 10}, {"NMPRODUTO", TFieldType::String, 50}},
        {{"MSG", TFieldType::String, 30}, {"NRORCAEVENTO", TFieldType::String, 10}},
        {{"NRORCAEVENTO", TFieldType::String, 10}, {"IDTIPODEPTO", TFieldType::String, 1}},
        {{"CDARVPROD", TFieldType::String, 15}, {"NMPRODUTO", TFieldType::String, 30}},
        {{"CDERRO", TFieldType::String, 100}, {"CDFILIAL", TFieldType::String, 10}},
    };
    QVariantList result;
    for (int i = 0; i < 7; ++i)
        result << PacketVar(layouts[i], lists.count(i) ? QList<QVariantList>{lists.at(i)} : QList<QVariantList>{});
    result << Null() << withItems;
    return result;
}

class Execution : public ProcessingTest {
protected:
    void SetUp() override
    {
        ProcessingTest::SetUp();
        Prepare({.situation = 3, .screen = "ORE00800", .rightsField = "CDPROCHABFECOPE", .rights = "EXECUTAR"});
        Packet({{Null(), "0001", "123", "01", "3"}, {Null(), "0001", "123", "02", "3"}});
        Params("P", "O");
        server.Answer("ORE06400.rdmProcOrca.GetVerifOrcaExec", PacketVar({{"NRORCAEVENTO", TFieldType::String, 10}, {"IDSITUORCEVE", TFieldType::String, 1}}, {}));
        server.Answer("ORE02900.rdmExecProc.GetPedidoOp", PacketVar({{"NRORDPROD", TFieldType::String, 10}}, {}));
        for (const char* m : {"GetExpItemNeg", "GetOPItemNeg", "GetMatprimaItemNeg"})
            server.Answer(QStringLiteral("ORE02900.rdmExecProc.") + m, Quantity("0"));
        server.Answer("ORE02900.rdmExecProc.GetTpOperPed", PacketVar({{"IDOBRTPOPPED", TFieldType::String, 1}, {"CDTIPOOPER", TFieldType::String, 2}}, {{"S", "01"}}));
        for (const char* m : {"FecharOrca", "ExecOrcaComposicao", "ExecOrcaComposicaoMat"})
            server.Answer(QStringLiteral("ORE02900.rdmExecProc.") + m, Generation());
        server.Answer("ORE02900.rdmExecProc.GeraReqOrcaEve",
                      VarArrayOf({PacketVar({{"NRORCAEVENTO", TFieldType::String, 10}}, {}), PacketVar({{"CDPRODUTO", TFieldType::String, 10}}, {})}));
        for (const char* m : {"GetExibeNovoPed", "GetExibpedOP", "GetExibeMatPrima"})
            server.Answer(QStringLiteral("ORE02900.rdmExecProc.") + m, NewOrder(nullptr));
        host->RegisterScreen("ORE00610", [this](const QVariant& params) {
            auto* ds = VarDeref<TClientDataSet>(VarElement(params, 0, "ORE00610"));
            QStringList rows;
            for (int r = 0; r < ds->RecordCount(); ++r) {
                QStringList cells;
                for (int c = 0; c < ds->FieldCount(); ++c)
                    if (ds->Fields(c)->Visible())
                        cells << ds->DisplayTextAt(r, c);
                rows << cells.join(" | ");
            }
            listings << VarElement(params, 1, "ORE00610").toString() + ": " + rows.join(" / ");
        });
        Create();
    }
    void Packet(const QList<QVariantList>& rows) { server.Answer("ORE02900.rdmExecProc.GetOrcaEvento", VarArrayOf({PacketVar(kExecRecord, rows)})); }
    void Params(const char* generation, const char* kind, const char* origin = "T", const char* basePrice = "01")
    {
        server.Answer("ORE02900.rdmExecProc.getParamOrcaEve",
                      PacketVar({{"IDGERREQEXECORE", TFieldType::String, 1}, {"CDPBASEITEM", TFieldType::String, 2}, {"IDTPPRODPEDOREV", TFieldType::String, 1},
                                 {"IDORIGPRUNITORE", TFieldType::String, 1}},
                                {{generation, basePrice, kind, origin}}));
    }
    bool Execute()
    {
        return Finishes([this] { form->ExecOrca(); });
    }
    QStringList Messages() const
    {
        QStringList texts;
        for (const auto& l : Lines("message"))
            texts << l.value("text").toString();
        return texts;
    }

    QStringList listings;
};

TEST_F(Execution, AFullRunOrdersBothDepartments)
{
    EXPECT_TRUE(Execute());
    EXPECT_EQ(Methods(), (QStringList{"GetOrcaEvento", "getParamOrcaEve", "GetVerifOrcaExec", "GetOrcaEvento",
                                      "GetPedidoOp", "GetExpItemNeg", "GetOPItemNeg", "GetMatprimaItemNeg", "GetTpOperPed", "FecharOrca",
                                      "GetExibeNovoPed", "GetExibpedOP", "GetExibeMatPrima",
                                      "GetPedidoOp", "GetExpItemNeg", "GetOPItemNeg", "GetMatprimaItemNeg", "GetTpOperPed", "FecharOrca",
                                      "GetExibeNovoPed", "GetExibpedOP", "GetExibeMatPrima"}));
    EXPECT_EQ(server.Calls()[0].args, (QVariantList{"0001", "123", "123", 0, 0, 0, 0, "", "", "", "", "", "", "3", "", ""}));
    const auto generations = server.CallsTo("ORE02900.rdmExecProc.FecharOrca");
    ASSERT_EQ(generations.size(), 2);
    EXPECT_EQ(generations[0].args[3].toString(), "P");
    EXPECT_EQ(generations[1].args[3].toString(), "M");
    EXPECT_TRUE(VarIsNull(generations[0].args[2]));   // no new client pending
    EXPECT_EQ(generations[0].args[4].toString(), "0001");
    const TDataPacket sent = generations[0].args[0].value<TDataPacket>();
    EXPECT_EQ(std::get<QString>(sent.rows()[0][0]), "S");   // the quote's own row is marked
    EXPECT_TRUE(CellIsNull(sent.rows()[1][0]));
    EXPECT_EQ(server.CallsTo("ORE02900.rdmExecProc.GetPedidoOp")[1].args[1].toString(), "5");
    EXPECT_EQ(inStatusOrca, 6);
    EXPECT_FALSE(boSemSucess);
    EXPECT_TRUE(listings.isEmpty());
    EXPECT_FALSE(host->WaitShown());
}

// The situation a quote is in and the branch's generation mode (IDGERREQEXECORE) decide what
// an execution generates.
struct SituationCase {
    const char* name;
    int situation;
    const char* generation;
    int after;
    const char* error;            // "" when none
    const char* productionCall;   // "" when production is not generated
    bool materials;               // whether the materials are generated
};

class ExecutionSituations : public Execution, public ::testing::WithParamInterface<SituationCase> {};

// Executed for production (4), the quote is told so and gets its materials; executed for
// materials (5), it is told so and gets its production, and the run ends as a finished one.
INSTANTIATE_TEST_SUITE_P(Cases, ExecutionSituations,
                         ::testing::Values(SituationCase{"closed, orders", 3, "P", 6, "", "FecharOrca", true},
                                           SituationCase{"executed for production, orders", 4, "P", 6, "", "", true},
                                           SituationCase{"executed, orders", 6, "P", 6, "Orçamento já executado para produção.", "", false},
                                           SituationCase{"executed for materials, orders", 5, "P", 6, "", "FecharOrca", false},
                                           SituationCase{"closed, requisitions", 3, "R", 5, "", "GeraReqOrcaEve", true},
                                           SituationCase{"executed for production, requisitions", 4, "R", 6, "", "", true},
                                           SituationCase{"executed for materials, requisitions", 5, "R", 5, "", "GeraReqOrcaEve", false},
                                           SituationCase{"executed, no mode", 6, "", 6, "Orçamento já executado para produção.", "", false}),
                         CaseName());

TEST_P(ExecutionSituations, GenerateWhatTheSituationLacks)
{
    const SituationCase& c = GetParam();
    inStatusOrca = c.situation;
    Params(c.generation, "O");
    EXPECT_EQ(Execute(), *c.error == 0);
    EXPECT_EQ(inStatusOrca, c.after);
    if (*c.error) {
        EXPECT_EQ(Messages().last(), QString::fromUtf8(c.error));
    }
    if (c.situation == 4) {
        ASSERT_FALSE(Lines("message").isEmpty());
        EXPECT_EQ(Lines("message").first(), Json(R"({"kind":"message","type":"information","text":"Orçamento já executado para produção."})"));
    }
    if (c.situation == 5) {
        ASSERT_FALSE(Lines("message").isEmpty());
        EXPECT_EQ(Lines("message").first(), Json(R"({"kind":"message","type":"information","text":"Orçamento já executado para materiais."})"));
    }
    QStringList kinds;   // the department of each generation call
    for (const FakeCall& call : server.CallsTo("ORE02900.rdmExecProc.FecharOrca"))
        kinds << call.args.value(3).toString();
    EXPECT_EQ(kinds.contains("P") || Methods().contains("GeraReqOrcaEve"), *c.productionCall != 0);
    EXPECT_EQ(kinds.contains("M"), c.materials);
    EXPECT_EQ(Methods().contains(QString::fromLatin1(c.productionCall)), *c.productionCall != 0);
    if (QLatin1String(c.productionCall) == QLatin1String("GeraReqOrcaEve")) {
        const auto materials = server.CallsTo("ORE02900.rdmExecProc.FecharOrca");
        if (!materials.isEmpty()) {
            EXPECT_TRUE(VarIsEmpty(materials.last().args[2]));   // the requisition left the new client unassigned
        }
    }
    EXPECT_FALSE(host->WaitShown());
}

TEST_F(Execution, NoToAnExistingProductionOrderSkipsProductionOnly)
{
    // No to "Orc_Ja_OP" in production: nothing generated there, materials still run.
    server.AnswerWith("ORE02900.rdmExecProc.GetPedidoOp", [](const FakeCall& c) {
        return TRpcReply::Value(PacketVar({{"NRORDPROD", TFieldType::String, 10}}, c.args[1] == "4" ? QList<QVariantList>{{"0000000007"}} : QList<QVariantList>{}));
    });
    Script(R"({"steps":[{"answer":"no"}]})");
    EXPECT_TRUE(Execute());
    EXPECT_EQ(server.CallsTo("ORE02900.rdmExecProc.FecharOrca").size(), 1);
    EXPECT_EQ(inStatusOrca, 5);
}

// No to an added-quantity question, by the method that reports the quantity: the whole run
// stops silently, nothing generated.
class ExecutionAddedQuantity : public Execution, public ::testing::WithParamInterface<const char*> {};
INSTANTIATE_TEST_SUITE_P(Methods, ExecutionAddedQuantity, ::testing::Values("GetExpItemNeg", "GetOPItemNeg", "GetMatprimaItemNeg"), CaseName());

TEST_P(ExecutionAddedQuantity, NoStopsTheWholeRun)
{
    server.Answer(QStringLiteral("ORE02900.rdmExecProc.") + GetParam(), Quantity("2,5"));
    Script(R"({"steps":[{"answer":"no"}]})");
    const int before = int(Lines("message").size());
    EXPECT_FALSE(Execute());
    EXPECT_EQ(Lines("message").size(), before + 1);   // the question, and no error after it
    EXPECT_EQ(Lines("message").last().value("answer").toString(), "no");
    EXPECT_FALSE(Methods().contains("FecharOrca"));
    EXPECT_FALSE(host->WaitShown());
}

TEST_F(Execution, AnAddedQuantityThatIsNoNumberStopsTheRun)
{
    server.Answer("ORE02900.rdmExecProc.GetExpItemNeg", Quantity("muito"));
    EXPECT_FALSE(Execute());
    EXPECT_EQ(Messages().last(), "GetExpItemNeg: a quantidade acrescida \"muito\" recebida do servidor não é um número decimal.");
}

TEST_F(Execution, ListsWhatStoodInTheWay)
{
    server.AnswerSequence("ORE02900.rdmExecProc.FecharOrca",
                          {TRpcReply::Value(Generation({{0, {"PRODUTO", "VRPREUNITPED"}}, {1, {"X001", "01.X001", "Decoração"}}, {5, {"01.X002", "Doces"}}})),
                           TRpcReply::Value(Generation({}, false))});
    EXPECT_TRUE(Execute());
    EXPECT_EQ(listings, (QStringList{"Execução não pode ser realizada. Existem os seguintes erros:: PRODUTO | Não há preço cadastrado para os produtos informados.",
                                     "Execução não pode ser realizada. Existem produtos sem departamento cadastrado.: 01.X001 | Decoração",
                                     "Execução bloqueada. Os seguintes produtos não possuem preço cadastrado:: 01.X002 | Doces"}));
    EXPECT_TRUE(Messages().contains("Um ou mais orçamentos não foram executados por materiais, pois seus respectivos pedidos seriam gerados sem itens."));
    EXPECT_TRUE(boSemSucess);
    EXPECT_EQ(inStatusOrca, 5);   // production listed (no update); materials had nothing listed: announced nothing, updated
}

struct AnnouncementCase {
    const char* name;
    const char* questionMethod;   // answered yes, "" for none
    const char* announcing;
    const char* order;
    const char* text;
};

class ExecutionAnnouncements : public Execution, public ::testing::WithParamInterface<AnnouncementCase> {};

INSTANTIATE_TEST_SUITE_P(
    Cases, ExecutionAnnouncements,
    ::testing::Values(AnnouncementCase{"more to expedite, no order number", "GetExpItemNeg", "GetExibeNovoPed", nullptr, "Foi gerado o pedido  para o orçamento."},
                      AnnouncementCase{"original order expedited", "", "GetExibeNovoPed", "0000001001",
                                       "O pedido original já foi expedido. Foi gerado o pedido 0000001001 para o orçamento."},
                      AnnouncementCase{"more to produce", "GetOPItemNeg", "GetExibpedOP", "0000001002", "Foi gerado o pedido 0000001002 para o orçamento."},
                      AnnouncementCase{"stock already withdrawn", "", "GetExibeMatPrima", "0000001003",
                                       "Já existe retirada de estoque para o pedido original. Foi gerado o pedido 0000001003 para o orçamento."}),
    CaseName());

TEST_P(ExecutionAnnouncements, ANewOrderIsAnnounced)
{
    const AnnouncementCase& c = GetParam();
    if (*c.questionMethod) {
        server.Answer(QStringLiteral("ORE02900.rdmExecProc.") + c.questionMethod, Quantity("1"));
        Script(R"({"steps":[{"answer":"yes"},{"answer":"yes"}]})");
    }
    server.Answer(QStringLiteral("ORE02900.rdmExecProc.") + c.announcing, NewOrder(c.order));
    EXPECT_TRUE(Execute());
    EXPECT_TRUE(Messages().contains(QString::fromUtf8(c.text))) << Messages().join(" / ").toStdString();
    EXPECT_EQ(inStatusOrca, 3);   // an announced step does not move the situation
}

struct GenerationErrorCase {
    const char* name;
    const char* error;
    const char* shown;
};

class ExecutionGenerationErrors : public Execution, public ::testing::WithParamInterface<GenerationErrorCase> {};

INSTANTIATE_TEST_SUITE_P(
    Cases, ExecutionGenerationErrors,
    ::testing::Values(GenerationErrorCase{"series parameter", "N_PARAM_SERIE|0001", "Não há série padrão parametrizada para filial (0001)."},
                      GenerationErrorCase{"operation type parameter", "N_PARAM_TIPOOPER",
                                          "Não há tipo de operação parametrizado na tela de Parâmetros do Orçamento de Eventos."},
                      GenerationErrorCase{"other server error", "Banco indisponível", "Banco indisponível"}),
    CaseName());

TEST_P(ExecutionGenerationErrors, StopTheRunWithTheirText)
{
    const GenerationErrorCase& c = GetParam();
    server.AnswerError("ORE02900.rdmExecProc.FecharOrca", c.error);
    EXPECT_FALSE(Execute());
    EXPECT_EQ(Messages().last(), QString::fromUtf8(c.shown));
    EXPECT_EQ(inStatusOrca, 3);
    EXPECT_FALSE(host->WaitShown());
}

TEST_F(Execution, AnInvalidProductionKindStopsBeforeGenerating)
{
    Params("P", "Z");
    EXPECT_FALSE(Execute());
    EXPECT_EQ(Messages().last(), "Tipo de produção do pedido inválido nos Parâmetros do Orçamento.");
    EXPECT_FALSE(Methods().contains("FecharOrca"));
}

TEST_F(Execution, NoBasePriceStopsAfterTheParameters)
{
    Params("P", "O", "C", "");
    EXPECT_FALSE(Execute());
    EXPECT_EQ(Messages().last(), "Não há preço base cadastro na tela de Parâmetros do Orçamento. Operação bloqueada.");
    EXPECT_EQ(Methods(), (QStringList{"GetOrcaEvento", "getParamOrcaEve"}));
}

// A related quote not yet executed is noticed, by its situation's word.
struct NoticeCase {
    const char* name;
    const char* code;
    const char* word;
};

class ExecutionVerificationNotice : public Execution, public ::testing::WithParamInterface<NoticeCase> {};

INSTANTIATE_TEST_SUITE_P(Situations, ExecutionVerificationNotice,
                         ::testing::Values(NoticeCase{"pending", "1", "pendente(s)"}, NoticeCase{"approved", "2", "aprovado(s)"},
                                           NoticeCase{"closed", "3", "fechado(s)"}, NoticeCase{"unknown", "9", ""}),
                         CaseName());

TEST_P(ExecutionVerificationNotice, ComesFirst)
{
    server.Answer("ORE06400.rdmProcOrca.GetVerifOrcaExec",
                  PacketVar({{"NRORCAEVENTO", TFieldType::String, 10}, {"IDSITUORCEVE", TFieldType::String, 1}}, {{"0000000555", GetParam().code}}));
    EXPECT_TRUE(Execute());
    EXPECT_EQ(Messages().value(0), QStringLiteral("O orçamento 0000000555 possui orçamento(s) %1.").arg(QString::fromUtf8(GetParam().word)));
}

TEST_F(Execution, AKeyHoldingAQuoteMarksOnlyItsOwnRow)
{
    stNrOrca = "12'3";
    Packet({{Null(), "0001", "123", "01", "3"}, {Null(), "0001", "12'3", "01", "3"}});
    EXPECT_TRUE(Execute());
    const TDataPacket sent = server.CallsTo("ORE02900.rdmExecProc.FecharOrca")[0].args[0].value<TDataPacket>();
    EXPECT_TRUE(CellIsNull(sent.rows()[0][0]));
    EXPECT_EQ(std::get<QString>(sent.rows()[1][0]), "S");
}

TEST_F(Execution, AKeyWithNoRowStopsBeforeAnything)
{
    stNrSeq = "07";
    EXPECT_FALSE(Execute());
    EXPECT_EQ(Messages().last(), "Orçamento 123/07 não encontrado para execução. Operação bloqueada.");
    EXPECT_EQ(Methods(), QStringList{"GetOrcaEvento"});
}

TEST_F(Execution, ErrorCodesShowAsTheirTexts)
{
    form->execution->cdsErro->SetData(PacketVar({{"CDERRO", TFieldType::String, 500}},
                                     {{"VRPREUNITPED"}, {"Orc_Ja_OP"}, {"texto livre"}, {""}, {"N_PARAM_PED"}}));
    QStringList shown;
    for (int r = 0; r < form->execution->cdsErro->RecordCount(); ++r)
        shown << form->execution->cdsErro->DisplayTextAt(r, form->execution->cdsErro->FieldByName("CDERRO")->Index());
    EXPECT_EQ(shown, (QStringList{"Não há preço cadastrado para os produtos informados.", "Orc_Ja_OP", "texto livre", "",
                                  "Não há parametrização de pedidos para a filial %s. Operação Bloqueada."}));
    form->execution->cdsErroFil->SetData(PacketVar({{"CDERRO", TFieldType::String, 100}, {"CDFILIAL", TFieldType::String, 10}}, {{"IDCUSEXP", "0002"}}));
    EXPECT_EQ(form->execution->cdsErroFil->FieldByName("CDERRO")->DisplayText(),
              "Não há tipo de custo parametrizado na tela Parâmetros de Expedição, para as seguintes filiais:");
    EXPECT_EQ(form->execution->cdsErroFil->FieldByName("CDERRO")->DisplayLabel(), "Erro");
}

// Against the real server.
class ExecutionEndToEnd : public ScriptedServerFixture {
protected:
    void SetUp() override
    {
        ScriptedServerFixture::SetUp();
        Initialization();
    }
    QStringList Run(const char* quote, const char* steps, int situation = 3)
    {
        host->SetSteps(ScriptedHostServices::ParseScript(steps).value("steps").toArray());
        CriaProcessaOrca(situation, "0001", quote, "01", "OPER1", "ORE00800");
        QStringList texts;
        for (const auto& m : host->Lines("message"))
            texts << m.value("text").toString();
        return texts;
    }
};
INSTANTIATE_TEST_SUITE_P(Sqlite, ExecutionEndToEnd, ::testing::Values("sqlite"));

TEST_P(ExecutionEndToEnd, ExecuteTheDemoQuotes)
{
    const char* execute = R"({"steps":[{"form":"TfrmProcOrca","actions":[{"click":"sbtConfirma"}]}]})";
    EXPECT_EQ(Run("0000000301", execute).last(), "Processamento realizado com sucesso.");
    EXPECT_EQ(Sql("SELECT IDSITUORCEVE FROM ORCAEVENTO WHERE NRORCAEVENTO = '0000000301'").toString(), "6");
    EXPECT_EQ(Sql("SELECT COUNT(*) FROM PEDIDO WHERE NRORCAEVENTO = '0000000301'").toInt(), 2);

    const QStringList pending = Run("0000000302", R"({"steps":[{"form":"TfrmProcOrca","actions":[{"click":"sbtConfirma"}]},
        {"form":"TfrmORE00610","actions":[{"click":"btnFechar"}]},{"form":"TfrmORE00610","actions":[{"click":"btnFechar"}]},
        {"form":"TfrmORE00610","actions":[{"click":"btnFechar"}]},{"form":"TfrmORE00610","actions":[{"click":"btnFechar"}]}]})");
    EXPECT_EQ(pending.last(), "Nem todas as etapas do processamento foram realizadas com êxito.");
    bool pricesListed = false;
    for (const auto& f : host->Lines("form"))
        if (f.value("form").toString() == "TfrmORE00610"
            && f.value("widgets").toObject().value("lblCabecalho").toObject().value("text").toString() == "Execução bloqueada. Os seguintes produtos não possuem preço cadastrado:")
            pricesListed = true;
    EXPECT_TRUE(pricesListed);

    // The quantities grew after the expedition: the new order takes them; the quote has nothing for materials.
    const QStringList grown = Run("0000000303", R"({"steps":[{"form":"TfrmProcOrca","actions":[{"click":"sbtConfirma"}]},{"answer":"yes"},
        {"form":"TfrmORE00610","actions":[{"click":"btnFechar"}]}]})");
    const QString order = Sql("SELECT MAX(NRPEDIDO) FROM PEDIDO WHERE NRORCAEVENTO = '0000000303' AND NRPEDIDOORIG = '0000000901'").toString();
    EXPECT_FALSE(order.isEmpty());
    EXPECT_TRUE(grown.contains(QStringLiteral("Foi gerado o pedido %1 para o orçamento.").arg(order))) << grown.join(" / ").toStdString();
    for (const auto& u : host->Lines("unscripted"))
        ADD_FAILURE() << QJsonDocument(u).toJson().toStdString();
}

TEST_P(ExecutionEndToEnd, AQuoteExecutedForProductionGetsItsMaterials)
{
    const int before = Sql("SELECT COUNT(*) FROM PEDIDO WHERE NRORCAEVENTO = '0000000401' AND IDDEPTO = 'M'").toInt();
    const QStringList texts = Run("0000000401", R"({"steps":[{"form":"TfrmProcOrca","actions":[{"click":"sbtConfirma"}]}]})", 4);
    EXPECT_EQ(texts.first(), "Orçamento já executado para produção.");
    EXPECT_EQ(texts.last(), "Processamento realizado com sucesso.");
    EXPECT_EQ(Sql("SELECT IDSITUORCEVE FROM ORCAEVENTO WHERE NRORCAEVENTO = '0000000401'").toString(), "6");
    EXPECT_EQ(Sql("SELECT COUNT(*) FROM PEDIDO WHERE NRORCAEVENTO = '0000000401' AND IDDEPTO = 'M'").toInt(), before + 1);
    EXPECT_EQ(Sql("SELECT COUNT(*) FROM PEDIDO WHERE NRORCAEVENTO = '0000000401' AND IDDEPTO = 'P' AND NRPEDIDOORIG IS NOT NULL").toInt(), 0);
}

// Executed for materials, in both generation modes: the production is made and the run ends
// with the success message; orders take the quote to 6, a requisition leaves it at 5.
TEST_P(ExecutionEndToEnd, AQuoteExecutedForMaterialsGetsItsProduction)
{
    for (const char* mode : {"P", "R"}) {
        SCOPED_TRACE(mode);
        Exec("UPDATE PARAMORCA SET IDGERREQEXECORE = ?", {QString::fromLatin1(mode)});
        Exec("UPDATE ORCAEVENTO SET IDSITUORCEVE = '5' WHERE NRORCAEVENTO = '0000000501'");
        const qsizetype before = host->Lines("message").size();
        const QStringList texts = Run("0000000501", R"({"steps":[{"form":"TfrmProcOrca","actions":[{"click":"sbtConfirma"}]}]})", 5).mid(before);
        ASSERT_FALSE(texts.isEmpty());
        EXPECT_EQ(texts.first(), "Orçamento já executado para materiais.");
        EXPECT_EQ(texts.last(), "Processamento realizado com sucesso.");
        EXPECT_EQ(Sql("SELECT IDSITUORCEVE FROM ORCAEVENTO WHERE NRORCAEVENTO = '0000000501'").toString(), *mode == 'P' ? "6" : "5");
        EXPECT_EQ(Sql("SELECT COUNT(*) FROM PEDIDO WHERE NRORCAEVENTO = '0000000501' AND IDDEPTO = 'M'").toInt(), 1) << "no second materials order";
        for (const auto& u : host->Lines("unscripted"))
            ADD_FAILURE() << QJsonDocument(u).toJson().toStdString();
    }
}

} // namespace
