// ore-host as its users run it: a separate process, headless with a script, against the fake
// server, with its transcript and exit status.
#include "TestSupport.h"

#include "Variants.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

class OreHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = server.Port();
        server.Answer(QStringLiteral("CRV.rdmHost.Login"), QStringLiteral("token-de-teste"));
        server.Answer(QStringLiteral("CRV.rdmHost.Logout"), true);
        server.Answer(QStringLiteral("ORE06400.rdmProcOrca.GetOperControle"),
                      VarArrayOf({PacketVar({{"CDOPERADOR", TFieldType::String, 12}, {"CDPROCHABAPROPE", TFieldType::String, 30}},
                                            {{"OPER1", "APROVAR FECHAR EXECUTAR"}}),
                                  PacketVar({{"CDPROCHABAPRORE", TFieldType::String, 30}}, {})}));
    }

    struct Run {
        int status;
        QString errors;
        QList<QJsonObject> transcript;
        QStringList kinds() const
        {
            QStringList k;
            for (const auto& l : transcript)
                k << l.value("kind").toString();
            return k;
        }
    };

    Run run(const QStringList& entry, const char* script, const QString& password = QStringLiteral("oper1"))
    {
        QFile(dir.filePath("script.json")).remove();
        QFile file(dir.filePath("script.json"));
        file.open(QIODevice::WriteOnly);
        file.write(script);
        file.close();
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("ORE_PASSWORD"));
        if (!password.isNull())
            environment.insert(QStringLiteral("ORE_PASSWORD"), password);
        process.setProcessEnvironment(environment);
        process.start(QCoreApplication::applicationDirPath() + "/ore-host",
                      QStringList{"process"} + entry
                          + QStringList{"--server", QStringLiteral("http://127.0.0.1:%1").arg(port), "--headless", "--script",
                                        dir.filePath("script.json"), "--transcript", dir.filePath("transcript.jsonl")});
        EXPECT_TRUE(process.waitForFinished(30000));
        Run r{process.exitCode(), QString::fromLocal8Bit(process.readAllStandardError()), {}};
        QFile transcript(dir.filePath("transcript.jsonl"));
        if (transcript.open(QIODevice::ReadOnly))
            for (const QByteArray& line : transcript.readAll().split('\n'))
                if (!line.isEmpty())
                    r.transcript << QJsonDocument::fromJson(line).object();
        return r;
    }

    QStringList quote(const char* situation = "1")
    {
        return {"--situation", situation, "--branch", "0001", "--quote", "0000000123", "--seq", "01", "--operator", "OPER1", "--screen", "ORE00400"};
    }

    FakeServer server;
    quint16 port = 0;
    QTemporaryDir dir;
};

TEST_F(OreHost, RunsTheDialogFromAScriptAndEndsBlockedAfterAnError)
{
    // The approval stops at its first call; the dialog stays open until the script closes it.
    // The operator was shown an error: the operation did not go through, status 4.
    server.AnswerFail(QStringLiteral("ORE06400.rdmProcOrca.GetOrcaEvento"), QStringLiteral("Orçamento 0000000123/01 em uso por outro operador."));
    const Run r = run(quote(), R"({"steps":[
        {"form":"TfrmProcOrca","actions":[{"check":"rbtAprovFech"},{"click":"sbtConfirma"},{"close":true}]}
    ]})");
    EXPECT_EQ(r.status, 4) << r.errors.toStdString();
    EXPECT_EQ(r.kinds(), (QStringList{"start", "call", "form", "form", "wait", "call", "message", "wait", "form", "form", "form", "end"}));
    EXPECT_EQ(r.transcript[0], Json(R"({"kind":"start","args":[1,"0001","0000000123","01","OPER1","ORE00400"]})"));
    const QJsonObject shown = r.transcript[2];
    EXPECT_EQ(shown.value("form").toString(), "TfrmProcOrca");
    EXPECT_EQ(shown.value("caption").toString(), "Processar Orçamento");
    EXPECT_EQ(shown["widgets"]["edtOrcaEven"]["text"].toString(), "0000000123/01");
    EXPECT_EQ(shown["widgets"]["rbtAprovar"].toObject(), Json(R"({"text":"Aprovar","visible":true,"enabled":true,"checked":true,"top":20})"));
    EXPECT_EQ(shown["widgets"]["rbtAprovFechExec"].toObject(),
              Json(R"({"text":"Aprovar, Fechar e Executar","visible":true,"enabled":true,"checked":false,"top":74})"));
    EXPECT_EQ(r.transcript[6].value("text").toString(), "Orçamento 0000000123/01 em uso por outro operador.");
    EXPECT_EQ(r.transcript.last(), Json(R"({"kind":"end","status":4})"));
    // Logged in with ORE_PASSWORD before the module ran, the token on every call, logged out at the end.
    EXPECT_EQ(server.CallNames(), (QStringList{"CRV.rdmHost.Login", "ORE06400.rdmProcOrca.GetOperControle", "ORE06400.rdmProcOrca.GetOrcaEvento",
                                               "CRV.rdmHost.Logout"}));
    EXPECT_EQ(server.Calls().first().args, (QVariantList{"OPER1", "oper1", "0001"}));
    for (const FakeCall& call : server.Calls().mid(1)) {
        EXPECT_EQ(call.token, "token-de-teste") << call.name().toStdString();
        EXPECT_EQ(call.operatorCode, "OPER1");
        EXPECT_EQ(call.branch, "0001");
    }
}

TEST_F(OreHost, TellsATranscriptAsAnAccountOfTheOperation)
{
    server.AnswerFail(QStringLiteral("ORE06400.rdmProcOrca.GetOrcaEvento"), QStringLiteral("Orçamento 0000000123/01 em uso por outro operador."));
    run(quote(), R"({"steps":[{"form":"TfrmProcOrca","actions":[{"check":"rbtAprovFech"},{"click":"sbtConfirma"},{"close":true}]}]})");
    auto account = [&](QStringList options) {
        QProcess process;
        process.start(QCoreApplication::applicationDirPath() + "/ore-host", QStringList{"transcript"} + options << dir.filePath("transcript.jsonl"));
        EXPECT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitCode(), 0);
        return QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    };
    const QStringList full = account({});
    EXPECT_EQ(full, (QStringList{
                        "Orçamento 0000000123/01 da filial 0001, situação 1, operador OPER1, chamado pela tela ORE00400",
                        "chamada ORE06400.rdmProcOrca.GetOperControle: ok",
                        "Janela \"Processar Orçamento\" (TfrmProcOrca) aberta: (x) Aprovar, ( ) Aprovar e Fechar, ( ) Aprovar, Fechar e Executar",
                        "  O operador marca \"Aprovar e Fechar\" (rbtAprovFech)",
                        "  chamada ORE06400.rdmProcOrca.GetOrcaEvento: falhou – Orçamento 0000000123/01 em uso por outro operador.",
                        "  Erro: Orçamento 0000000123/01 em uso por outro operador.",
                        "  O operador aciona \"Confirmar\" (sbtConfirma)",
                        "  O operador fecha a janela",
                        "Janela \"Processar Orçamento\" (TfrmProcOrca) fechada",
                        "Fim: situação de saída 4 (operação bloqueada: um erro foi mostrado ao operador)"}))
        << full.join('\n').toStdString();
    // In brief, what the operator saw and answered, without the calls.
    QStringList brief = full;
    brief.removeIf([](const QString& l) { return l.trimmed().startsWith("chamada"); });
    EXPECT_EQ(account({"--brief"}), brief);
}

TEST_F(OreHost, LogsInWithThePasswordOfTheEnvironmentOrStops)
{
    // Headless without ORE_PASSWORD there is nowhere to ask: status 2, nothing called.
    Run r = run(quote(), R"({"steps":[]})", QString());
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.errors.contains("falta a senha de OPER1")) << r.errors.toStdString();
    EXPECT_TRUE(server.Calls().isEmpty());

    // A refused login is an error with the server's words; the module never starts.
    server.AnswerFail(QStringLiteral("CRV.rdmHost.Login"), QStringLiteral("Operador ou senha inválidos."));
    r = run(quote(), R"({"steps":[]})", QStringLiteral("errada"));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.errors.contains("Operador ou senha inválidos.")) << r.errors.toStdString();
    EXPECT_FALSE(r.errors.contains("errada"));
    EXPECT_EQ(server.CallNames(), QStringList{"CRV.rdmHost.Login"});
}

TEST_F(OreHost, StepsLeftUnusedAreListedAndEndWithThree)
{
    // The dialog closes before the script's question step is reached.
    const Run r = run(quote(), R"({"steps":[
        {"form":"TfrmProcOrca","actions":[{"close":true}]},
        {"answer":"yes"}, {"password":"segredo"}
    ]})");
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.errors.contains("2 passo(s) do script não foram usados.")) << r.errors.toStdString();
    ASSERT_GE(r.transcript.size(), 2);
    EXPECT_EQ(r.transcript[r.transcript.size() - 2], Json(R"({"kind":"unused","steps":[{"answer":"yes"},{"password":"********"}]})"));
    EXPECT_EQ(r.transcript.last(), Json(R"({"kind":"end","status":3})"));

    // Closed normally, every step used and no error shown: status 0.
    EXPECT_EQ(run(quote(), R"({"steps":[{"form":"TfrmProcOrca","actions":[{"close":true}]}]})").status, 0);
}

TEST_F(OreHost, EndsWithThreeWhenTheScriptLeavesSomethingUnscripted)
{
    const Run r = run(quote(), R"({"steps":[{"answer":"yes"}]})");
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.kinds().contains("unscripted"));
    EXPECT_EQ(r.transcript.last(), Json(R"({"kind":"end","status":3})"));
}

TEST_F(OreHost, PrintsATranscriptWithoutItsPasswords)
{
    // A transcript of an older version, which kept a password in an unscripted line.
    QFile file(dir.filePath("antiga.jsonl"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"kind":"start","args":[1,"0001","0000000123","01","OPER1","ORE00400"]})" "\n"
               R"({"kind":"unscripted","interaction":"confirmation","detail":"Deseja continuar?","next":{"password":"segredo"}})" "\n");
    file.close();
    QProcess process;
    process.start(QCoreApplication::applicationDirPath() + "/ore-host", {"transcript", file.fileName()});
    ASSERT_TRUE(process.waitForFinished(30000));
    const QString printed = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(printed.contains("********")) << printed.toStdString();
    EXPECT_FALSE(printed.contains("segredo")) << printed.toStdString();
}

TEST_F(OreHost, ReportsARefusedEntryAndAnUnreachableServer)
{
    Run r = run(quote("abc"), R"({"steps":[]})");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.errors.contains("IniProc: o elemento 0 (\"abc\") não é um número inteiro.")) << r.errors.toStdString();
    EXPECT_EQ(server.CallNames(), (QStringList{"CRV.rdmHost.Login", "CRV.rdmHost.Logout"}));

    r = run(quote() << "--db" << "sqlite:/nao/existe/locais.db", R"({"steps":[]})");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.errors.contains("O banco de localidades não pôde ser aberto")) << r.errors.toStdString();

    server.Rpc().Stop();
    r = run(quote(), R"({"steps":[]})");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.errors.contains(QStringLiteral("Não foi possível conectar ao servidor 127.0.0.1:%1. Verifique se ele está no ar.").arg(port)))
        << r.errors.toStdString();
    EXPECT_TRUE(r.errors.contains("Detalhe: CRV.rdmHost.Login: ")) << r.errors.toStdString();

    r = run({"--situation", "1"}, R"({"steps":[]})");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.errors.contains("falta --branch")) << r.errors.toStdString();
}

// ore-host check: the report printed, and the exit status that says whether the next action is blocked.
TEST_F(OreHost, CheckPrintsTheReportAndTellsWhetherTheNextActionIsBlocked)
{
    const QList<TPacketField> fields{{"IDACAO", TFieldType::String, 8},       {"IDGRAVIDADE", TFieldType::String, 1}, {"IDPROXIMA", TFieldType::String, 1},
                                     {"CDPENDENCIA", TFieldType::String, 30}, {"DSMENSAGEM", TFieldType::String, 500}, {"DSDETALHE", TFieldType::String, 500}};
    auto check = [&](const QList<QVariantList>& rows, const QString& password = QStringLiteral("oper1")) {
        server.Answer(QStringLiteral("CRV.rdmHost.VerificaOrcamento"), PacketVar(fields, rows));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("ORE_PASSWORD"));
        if (!password.isEmpty())
            environment.insert(QStringLiteral("ORE_PASSWORD"), password);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.start(QCoreApplication::applicationDirPath() + "/ore-host",
                      {"check", "--server", QStringLiteral("http://127.0.0.1:%1").arg(port), "--branch", "0001", "--quote", "0000000105", "--seq", "01",
                       "--operator", "OPER1"});
        EXPECT_TRUE(process.waitForFinished(30000));
        return std::pair{process.exitCode(), QString::fromUtf8(process.readAllStandardOutput())};
    };
    const auto [blocked, report] = check({{"APROVAR", "B", "S", "Orc_Pai_Aprov", "Orçamento filho não pode ser aprovado.", "orçamento original 0000000106"},
                                          {"FECHAR", "A", "N", "CONTRATANTE_N_INF", "Não há contratante.", Null()}});
    EXPECT_EQ(blocked, 4);
    EXPECT_EQ(report, "Orçamento 0001/0000000105/01\n"
                      "Aprovar está bloqueado: 1 pendência(s).\n"
                      "  Aprovar   Bloqueia  Orc_Pai_Aprov: Orçamento filho não pode ser aprovado. (orçamento original 0000000106)\n"
                      "  Fechar    Aviso     CONTRATANTE_N_INF: Não há contratante.\n");
    const auto calls = server.CallsTo("CRV.rdmHost.VerificaOrcamento");
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0].args, (QVariantList{"0001", "0000000105", "01"}));

    // A warning, or a block of a later action, leaves the next one free.
    EXPECT_EQ(check({{"APROVAR", "A", "S", "Orc_N_MObra", "Sem mão de obra.", Null()}, {"EXECUTAR", "B", "N", "Inf_PreBase", "Sem preço base.", Null()}}).first, 0);
    EXPECT_EQ(check({}).first, 0);
    // Without a password and without a display, it cannot log in.
    EXPECT_EQ(check({}, QString()).first, 2);
}

// The command lines as a newcomer types them, without a display: what each prints and the
// status it ends with.
struct CommandLineCase {
    const char* program;
    QStringList arguments;
    int status;
    const char* printed;   // on the standard output, or on the error output when the status is not 0
};

class CommandLines : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLines, PrintAndEndAsDocumented)
{
    const CommandLineCase& c = GetParam();
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "ORE_PASSWORD"})
        environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QDir::tempPath());
    process.start(QCoreApplication::applicationDirPath() + "/" + c.program, c.arguments);
    ASSERT_TRUE(process.waitForFinished(30000));
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput()), errors = QString::fromLocal8Bit(process.readAllStandardError());
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << errors.toStdString();
    EXPECT_EQ(process.exitCode(), c.status) << errors.toStdString();
    const QString& printed = c.status == 0 ? out : errors;
    EXPECT_TRUE(printed.contains(QString::fromUtf8(c.printed))) << out.toStdString() << errors.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLines,
    ::testing::Values(CommandLineCase{"ore-host", {"--help"}, 0, "uso: ore-host [list]"},
                      CommandLineCase{"ore-host", {"-h"}, 0, "Situação de saída: 0 concluído"},
                      CommandLineCase{"ore-host", {"help"}, 0, "ore-host transcript [--brief] ARQUIVO"},
                      CommandLineCase{"ore-host", {"process", "--help"}, 0, "ore-host process --situation N"},
                      CommandLineCase{"ore-host", {"check", "--quote", "0000000101"}, 2, "falta --operator"},
                      CommandLineCase{"ore-host", {}, 2, "a lista de orçamentos é uma janela e não há tela"},
                      CommandLineCase{"ore-host", {"nada"}, 2, "comando desconhecido: nada"},
                      CommandLineCase{"ore-host", {"quotes", "--operador", "OPER1"}, 2, "opção desconhecida: --operador"},
                      CommandLineCase{"ore-host", {"quotes", "--operator"}, 2, "falta o valor de --operator"},
                      CommandLineCase{"ore-host", {"quotes", "--operator", "OPER1", "sobra"}, 2, "argumento inesperado: sobra"},
                      CommandLineCase{"ore-host", {"transcript", "/nao/existe.jsonl"}, 2, "a transcrição /nao/existe.jsonl não existe."},
                      CommandLineCase{"ore-host", {"transcript"}, 2, "uso: ore-host transcript [--brief] ARQUIVO"},
                      CommandLineCase{"ore-server", {"--help"}, 0, "padrão sqlite:ore.db, o arquivo ore.db da pasta corrente"},
                      CommandLineCase{"ore-server", {"journal", "-h"}, 0, "uso: ore-server journal"},
                      CommandLineCase{"ore-server", {"sobra"}, 2, "argumento inesperado: sobra"},
                      CommandLineCase{"ore-server", {"--porta", "1"}, 2, "opção desconhecida: --porta"}),
    [](const ::testing::TestParamInfo<CommandLineCase>& row) {
        QString name = QString::fromLatin1(row.param.program) + QLatin1Char('_') + row.param.arguments.join(QLatin1Char('_'));
        name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")), QStringLiteral("_"));
        return QStringLiteral("%1_%2").arg(row.index).arg(name).toStdString();
    });

} // namespace
