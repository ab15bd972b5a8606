// The processing dialog: its set-up by situation, rights and calling screen, and the dispatch
// of the confirmed action.
#include "TestSupport.h"

#include "Approval.h"
#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "Closing.h"
#include "Components.h"
#include "Crv_msg.h"
#include "NetConnection.h"
#include "Errors.h"
#include "EventGuard.h"
#include "Execution.h"
#include "QuoteContext.h"
#include "TfrmProcOrca.h"
#include "Variants.h"

using namespace Cli_ore06400;

namespace {

const QList<TPacketField> kOperatorFields{{"CDOPERADOR", TFieldType::String, 12},
                                          {"CDPROCHABLANOPE", TFieldType::String, 30},
                                          {"CDPROCHABAPROPE", TFieldType::String, 30},
                                          {"CDPROCHABFECOPE", TFieldType::String, 30}};
const QList<TPacketField> kParameterFields{{"CDPROCHABLANORE", TFieldType::String, 30},
                                           {"CDPROCHABAPRORE", TFieldType::String, 30},
                                           {"CDPROCHABFECORE", TFieldType::String, 30}};
constexpr const char* kAll = "APROVAR/FECHAR/EXECUTAR";
constexpr const char* kNoRecord = "<none>";

// The answer of GetOperControle: the operator's record (or none) and the parameters' record.
QVariant rights(const char* entry, const char* approval, const char* closing, const char* parameters = "")
{
    QList<QVariantList> operatorRows;
    if (QLatin1String(approval) != QLatin1String(kNoRecord))
        operatorRows << QVariantList{"OPER1", QString::fromUtf8(entry), QString::fromUtf8(approval), QString::fromUtf8(closing)};
    const QString p = QString::fromUtf8(parameters);
    return VarArrayOf({PacketVar(kOperatorFields, operatorRows), PacketVar(kParameterFields, {{p, p, p}})});
}

class ProcOrcaTest : public ScriptedHostTest {
protected:
    void SetUp() override
    {
        ScriptedHostTest::SetUp();
        Initialization();
        frmProcOrca = nullptr;
        boSemSucess = false;
    }
    void TearDown() override
    {
        delete frmProcOrca;
        frmProcOrca = nullptr;
        ScriptedHostTest::TearDown();
    }
    // The globals as CriaProcessaOrca stores them.
    void Launch(int situation, const char* screen, const QVariant& answer)
    {
        inStatusOrca = situation;
        stCdFili = QStringLiteral("0001");
        stNrOrca = QStringLiteral("123");
        stNrSeq = QStringLiteral("01");
        stCdOperador = QStringLiteral("OPER1");
        stTelaOrc = QString::fromUtf8(screen);
        server.Answer(QStringLiteral("ORE06400.rdmProcOrca.GetOperControle"), answer);
    }
};

// ---------------------------------------------------------------- set-up

struct Button {
    const char* caption;   // nullptr: hidden (caption not checked)
    int top;
};

struct SetUpCase {
    const char* name;
    int situation;
    const char* screen;
    QVariant answer;
    const char* situationText;
    Button approve, close, execute;
    const char* checked;   // objectName of the checked button, or ""
};

void PrintTo(const SetUpCase& c, std::ostream* os) { *os << c.name; }

class DialogSetUp : public ProcOrcaTest, public ::testing::WithParamInterface<SetUpCase> {};

TEST_P(DialogSetUp, FollowsSituationRightsAndScreen)
{
    const SetUpCase& c = GetParam();
    Launch(c.situation, c.screen, c.answer);
    TfrmProcOrca form;

    EXPECT_EQ(form.edtSituacao->text(), QString::fromUtf8(c.situationText));
    const std::pair<QRadioButton*, Button> buttons[] = {{form.rbtAprovar, c.approve}, {form.rbtAprovFech, c.close}, {form.rbtAprovFechExec, c.execute}};
    for (const auto& [radio, expected] : buttons) {
        SCOPED_TRACE(radio->objectName().toStdString());
        EXPECT_EQ(!radio->isHidden(), expected.caption != nullptr);
        if (expected.caption) {
            EXPECT_EQ(radio->text(), QString::fromUtf8(expected.caption));
            EXPECT_EQ(radio->y(), expected.top);
        }
        EXPECT_EQ(radio->isChecked(), radio->objectName() == QLatin1String(c.checked));
    }
}

const Button hidden{nullptr, 0};

INSTANTIATE_TEST_SUITE_P(
    Table, DialogSetUp,
    ::testing::Values(
        SetUpCase{"pending_all_rights", 1, "ORE00400", rights("", kAll, ""), "Pendente",
                  {"Aprovar", 20}, {"Aprovar e Fechar", 47}, {"Aprovar, Fechar e Executar", 74}, "rbtAprovar"},
        SetUpCase{"pending_close_and_execute", 1, "ORE00400", rights("", "FECHAR EXECUTAR", ""), "Pendente",
                  hidden, {"Fechar", 20}, {"Fechar e Executar", 47}, "rbtAprovFech"},
        SetUpCase{"pending_approve_and_execute", 1, "ORE00400", rights("", "APROVAR EXECUTAR", ""), "Pendente",
                  {"Aprovar", 20}, hidden, {"Executar", 47}, "rbtAprovar"},
        SetUpCase{"pending_execute_only", 1, "ORE00400", rights("", "EXECUTAR", ""), "Pendente",
                  hidden, hidden, {"Executar", 20}, "rbtAprovFechExec"},
        SetUpCase{"pending_approve_only", 1, "ORE00400", rights("", "APROVAR", ""), "Pendente",
                  {"Aprovar", 20}, hidden, hidden, "rbtAprovar"},
        SetUpCase{"pending_approve_and_close", 1, "ORE00400", rights("", "APROVARFECHAR", ""), "Pendente",
                  {"Aprovar", 20}, {"Aprovar e Fechar", 47}, hidden, "rbtAprovar"},
        SetUpCase{"approved_all_rights", 2, "ORE00400", rights("", kAll, ""), "Aprovado",
                  hidden, {"Fechar", 20}, {"Fechar e Executar", 47}, "rbtAprovFech"},
        SetUpCase{"approved_execute_only", 2, "ORE00400", rights("", "EXECUTAR", ""), "Aprovado",
                  hidden, hidden, {"Executar", 20}, "rbtAprovFechExec"},
        SetUpCase{"closed", 3, "ORE00400", rights("", kAll, ""), "Fechado", hidden, hidden, {"Executar", 20}, "rbtAprovFechExec"},
        SetUpCase{"executed_production", 4, "ORE00400", rights("", kAll, ""), "Exec. Produção", hidden, hidden, {"Executar", 20}, "rbtAprovFechExec"},
        SetUpCase{"executed_materials", 5, "ORE00400", rights("", kAll, ""), "Exec. Materias", hidden, hidden, {"Executar", 20}, "rbtAprovFechExec"},
        SetUpCase{"executed_totally", 6, "ORE00400", rights("", kAll, ""), "", hidden, hidden, {"Executar", 20}, "rbtAprovFechExec"},
        SetUpCase{"finished", 7, "ORE00400", rights("", kAll, ""), "", hidden, hidden, {"Executar", 20}, "rbtAprovFechExec"},
        SetUpCase{"cancelled", 8, "ORE00400", rights("", kAll, ""), "", hidden, hidden, {"Executar", 20}, "rbtAprovFechExec"},
        SetUpCase{"situation_zero", 0, "ORE00400", rights("", kAll, ""), "", hidden, hidden, {"Executar", 20}, "rbtAprovFechExec"},
        SetUpCase{"closed_without_execute", 3, "ORE00400", rights("", "APROVAR FECHAR", ""), "Fechado", hidden, hidden, hidden, ""},
        SetUpCase{"entry_screen_column", 1, "ORE00100", rights("APROVAR", "", "EXECUTAR"), "Pendente",
                  {"Aprovar", 20}, hidden, hidden, "rbtAprovar"},
        SetUpCase{"closing_screen_column", 1, "ORE00800", rights("APROVAR", "", "EXECUTAR"), "Pendente",
                  hidden, hidden, {"Executar", 20}, "rbtAprovFechExec"},
        SetUpCase{"other_screen_no_rights", 1, "ORE09999", rights(kAll, kAll, kAll, kAll), "Pendente", hidden, hidden, hidden, ""},
        SetUpCase{"operator_record_wins_when_empty", 1, "ORE00400", rights("", "", "", kAll), "Pendente", hidden, hidden, hidden, ""},
        // a lone "Fechar" keeps its design top: only the three combinations above move
        SetUpCase{"parameters_without_operator_record", 2, "ORE00800", rights("", kNoRecord, "", "FECHAR"), "Aprovado",
                  hidden, {"Fechar", 47}, hidden, "rbtAprovFech"},
        SetUpCase{"rights_are_case_sensitive", 1, "ORE00400", rights("", "aprovar fechar executar", ""), "Pendente", hidden, hidden, hidden, ""}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(ProcOrcaTest, CreationShowsTheQuoteAndConnectsToTheServer)
{
    Launch(1, "ORE00400", rights("", kAll, ""));
    TfrmProcOrca form;
    EXPECT_EQ(form.windowTitle(), "Processar Orçamento");
    EXPECT_EQ(form.lblCodTela->text(), "ORE06400");
    EXPECT_EQ(form.edtOrcaEven->text(), "123/01");
    EXPECT_TRUE(form.edtOrcaEven->isReadOnly());
    EXPECT_FALSE(form.edtSituacao->isEnabled());
    EXPECT_EQ(form.clientArea()->size(), QSize(451, 142));
    EXPECT_EQ(form.stCdFilial, "0001");
    EXPECT_EQ(form.stNrOrcamento, "123");
    EXPECT_EQ(form.stNrSequencia, "01");
    EXPECT_TRUE(form.quote->cdsOrcaEvento->Active());
    EXPECT_TRUE(form.quote->cdsOrcaEvento->IsEmpty());
    EXPECT_TRUE(form.quote->cdsInteclieOrev->Active());

    const auto calls = server.Calls();
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0].name(), "ORE06400.rdmProcOrca.GetOperControle");
    EXPECT_EQ(calls[0].args, QVariantList{"OPER1"});
    for (TNetConnection* net : {form.quote->netProcessaOrca, form.approval->netAprovacao, form.closing->netFechamento, form.execution->netExecucao, form.closing->netContratante, form.execution->netFechaOrca}) {
        EXPECT_TRUE(net->Connected()) << net->objectName().toStdString();
        EXPECT_EQ(net->Port, server.Port());
    }
    EXPECT_EQ(form.execution->netFechaOrca->ServerName, "ORE02900.rdmExecProc");
    EXPECT_EQ(form.closing->netContratante->ServerName, "ORE09000.rdmContratante");
}

TEST_F(ProcOrcaTest, MessageListsHoldTheirOwnTexts)
{
    Launch(1, "ORE00400", rights("", kAll, ""));
    TfrmProcOrca form;
    EXPECT_EQ(form.msgPadrao->Msg("GERSUP_N_APROV"), "Gerente/supervisor não aprovou o desconto dado pelo vendedor. Operação bloqueada. ");
    EXPECT_EQ(form.msgPadrao->Msg("EXISTE_PROPOSTA"),
              "Existe(m) proposta(s) de pagamento cadastrada(s) para  o orçamento. Deseja selecionar alguma proposta de pagamento?");
    EXPECT_EQ(form.msgPadrao->Msg("N_PARAM_SERIE"), "Não há série padrão cadastrada para a filial informada. Informe a série padrão na tela de Cadastro de Filial.");
    EXPECT_EQ(form.msgPadraoExec->Msg("N_PARAM_SERIE"), "Não há série padrão parametrizada para filial (%s).");
    EXPECT_EQ(form.msgPadraoExec->Msg("6"), "Executato Totalmente");
    EXPECT_EQ(form.msgPadraoExec->Msg("Item_Ja_Exp"),
              "O pedido original já foi expedido.\r\nDeseja gerar um novo pedido apenas com os acréscimos de quantidade?");
    EXPECT_EQ(form.msgPadraoExec->Msg("N_PARAM_IDLANCPED"),
              "O campo \"Lançamento Pedido\" deve ser informado na tela Parâmetros de Pedidos para a filial (%s).");
    EXPECT_EQ(form.msgPadraoExec->Msg("PED_MT_NEG_ORCA"), "Foi gerado o pedido %s para o oraçamento.");
    EXPECT_EQ(form.msgPadrao->Msg("Orc_N_Exec"), "O orçamento %s possui orçamento(s) %s.");
    EXPECT_EQ(form.msgPadrao->Msg("Orca_N_Exec"), "Execução do orçamento não pode ser executada para orçamentos que não estejam fechados.");
    EXPECT_FALSE(form.msgPadraoExec->HasKey("Orc_Pai_Aprov"));
    EXPECT_EQ(form.msgPadrao->Lines().size(), 84);   // with the reason the gate gives the information dialog
    EXPECT_EQ(form.msgPadraoExec->Lines().size(), 38);
}

// ---------------------------------------------------------------- dispatch

// The dialog with its workflows replaced: each records that it ran, moves the situation as the
// real one would, and aborts when told to.
class TfrmProcOrcaSeam : public TfrmProcOrca {
public:
    QStringList ran;
    QString abortIn;
    bool failExecution = false;

    void AprovarOrca() override { step("Aprovar", 2); }
    void FecharOrca() override { step("Fechar", 3); }
    void ExecOrca() override
    {
        boSemSucess = failExecution;
        step("Executar", 6);
    }

private:
    void step(const char* name, int situationAfter)
    {
        ran << QString::fromLatin1(name);
        if (abortIn == QLatin1String(name))
            MensErro(QStringLiteral("%1 parou.").arg(QString::fromLatin1(name)), true);
        inStatusOrca = situationAfter;
    }
};

struct DispatchCase {
    const char* name;
    int situation;
    const char* rights;
    const char* check;        // button to check before confirming ("" to leave the set-up's choice)
    bool failExecution;
    QStringList workflows;    // the workflows run, in order
    const char* message;      // the last message shown
    bool closed;
};

void PrintTo(const DispatchCase& c, std::ostream* os) { *os << c.name; }

class Dispatch : public ProcOrcaTest, public ::testing::WithParamInterface<DispatchCase> {};

TEST_P(Dispatch, RunsTheChosenChain)
{
    const DispatchCase& c = GetParam();
    Launch(c.situation, QLatin1String(c.rights) == QLatin1String("-") ? "ORE09999" : "ORE00400", rights("", c.rights, ""));
    TfrmProcOrcaSeam form;
    boIdCriado = true;
    if (*c.check)
        form.findChild<QRadioButton*>(QString::fromLatin1(c.check))->setChecked(true);
    form.failExecution = c.failExecution;
    form.sbtConfirma->click();

    EXPECT_EQ(form.ran, c.workflows);
    const auto messages = Lines("message");
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_EQ(messages.last().value("text").toString(), QString::fromUtf8(c.message));
    EXPECT_EQ(!boIdCriado, c.closed);
    EXPECT_EQ(form.quote->netProcessaOrca->Connected(), !c.closed);
}

INSTANTIATE_TEST_SUITE_P(
    Chains, Dispatch,
    ::testing::Values(
        DispatchCase{"approve", 1, kAll, "rbtAprovar", false, {"Aprovar"}, "Processamento realizado com sucesso.", true},
        DispatchCase{"approve_close", 1, kAll, "rbtAprovFech", false, {"Aprovar", "Fechar"}, "Processamento realizado com sucesso.", true},
        DispatchCase{"approve_close_execute", 1, kAll, "rbtAprovFechExec", false, {"Aprovar", "Fechar", "Executar"},
                     "Processamento realizado com sucesso.", true},
        DispatchCase{"approve_close_execute_incomplete", 1, kAll, "rbtAprovFechExec", true, {"Aprovar", "Fechar", "Executar"},
                     "Nem todas as etapas do processamento foram realizadas com êxito.", true},
        DispatchCase{"close_while_pending", 1, "FECHAR EXECUTAR", "rbtAprovFech", false, {},
                     "Fechamento do orçamento não pode ser executado para orçamentos que não estejam aprovados.", false},
        DispatchCase{"close_execute_while_pending", 1, "FECHAR EXECUTAR", "rbtAprovFechExec", false, {},
                     "Fechamento do orçamento não pode ser executado para orçamentos que não estejam aprovados.", false},
        DispatchCase{"execute_while_pending", 1, "APROVAR EXECUTAR", "rbtAprovFechExec", false, {},
                     "Execução do orçamento não pode ser executada para orçamentos que não estejam fechados.", false},
        DispatchCase{"close_approved", 2, kAll, "rbtAprovFech", false, {"Fechar"}, "Processamento realizado com sucesso.", true},
        DispatchCase{"close_execute_approved", 2, kAll, "rbtAprovFechExec", true, {"Fechar", "Executar"},
                     "Nem todas as etapas do processamento foram realizadas com êxito.", true},
        DispatchCase{"execute_while_approved", 2, "EXECUTAR", "rbtAprovFechExec", false, {},
                     "Execução do orçamento não pode ser executada para orçamentos que não estejam fechados.", false},
        DispatchCase{"execute_closed", 3, kAll, "", true, {"Executar"}, "Nem todas as etapas do processamento foram realizadas com êxito.", true},
        DispatchCase{"execute_after_production", 4, kAll, "", false, {"Executar"}, "Processamento realizado com sucesso.", true},
        DispatchCase{"execute_finished", 7, kAll, "", false, {"Executar"}, "Processamento realizado com sucesso.", true},
        DispatchCase{"nothing_offered", 1, "-", "", false, {}, "Processamento realizado com sucesso.", true}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(ProcOrcaTest, AnAbortMidChainKeepsTheDialogAndTheNextConfirmationOnlyCloses)
{
    Launch(1, "ORE00400", rights("", kAll, ""));
    TfrmProcOrcaSeam form;
    boIdCriado = true;
    boSemSucess = true;   // left by an earlier run: without an execution it does not count
    form.rbtAprovFech->setChecked(true);
    form.abortIn = QStringLiteral("Fechar");
    form.sbtConfirma->click();

    EXPECT_EQ(form.ran, (QStringList{"Aprovar", "Fechar"}));
    EXPECT_EQ(inStatusOrca, 2);
    EXPECT_TRUE(boIdCriado);
    EXPECT_EQ(form.edtSituacao->text(), "Pendente");
    EXPECT_EQ(form.rbtAprovFech->text(), "Aprovar e Fechar");
    ASSERT_EQ(Lines("message").size(), 1);
    EXPECT_EQ(Lines("message")[0].value("text").toString(), "Fechar parou.");

    form.abortIn.clear();
    form.ran.clear();
    form.sbtConfirma->click();
    EXPECT_EQ(form.ran, QStringList{"Fechar"});
    EXPECT_EQ(Lines("message").last().value("text").toString(), "Processamento realizado com sucesso.");
    EXPECT_FALSE(boIdCriado);
}

} // namespace
