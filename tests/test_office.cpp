// An office's own store, from ore-server's command line: init, then the operators.
#include "ServerCommands.h"
#include "ServerObjects.h"
#include "Sessions.h"
#include "Store.h"
#include "Variants.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class Office : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        if (QByteArray(GetParam()) == "postgresql") {
            url = qEnvironmentVariable("ORE_TEST_PG");
            if (url.isEmpty())
                GTEST_SKIP() << "ORE_TEST_PG is not set: no PostgreSQL for this run";
            TStore store(url);
            QSqlDatabase db = store.connection();
            ::Run(db, u"DROP SCHEMA public CASCADE"_s);
            ::Run(db, u"CREATE SCHEMA public"_s);
        } else {
            url = u"sqlite:"_s + dir.filePath(u"office.db"_s);
        }
        qputenv("ORE_PASSWORD", "segredo123");
    }
    void TearDown() override { qunsetenv("ORE_PASSWORD"); }

    // `ore-server COMMAND ARGS… --db URL`, in this process; its exit status.
    int Ore(const QString& command, QStringList args)
    {
        args = QStringList{u"ore-server"_s} + args + QStringList{u"--db"_s, url};
        return command == "init"_L1 ? RunInit(args) : RunOperator(args);
    }
    int Init() { return Ore(u"init"_s, {u"--branch"_s, u"0010"_s, u"--branch-name"_s, u"Salão Sul"_s, u"--manager"_s, u"ANA"_s, u"--manager-name"_s, u"Ana Gerente"_s}); }

    // The answer of a call to `objects`: "ok", the failed result's text, or the error's.
    static QString Answer(TServerObjects& objects, const TRpcRequest& request, QVariant* result = nullptr)
    {
        const TRpcReply reply = objects.Dispatch(request);
        if (result)
            *result = reply.result;
        return reply.isError ? reply.errorMessage : VarIsFail(reply.result) ? reply.result.value<TFailResult>().text : u"ok"_s;
    }
    static QString Login(TServerObjects& objects, const char* code, const char* password, const char* branch = "0010", QString* token = nullptr)
    {
        QVariant result;
        const TRpcRequest login{u"CRV.rdmHost"_s, u"Login"_s, {QString::fromLatin1(code), QString::fromLatin1(password), QString::fromLatin1(branch)}, {}, {}, {}};
        const QString answer = Answer(objects, login, &result);
        if (token)
            *token = result.toString();
        return answer;
    }
    QVariant Sql(const QString& sql)
    {
        TStore store(url);
        QSqlDatabase db = store.connection();
        return Scalar(db, sql);
    }

    QTemporaryDir dir;
    QString url;
};
INSTANTIATE_TEST_SUITE_P(Backends, Office, ::testing::Values("sqlite", "postgresql"), [](const auto& i) { return std::string(i.param); });

TEST_P(Office, InitMakesAStoreItsManagerLogsInto)
{
    // No password to be had, or a bad one: nothing is made.
    qunsetenv("ORE_PASSWORD");
    EXPECT_EQ(Init(), 2) << "no terminal and no ORE_PASSWORD";
    for (const char* bad : {"curta", "ana"}) {
        qputenv("ORE_PASSWORD", bad);
        EXPECT_EQ(Init(), 2) << bad;
    }
    qputenv("ORE_PASSWORD", "segredo123");
    EXPECT_EQ(Ore(u"init"_s, {u"--branch"_s, u"0010"_s}), 2) << "the manager missing";

    ASSERT_EQ(Init(), 0);
    TStore store(url);
    TServerObjects objects(store);
    RegisterAll(objects);
    EXPECT_EQ(Login(objects, "ANA", "segredo123"), "ok");
    EXPECT_EQ(Sql(u"SELECT IDTPTRATDESCORE || QTMINAUTSUPORE FROM PARAMORCA WHERE CDFILIAL = '0010'"_s).toString(), "A60") << "the branch's defaults";
    EXPECT_EQ(Sql(u"SELECT IDCARGOVEND FROM VENDEDOR V JOIN OPERADOR O ON O.CDVENDEDOR = V.CDVENDEDOR WHERE O.CDOPERADOR = 'ANA'"_s).toString(), "G");

    // A store that holds a branch is refused, and left as it was.
    EXPECT_EQ(Ore(u"init"_s, {u"--branch"_s, u"0011"_s, u"--branch-name"_s, u"Outra"_s, u"--manager"_s, u"BIA"_s, u"--manager-name"_s, u"Bia"_s}), 2);
    EXPECT_EQ(Sql(u"SELECT COUNT(*) FROM FILIAL"_s).toInt(), 1);
    EXPECT_EQ(Sql(u"SELECT COUNT(*) FROM JORNAL WHERE NMOBJETO = 'ore-server' AND NMMETODO = 'init'"_s).toInt(), 1);
}

TEST_P(Office, EachOperatorCommandChangesWhatItSaysAndIsJournalled)
{
    ASSERT_EQ(Init(), 0);
    TStore store(url);
    TServerObjects objects(store, TSessionPolicy{.lockoutAfter = 2});
    RegisterAll(objects);
    const QStringList joao{u"add"_s, u"JOAO"_s, u"--name"_s, u"João Vendedor"_s, u"--branch"_s, u"0010"_s, u"--salesperson"_s, u"V01"_s,
                           u"--supervisor"_s, u"G01"_s, u"--rights"_s, u"aprovar,fechar"_s};
    EXPECT_EQ(Ore(u"operator"_s, joao), 0);
    EXPECT_EQ(Ore(u"operator"_s, joao), 2) << "a code taken";
    EXPECT_EQ(Ore(u"operator"_s, {u"add"_s, u"ZE"_s, u"--name"_s, u"Zé"_s, u"--branch"_s, u"0099"_s}), 2) << "a branch that does not exist";
    EXPECT_EQ(Ore(u"operator"_s, {u"add"_s, u"ZE"_s, u"--name"_s, u"Zé"_s, u"--branch"_s, u"0010"_s, u"--rights"_s, u"APAGAR"_s}), 2);
    EXPECT_EQ(Ore(u"operator"_s, {u"passwd"_s, u"NINGUEM"_s}), 2);
    EXPECT_EQ(Ore(u"operator"_s, {u"sumir"_s, u"JOAO"_s}), 2);
    EXPECT_EQ(Login(objects, "JOAO", "segredo123"), "ok");
    EXPECT_EQ(Sql(u"SELECT CDPROCHABAPROPE || '|' || CDVENDEDORSUP FROM OPERCONTROLE C JOIN VENDEDOR V ON V.CDVENDEDOR = 'V01' WHERE C.CDOPERADOR = 'JOAO'"_s)
                  .toString(),
              "APROVAR FECHAR|G01");

    // rights: his own on one screen, then his branch's.
    EXPECT_EQ(Ore(u"operator"_s, {u"rights"_s, u"JOAO"_s, u"--rights"_s, u"EXECUTAR"_s, u"--screens"_s, u"ORE00800"_s}), 0);
    EXPECT_EQ(Sql(u"SELECT COALESCE(CDPROCHABAPROPE, '') || '|' || CDPROCHABFECOPE FROM OPERCONTROLE WHERE CDOPERADOR = 'JOAO'"_s).toString(), "|EXECUTAR");
    EXPECT_EQ(Ore(u"operator"_s, {u"rights"_s, u"JOAO"_s, u"--rights"_s, u"-"_s}), 0);
    EXPECT_EQ(Sql(u"SELECT COUNT(*) FROM OPERCONTROLE WHERE CDOPERADOR = 'JOAO'"_s).toInt(), 0);

    // passwd: the old password no longer serves.
    qputenv("ORE_PASSWORD", "outrasenha9");
    EXPECT_EQ(Ore(u"operator"_s, {u"passwd"_s, u"JOAO"_s}), 0);
    EXPECT_EQ(Login(objects, "JOAO", "outrasenha9"), "ok");

    // unlock: an operator locked by failures from several addresses logs in again.
    for (const char* peer : {"10.0.0.1", "10.0.0.2", "10.0.0.3"})
        Answer(objects, {u"CRV.rdmHost"_s, u"Login"_s, {u"JOAO"_s, u"errada"_s, u"0010"_s}, {}, {}, {}, QString::fromLatin1(peer)});
    EXPECT_TRUE(Login(objects, "JOAO", "outrasenha9").contains("bloqueado"));
    EXPECT_EQ(Ore(u"operator"_s, {u"unlock"_s, u"JOAO"_s}), 0);
    EXPECT_EQ(Login(objects, "JOAO", "outrasenha9"), "ok");

    // disable: his live session ends on every server of the store, and he cannot log in.
    QString token;
    ASSERT_EQ(Login(objects, "JOAO", "outrasenha9", "0010", &token), "ok");
    TStore secondStore(url);
    TServerObjects second(secondStore);
    RegisterAll(second);
    const TRpcRequest read{u"ORE06400.rdmProcOrca"_s, u"GetOperCadProd"_s, {u"JOAO"_s}, {}, {}, token};
    EXPECT_EQ(Answer(second, read), "ok");
    EXPECT_EQ(Answer(second, read), "ok") << "kept by the second server";
    EXPECT_EQ(Ore(u"operator"_s, {u"disable"_s, u"JOAO"_s}), 0);
    QString answer;
    for (QElapsedTimer clock; !clock.isValid() || clock.elapsed() < 5000; QThread::msleep(50)) {
        if (!clock.isValid())
            clock.start();
        if ((answer = Answer(second, read)) != "ok"_L1)
            break;
    }
    EXPECT_EQ(answer, QString::fromUtf8(kSessionInvalid));
    EXPECT_EQ(Login(objects, "JOAO", "outrasenha9"), "O operador JOAO está desativado.");
    EXPECT_EQ(Ore(u"operator"_s, {u"enable"_s, u"JOAO"_s}), 0);
    EXPECT_EQ(Login(objects, "JOAO", "outrasenha9"), "ok");

    // list, as the office reads it.
    EXPECT_EQ(Ore(u"operator"_s, {u"disable"_s, u"JOAO"_s}), 0);
    QProcess list;
    list.start(QCoreApplication::applicationDirPath() + u"/ore-server"_s, {u"operator"_s, u"list"_s, u"--db"_s, url});
    ASSERT_TRUE(list.waitForFinished(30000));
    const QStringList lines = QString::fromUtf8(list.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(lines[1].startsWith("ANA"_L1) && lines[1].endsWith("ativo"_L1)) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].contains(u"João Vendedor"_s) && lines[2].contains("os da filial"_L1) && lines[2].endsWith("desativado"_L1)) << lines[2].toStdString();

    // Every change is in the journal, as the administration's, and no password anywhere in it.
    EXPECT_EQ(Sql(u"SELECT COUNT(*) FROM JORNAL WHERE NMOBJETO = 'ore-server' AND CDOPERADOR = '(administração)'"_s).toInt(), 9);
    EXPECT_EQ(Sql(u"SELECT COUNT(*) FROM JORNAL WHERE DSMENSAGEM LIKE '%segredo%' OR DSARGUMENTOS LIKE '%segredo%' "
                  "OR DSMENSAGEM LIKE '%outrasenha%' OR DSARGUMENTOS LIKE '%outrasenha%'"_s).toInt(), 0);
}

} // namespace
