// The readiness report against the workflows: for each finding, the condition set on a store,
// the report naming it, and the workflow then stopping with the very same text. The orders an
// execution would make against those it makes, and the quote's history.
#include "ServerFixture.h"

#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "Variants.h"
#include "Wire.h"

#include <QFile>
#include <QJsonDocument>


using namespace Cli_ore06400;

namespace {

struct Finding {
    QString action, severity, next, code, text, detail;
};

class Readiness : public ScriptedServerFixture {
protected:
    void SetUp() override
    {
        ScriptedServerFixture::SetUp();
        Initialization();
    }
    // A fresh store, for the next case of a table.
    void Fresh()
    {
        TearDown();
        server.reset();
        objects.reset();
        store.reset();
        for (const char* suffix : {"", "-wal", "-shm"})
            QFile::remove(dir.filePath(QStringLiteral("ore.db") + QString::fromLatin1(suffix)));
        SetUp();
    }

    QVariant Report(const QString& quote, const QString& branch = "0001")
    {
        return Call("CRV.rdmHost", "VerificaOrcamento", {branch, quote, "01"});
    }
    QList<Finding> Findings(const QString& quote, const QString& branch = "0001")
    {
        TClientDataSet ds;
        ds.SetData(Report(quote, branch));
        QList<Finding> findings;
        for (ds.First(); !ds.Eof(); ds.Next()) {
            auto f = [&](const char* name) { return ds.FieldByName(QString::fromLatin1(name))->AsString(); };
            findings << Finding{f("IDACAO"), f("IDGRAVIDADE"), f("IDPROXIMA"), f("CDPENDENCIA"), f("DSMENSAGEM"), f("DSDETALHE")};
        }
        return findings;
    }
    // The orders of the report ("P" rows): department, product and quantity, sorted.
    QStringList Preview(const QString& quote)
    {
        TClientDataSet ds;
        ds.SetData(Report(quote));
        QStringList orders;
        for (ds.First(); !ds.Eof(); ds.Next())
            if (ds.FieldByName("IDGRAVIDADE")->AsString() == "P")
                orders << ds.FieldByName("IDDEPTO")->AsString() + "|" + ds.FieldByName("CDPRODUTO")->AsString() + "|"
                              + QString::number(ds.FieldByName("QTPEDIDO")->AsFloat());
        orders.sort();
        return orders;
    }
    // The items of the quote's orders that are not among `before`, as the preview lists them.
    QStringList OrderedSince(const QString& quote, const QStringList& before)
    {
        QSqlDatabase db = store->connection();
        TRows q = ::Run(db, "SELECT P.NRPEDIDO, P.IDDEPTO, I.CDPRODUTO, I.QTITEM FROM PEDIDO P JOIN ITEMPEDIDO I ON I.NRPEDIDO = P.NRPEDIDO "
                            "WHERE P.NRORCAEVENTO = ?",
                        {quote});
        QStringList items;
        while (q.next())
            if (!before.contains(q.value(0).toString()))
                items << q.value(1).toString() + "|" + q.value(2).toString() + "|" + QString::number(q.value(3).toDouble());
        items.sort();
        return items;
    }
    QStringList OrderNumbers(const QString& quote)
    {
        QSqlDatabase db = store->connection();
        TRows q = ::Run(db, "SELECT NRPEDIDO FROM PEDIDO WHERE NRORCAEVENTO = ?", {quote});
        QStringList numbers;
        while (q.next())
            numbers << q.value(0).toString();
        return numbers;
    }

    // Launches the dialog as the calling screen would, the operator played by `steps`; every
    // text the operator read: messages, and the headers of the listings.
    QStringList Run(const QString& quote, int situation, const QString& steps, const QString& branch = "0001")
    {
        host->SetSteps(ScriptedHostServices::ParseScript(("{\"steps\":" + steps + "}").toUtf8()).value("steps").toArray());
        CriaProcessaOrca(situation, branch, quote, "01", "OPER1", situation == 1 ? "ORE00400" : "ORE00800");
        QStringList texts;
        for (const QJsonObject& m : host->Lines("message"))
            texts << m.value("text").toString();
        for (const QJsonObject& f : host->Lines("form"))
            if (f.value("form").toString() == "TfrmORE00610" && f.value("event").toString() == "shown")
                texts << f.value("widgets").toObject().value("lblCabecalho").toObject().value("text").toString();
        EXPECT_EQ(host->UnscriptedCount(), 0) << QJsonDocument(host->Lines("unscripted").value(0)).toJson().toStdString();
        return texts;
    }
    QString Situation(const QString& quote)
    {
        return Sql("SELECT IDSITUORCEVE FROM ORCAEVENTO WHERE NRORCAEVENTO = ? AND NRSEQORCAEVE = '01'", {quote}).toString();
    }
};
SERVER_BACKENDS(Readiness);

const char* const kApprove = R"([{"form":"TfrmProcOrca","actions":[{"check":"rbtAprovar"},{"click":"sbtConfirma"},{"close":true}]},
    {"form":"TfrmORE00402","actions":[{"click":"btnContinuar"}]}])";
const char* const kClose = R"([{"form":"TfrmProcOrca","actions":[{"check":"rbtAprovFech"},{"click":"sbtConfirma"},{"close":true}]},
    {"form":"TfrmORE09000","actions":[{"click":"btnFechar"}]}])";
const char* const kExecute = R"([{"form":"TfrmProcOrca","actions":[{"click":"sbtConfirma"},{"close":true}]}])";
const char* const kListing = R"({"form":"TfrmORE00610","actions":[{"click":"btnFechar"}]})";

struct AgreementCase {
    const char* name;
    QStringList condition;    // statements that set it on the store
    const char* quote;
    int situation;
    QString steps;            // the workflow's run, up to its stop
    const char* action;
    const char* code;
    const char* severity;     // "B" blocks, "A" stops unless the operator acts in the workflow
    const char* branch = "0001";
};

TEST_P(Readiness, EachFindingIsWhereTheWorkflowStopsWithTheSameText)
{
    const QString approveThen = QString::fromLatin1(kApprove).chopped(1);
    // The lists of what stands in the way, each closed by the operator; the dialog then ends.
    const QString kListed = QStringLiteral(R"([{"form":"TfrmProcOrca","actions":[{"click":"sbtConfirma"}]},%1,%1,%1,%1])").arg(kListing);
    const AgreementCase cases[] = {
        {"parent pending", {}, "0000000105", 1, kApprove, "APROVAR", "Orc_Pai_Aprov", "B"},
        {"no items", {"DELETE FROM ITEMORCA WHERE NRORCAEVENTO = '0000000101' AND NRSEQORCAEVE = '01'"}, "0000000101", 1,
         kApprove, "APROVAR", "Item_N_Cad", "B"},
        {"no labour", {}, "0000000107", 1, approveThen + R"(,{"answer":"no"}])", "APROVAR", "Orc_N_MObra", "A"},
        {"discount above the ceiling", {}, "0000000103", 1, approveThen + R"(,{"password":"errada"}])", "APROVAR", "PERMITE_DESCONTO", "A"},
        {"no supervisor for the discount",
         {"UPDATE VENDEDOR SET CDVENDEDORSUP = NULL WHERE CDVENDEDOR = 'V01'", "UPDATE OPERADOR SET CDVENDEDOR = NULL WHERE CDOPERADOR = 'OPER1'"},
         "0000000103", 1, kApprove, "APROVAR", "GRSUP_VAZIO", "B"},
        {"hall without a daily limit", {}, "0000000112", 1, kApprove, "APROVAR", "N_Limite_Param", "B"},
        {"hall booked at that time", {}, "0000000111", 1, kApprove, "APROVAR", "DtHr_Marc", "B"},
        {"hall at its limit", {"UPDATE SALAO SET QTLIMAGENDIA = 0 WHERE CDSALAOEVEN = '001'"}, "0000000101", 1, kApprove,
         "APROVAR", "Qt_Agen", "B"},
        {"client not registered", {}, "0000000104", 1, approveThen + R"(,{"form":"TfrmORE00105","actions":[{"click":"btnCancelar"}]}])", "APROVAR",
         "INS_N_INF", "A"},
        {"delivery address incomplete", {}, "0000000108", 1, approveThen + R"(,{"form":"TfrmInfoOrca","actions":[{"close":true}]}])", "APROVAR",
         "End_Entrega_Inf", "A"},
        {"item without a registered product", {}, "0000000109", 1, approveThen + R"(,{"form":"TfrmInfoOrca","actions":[{"close":true}]}])", "APROVAR",
         "BLOQ_ORCA_SEM_PROD_CAD", "A"},
        {"no contracting client", {"DELETE FROM CONTRATANTE WHERE NRORCAEVENTO = '0000000201'"}, "0000000201", 2, kClose,
         "FECHAR", "CONTRATANTE_N_INF", "A"},
        {"values not adding up", {"UPDATE CONTRATANTE SET VRRECECONTOREV = 10 WHERE NRORCAEVENTO = '0000000201'"},
         "0000000201", 2, kClose, "FECHAR", "VALORSEQ_DIFER_VRORCA", "A"},
        {"a contracting client without value", {"UPDATE CONTRATANTE SET VRRECECONTOREV = NULL WHERE NRORCAEVENTO = '0000000201'"},
         "0000000201", 2, kClose, "FECHAR", "N_PARAM_VRNOTA_ZERO", "A"},
        {"count of contracting clients", {"UPDATE ORCAEVENTO SET QTCONTRATORC = 2 WHERE NRORCAEVENTO = '0000000201'"},
         "0000000201", 2, kClose, "FECHAR", "QT_CONTR_DIF", "A"},
        {"no order parameters", {}, "0000000202", 2, kClose, "FECHAR", "N_PARAM_PED", "B", "0002"},
        {"no operation type for the closing", {"UPDATE PARAMORCA SET CDTPCTREC = NULL WHERE CDFILIAL = '0001'"}, "0000000201",
         2, kClose, "FECHAR", "N_PARAM_TPCTREC", "B"},
        {"base price required", {"UPDATE PARAMORCA SET IDORIGPRUNITORE = 'C', CDPBASEITEM = NULL WHERE CDFILIAL = '0001'"},
         "0000000301", 3, kExecute, "EXECUTAR", "Inf_PreBase", "B"},
        {"no series for the orders", {"UPDATE PARAMORCA SET CDSERIE = NULL WHERE CDFILIAL = '0001'"}, "0000000301", 3,
         kExecute, "EXECUTAR", "N_PARAM_SERIE", "B"},
        {"operation type of the orders", {"UPDATE PARAMORCA SET IDOBRTPOPPED = 'S', CDTIPOOPER = NULL WHERE CDFILIAL = '0001'"},
         "0000000301", 3, kExecute, "EXECUTAR", "Inf_TpOperPed", "B"},
        {"product without department", {}, "0000000302", 3, kListed,
         "EXECUTAR", "Prod_Sem_Depto", "B"},
        {"product without price", {}, "0000000302", 3, kListed,
         "EXECUTAR", "PRODSEMPRECO", "B"},
        {"orders made and expedited", {}, "0000000303", 3, QString::fromLatin1(kExecute).chopped(1) + R"(,{"answer":"no"}])", "EXECUTAR", "Item_Ja_Exp",
         "A"},
    };
    for (const AgreementCase& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        for (const QString& sql : c.condition)
            Exec(sql);
        if (QString::fromLatin1(c.branch) != "0001")
            ActAs("OPER1", c.branch);
        const QList<Finding> findings = Findings(c.quote, c.branch);
        const auto found = std::find_if(findings.begin(), findings.end(), [&](const Finding& f) { return f.code == c.code; });
        ASSERT_NE(found, findings.end()) << c.code;
        EXPECT_EQ(found->action, c.action);
        EXPECT_EQ(found->severity, c.severity);
        EXPECT_EQ(found->next, "S");
        EXPECT_FALSE(found->text.isEmpty());
        const QStringList shown = Run(c.quote, c.situation, c.steps, c.branch);
        EXPECT_TRUE(shown.contains(found->text)) << found->text.toStdString() << "\n  shown: " << shown.join(" / ").toStdString();
    }
}

TEST_P(Readiness, TheDemoQuotesThatCompleteHaveNothingBlockingAndFinish)
{
    for (const char* quote : {"0000000101", "0000000201", "0000000301"})
        for (const Finding& f : Findings(quote))
            EXPECT_NE(f.severity, "B") << quote << " " << f.code.toStdString();

    const char* const contractor = R"({"form":"TfrmORE09000","actions":[{"text":["edtCliente","J11222333000181"]},{"text":["edtConvidados","150"]},
        {"text":["edtValor","4360"]},{"click":"btnGravar"},{"click":"btnFechar"}]})";
    EXPECT_EQ(Run("0000000101", 1, QStringLiteral(R"([{"form":"TfrmProcOrca","actions":[{"check":"rbtAprovFechExec"},{"click":"sbtConfirma"}]},
        {"form":"TfrmORE00402","actions":[{"click":"btnContinuar"}]},{"password":"sup1"},%1])").arg(contractor)).last(),
              "Processamento realizado com sucesso.");
    EXPECT_EQ(Situation("0000000101"), "6");
    EXPECT_EQ(Run("0000000201", 2, R"([{"form":"TfrmProcOrca","actions":[{"check":"rbtAprovFech"},{"click":"sbtConfirma"}]},
        {"form":"TfrmORE09000","actions":[{"click":"btnFechar"}]}])").last(), "Processamento realizado com sucesso.");
    EXPECT_EQ(Situation("0000000201"), "3");
    EXPECT_EQ(Run("0000000301", 3, R"([{"form":"TfrmProcOrca","actions":[{"click":"sbtConfirma"}]}])").last(), "Processamento realizado com sucesso.");
    EXPECT_EQ(Situation("0000000301"), "6");
    // Executed totally, nothing is left to do.
    EXPECT_EQ(Findings("0000000301").value(0).code, "SITU_INV_ORC");
}

// A quote executed for materials gets its production, and a discount within the ceiling over
// every option, though above it on the option kept, asks for no one's word: the report finds
// nothing blocking either, and both finish.
TEST_P(Readiness, ExecutedForMaterialsAndADiscountWithinTheCeilingOverEveryOptionFinish)
{
    Exec("UPDATE ORCAEVENTO SET VRDESCORCEVE = 90 WHERE NRORCAEVENTO = '0000000102'");
    Exec("UPDATE PARAMORCA SET IDUTAPROVCOMORE = 'N', IDUTLPROPOSTAPGTO = 'N'");
    for (const char* quote : {"0000000102", "0000000501"})
        for (const Finding& f : Findings(quote))
            EXPECT_NE(f.severity, "B") << quote << " " << f.code.toStdString();
    EXPECT_EQ(Run("0000000501", 5, R"([{"form":"TfrmProcOrca","actions":[{"click":"sbtConfirma"}]}])").last(), "Processamento realizado com sucesso.");
    EXPECT_EQ(Situation("0000000501"), "6");
    EXPECT_EQ(Run("0000000102", 1, R"([{"form":"TfrmProcOrca","actions":[{"check":"rbtAprovar"},{"click":"sbtConfirma"}]},
        {"form":"TfrmORE00402","actions":[{"click":"btnContinuar"}]},{"tick":["01"]},{"answer":"yes"},{"tick":["001"]},{"answer":"yes"}])").last(),
              "Processamento realizado com sucesso.");
    EXPECT_EQ(Situation("0000000102"), "2");
}

TEST_P(Readiness, ThePreviewIsWhatTheExecutionMakes)
{
    struct Case {
        const char* name;
        const char* quote;
        const char* steps;
        const char* byComposition;   // the branch's IDTPPRODPEDOREV
    };
    const Case cases[] = {
        {"first execution", "0000000301", R"([{"form":"TfrmProcOrca","actions":[{"click":"sbtConfirma"}]}])", "O"},
        {"grown quote", "0000000303", R"([{"form":"TfrmProcOrca","actions":[{"click":"sbtConfirma"}]},{"answer":"yes"},
            {"form":"TfrmORE00610","actions":[{"click":"btnFechar"}]}])", "O"},
        {"by composition", "0000000301", R"([{"form":"TfrmProcOrca","actions":[{"click":"sbtConfirma"}]}])", "C"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fresh();
        Exec("UPDATE PARAMORCA SET IDTPPRODPEDOREV = ? WHERE CDFILIAL = '0001'", {c.byComposition});
        const QStringList before = OrderNumbers(c.quote);
        const QStringList preview = Preview(c.quote);
        EXPECT_FALSE(preview.isEmpty());
        Run(c.quote, 3, c.steps);
        EXPECT_EQ(preview, OrderedSince(c.quote, before));
    }
    // By composition the cake's materials are ordered, not the cake alone.
    EXPECT_TRUE(OrderedSince("0000000301", {}).contains("M|M001|4"));
}

TEST_P(Readiness, TheReportOnlyReads)
{
    const QVariant journal = Sql("SELECT COUNT(*) FROM JORNAL"), counters = Sql("SELECT SUM(NRULTIMO) FROM NUMERADOR");
    for (const char* quote : {"0000000101", "0000000105", "0000000111", "0000000303"})
        EXPECT_FALSE(Findings(quote).isEmpty()) << quote;
    EXPECT_EQ(Sql("SELECT COUNT(*) FROM JORNAL"), journal);
    EXPECT_EQ(Sql("SELECT SUM(NRULTIMO) FROM NUMERADOR"), counters);
    EXPECT_EQ(Sql("SELECT COUNT(*) FROM AGENDASALAO WHERE NRORCAEVENTO = '0000000101'").toInt(), 0);
    // Another branch's quote, or one that does not exist, is refused.
    EXPECT_FALSE(FailOf(Report("0000000202", "0002")).isEmpty());
    EXPECT_EQ(FailOf(Report("0000009999")), "Orçamento 0001/0000009999/01 não encontrado.");
}

TEST_P(Readiness, TheHistoryTellsWhoDidWhat)
{
    // A refused attempt, then the approval with the supervisor's word for the commercial one.
    EXPECT_FALSE(FailOf(Call("ORE00400.rdmAprovaOrca", "SetAprova", {"0000000101", "01", "0001", "GER1", "", "", "", "", "", "", "", "", "", ""})).isEmpty());
    Run("0000000101", 1, R"([{"form":"TfrmProcOrca","actions":[{"check":"rbtAprovar"},{"click":"sbtConfirma"}]},
        {"form":"TfrmORE00402","actions":[{"click":"btnContinuar"}]},{"password":"sup1"}])");
    TClientDataSet history;
    history.SetData(Call("CRV.rdmHost", "HistoricoOrcamento", {"0001", "0000000101"}));
    QStringList rows;
    for (history.First(); !history.Eof(); history.Next()) {
        auto f = [&](const char* name) { return history.FieldByName(QString::fromLatin1(name))->AsString(); };
        EXPECT_FALSE(history.FieldByName("DTREGISTRO")->IsNull());
        rows << f("CDOPERADOR") + " " + f("DSACAO") + " " + f("IDRESULTADO") + (f("DSMENSAGEM").startsWith("autorizado por") ? " " + f("DSMENSAGEM").left(19) : "");
    }
    EXPECT_EQ(rows.join(" / "), "OPER1 Aprovação refused / OPER1 Salões agendados ok / OPER1 Aprovação comercial ok autorizado por SUP1 / "
                                "OPER1 Aprovação ok / OPER1 Custo fixo ok");
    EXPECT_FALSE(FailOf(Call("CRV.rdmHost", "HistoricoOrcamento", {"0002", "0000000202"})).isEmpty());
}

} // namespace
