// The journal of who did what, on SQLite and PostgreSQL: what a refused call costs it, and its
// chain, which every kind of rewrite breaks and `ore-server journal --verify` walks.
#include "ServerFixture.h"
#include "TestSupport.h"

#include "Errors.h"
#include "Journal.h"
#include "NetConnection.h"
#include "ServerSession.h"
#include "Variants.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTcpSocket>
#include <QUrl>

#include <thread>

namespace {

const QString kProc = QStringLiteral("ORE06400.rdmProcOrca");
const QString kAprova = QStringLiteral("ORE00400.rdmAprovaOrca");
const QString kHost = QStringLiteral("CRV.rdmHost");

class JournalTest : public ServerFixture {
protected:
    bool OnSQLite() const { return store->dialect() == TStore::SQLite; }


    qint64 Entries() { return Sql("SELECT COUNT(*) FROM JORNAL").toLongLong(); }

    Journal::TVerification Verify()
    {
        QSqlDatabase db = store->connection();
        return Journal::Verify(db);
    }

    // `ore-server journal` with these arguments: its exit status, standard output and error.
    std::tuple<int, QString, QString> OreServerJournal(const QStringList& arguments)
    {
        QProcess process;
        process.start(QCoreApplication::applicationDirPath() + "/ore-server", QStringList{"journal", "--db", store->url()} + arguments);
        EXPECT_TRUE(process.waitForFinished(30000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
    }

    // Statements run in one transaction that is undone afterwards, with what `inside` finds
    // before the undoing.
    template <class Inside>
    auto Undone(const QStringList& statements, Inside inside)
    {
        QSqlDatabase db = store->connection();
        ::Run(db, QStringLiteral("BEGIN"));
        try {
            for (const QString& statement : statements)
                ::Run(db, statement);
        } catch (...) {
            ::Run(db, QStringLiteral("ROLLBACK"));
            throw;
        }
        auto found = inside(db);
        ::Run(db, QStringLiteral("ROLLBACK"));
        return found;
    }

    // The store's triggers on the journal set aside, as its owner could.
    QStringList TriggersOff() const
    {
        if (OnSQLite())
            return {"DROP TRIGGER JORNAL_SEM_ALTERACAO", "DROP TRIGGER JORNAL_SEM_EXCLUSAO", "DROP TRIGGER JORNAL_SEM_SUBSTITUICAO"};
        return {"ALTER TABLE JORNAL DISABLE TRIGGER USER"};
    }

    // Some journalled activity: a login refused, changes made and refused.
    void Activity()
    {
        EXPECT_TRUE(Call(kAprova, "SetModPgto", {"02", "0001", "0000000101", "", "", "C"}).toBool());
        EXPECT_TRUE(Call(kHost, "ConfSenha", {"SUP1", "errada"}).isValid());
        EXPECT_TRUE(Call(kAprova, "SetModPgto", {"03", "0001", "0000000101", "", "", "C"}).toBool());
        EXPECT_TRUE(Call(kHost, "ConfSenha", {"SUP1", "sup1"}).toBool());
        EXPECT_TRUE(Call(kAprova, "SetModPgto", {"04", "0001", "0000000101", "", "", "C"}).toBool());
    }
};
SERVER_BACKENDS(JournalTest);

// Calls refused without a session cost the journal one entry per caller's address and minute,
// with what was called, why and how often, and never their arguments, however large.
TEST_P(JournalTest, RefusalsWithoutASessionAreCountedPerAddressAndMinute)
{
    const qint64 before = Entries();
    const QString token = Session().token;
    Session().token.clear();
    const QString large(60 * 1024, QLatin1Char('x'));
    for (int i = 0; i < 30; ++i)
        EXPECT_TRUE(TransportErrorOf(kProc, "GetOperControle", {large}).contains("HTTP 401")) << i;
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(TransportErrorOf(kHost, "ConfSenha", {"SUP1", "x"}).contains("HTTP 401")) << i;
    // A body too large for a caller without a session is refused before it is read, and counted.
    QTcpSocket fat;
    fat.connectToHost(QStringLiteral("127.0.0.1"), server->Port());
    ASSERT_TRUE(fat.waitForConnected(2000));
    fat.write("POST /rpc/ORE06400.rdmProcOrca HTTP/1.1\r\nHost: x\r\nContent-Length: 16777215\r\n\r\n");
    fat.flush();
    QByteArray answer;
    while (fat.waitForReadyRead(2000))
        answer += fat.readAll();
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 401")) << answer.toStdString();

    // Nothing is written while the minute lasts (but for a minute that ended meanwhile).
    objects->JournalRefusals();
    EXPECT_LE(Entries() - before, 1);
    objects->SetClockAhead(120);
    objects->JournalRefusals();
    objects->SetClockAhead(0);
    const QString newEntries = QStringLiteral(" FROM JORNAL WHERE NRJORNAL > (SELECT MAX(NRJORNAL) - %1 FROM JORNAL)").arg(Entries() - before);
    const qint64 lines = Entries() - before;
    ASSERT_GE(lines, 1);
    EXPECT_LE(lines, 2) << "one line per address and minute: the calls may have crossed into a second minute";
    EXPECT_EQ(Sql("SELECT COUNT(*)" + newEntries + " AND DSARGUMENTOS IS NULL AND DSORIGEM = '127.0.0.1' AND IDRESULTADO = 'refused' "
                  "AND CDOPERADOR IS NULL").toLongLong(),
              lines);
    const QString messages = Sql("SELECT " + QString(OnSQLite() ? "GROUP_CONCAT(DSMENSAGEM, ' | ')" : "STRING_AGG(DSMENSAGEM, ' | ')") + newEntries).toString();
    int total = 0;
    for (const QString& message : messages.split(" | "))
        total += message.section(' ', 0, 0).toInt();
    EXPECT_EQ(total, 36) << messages.toStdString();
    for (const char* named : {"chamada(s) recusada(s) sem sessão, de 127.0.0.1, entre ",
                              "ORE06400.rdmProcOrca.GetOperControle: Sessão inválida ou expirada. Entre novamente. (",
                              "CRV.rdmHost.ConfSenha: Sessão inválida ou expirada. Entre novamente. (",
                              "ORE06400.rdmProcOrca: corpo de 16777215 bytes sem uma sessão válida (1×)"})
        EXPECT_TRUE(messages.contains(QString::fromUtf8(named))) << named << "\n" << messages.toStdString();
    if (lines == 1) {
        EXPECT_TRUE(messages.contains("GetOperControle: Sessão inválida ou expirada. Entre novamente. (30×)")) << messages.toStdString();
    }

    // The password check of a call without a session was not counted against the operator.
    EXPECT_TRUE(Sql("SELECT QTFALHAS FROM TENTATIVASENHA WHERE CDOPERADOR = 'SUP1'").isNull() ||
                Sql("SELECT QTFALHAS FROM TENTATIVASENHA WHERE CDOPERADOR = 'SUP1'").toInt() == 0);
    Session().token = token;
    EXPECT_FALSE(Verify().broken.has_value());
}

// A call refused with a session, or a change that failed, keeps a glimpse of its arguments; a
// change made keeps them whole.
TEST_P(JournalTest, ARefusedCallKeepsAGlimpseOfItsArguments)
{
    QVariantList approval{"0000000102", "01", "0001", "GER1", QString(100 * 1024, QLatin1Char('r')), "1058", "PE", "2611", "0000000001", "", "T",
                          "J11222333000181", "", ""};
    EXPECT_FALSE(FailOf(Call(kAprova, "SetAprova", approval)).isEmpty());
    const QString glimpse = Sql("SELECT DSARGUMENTOS FROM JORNAL WHERE NMMETODO = 'SetAprova' ORDER BY NRJORNAL DESC").toString();
    EXPECT_TRUE(glimpse.startsWith(QStringLiteral("[\"0000000102\",\"01\",\"0001\",\"GER1\",\"") + QString(60, QLatin1Char('r')) + "… (102400 caracteres)\",\"1058\""))
        << glimpse.left(300).toStdString();
    EXPECT_LT(glimpse.size(), 600);
    EXPECT_EQ(Sql("SELECT IDRESULTADO FROM JORNAL WHERE NMMETODO = 'SetAprova' ORDER BY NRJORNAL DESC"), "refused");
    EXPECT_EQ(Sql("SELECT DSORIGEM FROM JORNAL WHERE NMMETODO = 'SetAprova' ORDER BY NRJORNAL DESC"), "127.0.0.1");

    // Headers that name someone else: refused with the session's name, a glimpse too.
    Session().operador = QStringLiteral("GER1");
    EXPECT_TRUE(TransportErrorOf(kProc, "GetOperControle", {QString(70, QLatin1Char('g'))}).contains("HTTP 403"));
    Session().operador = QStringLiteral("OPER1");
    EXPECT_EQ(Sql("SELECT CDOPERADOR || ' ' || DSARGUMENTOS FROM JORNAL WHERE NMMETODO = 'GetOperControle' ORDER BY NRJORNAL DESC"),
              QStringLiteral("OPER1 [\"") + QString(60, QLatin1Char('g')) + "… (70 caracteres)\"]");

    EXPECT_TRUE(Call(kAprova, "SetModPgto", {"02", "0001", "0000000101", "", "", "C"}).toBool());
    EXPECT_EQ(Sql("SELECT DSARGUMENTOS FROM JORNAL WHERE NMMETODO = 'SetModPgto' ORDER BY NRJORNAL DESC"), R"(["02","0001","0000000101","","","C"])");
}

// The store refuses every way of changing the journal or its link that does not bypass its
// triggers, and every rewrite that does breaks the chain at the first entry it touched.
TEST_P(JournalTest, EachRewriteBreaksTheChainAtTheFirstEntryItTouched)
{
    Activity();
    Journal::TVerification intact = Verify();
    ASSERT_FALSE(intact.broken.has_value()) << intact.broken->toStdString();
    const qint64 count = Entries();
    ASSERT_GE(count, 5);
    EXPECT_EQ(intact.verified, count);
    const qint64 first = Sql("SELECT MIN(NRJORNAL) FROM JORNAL").toLongLong(), last = Sql("SELECT MAX(NRJORNAL) FROM JORNAL").toLongLong();
    const qint64 middle = Sql("SELECT MIN(NRJORNAL) FROM JORNAL WHERE NRJORNAL > ?", {first + (last - first) / 2}).toLongLong();
    const qint64 afterMiddle = Sql("SELECT MIN(NRJORNAL) FROM JORNAL WHERE NRJORNAL > ?", {middle}).toLongLong();
    const qint64 middlePlace = Sql("SELECT COUNT(*) FROM JORNAL WHERE NRJORNAL <= ?", {middle}).toLongLong();

    // Refused by the store, triggers and all.
    QStringList refused{"UPDATE JORNAL SET IDRESULTADO = 'ok'", "DELETE FROM JORNAL", QString("DELETE FROM JORNAL WHERE NRJORNAL = %1").arg(last),
                        "UPDATE JORNALELO SET QTREGISTROS = 0, NRJORNAL = 0", "DELETE FROM JORNALELO",
                        "INSERT INTO JORNALELO (IDELO, NRJORNAL, QTREGISTROS, DSHASH) VALUES (2, 0, 0, 'x')"};
    if (OnSQLite())
        refused << QString("INSERT OR REPLACE INTO JORNAL (NRJORNAL, DTREGISTRO, NMOBJETO, NMMETODO, IDRESULTADO) VALUES (%1, 'x', 'x', 'x', 'ok')").arg(first)
                << "INSERT OR REPLACE INTO JORNALELO (IDELO, NRJORNAL, QTREGISTROS, DSHASH) VALUES (1, 0, 0, 'x')";
    else
        refused << "TRUNCATE JORNAL" << "TRUNCATE JORNALELO"
                << QString("INSERT INTO JORNAL (NRJORNAL, DTREGISTRO, NMOBJETO, NMMETODO, IDRESULTADO) VALUES (%1, 'x', 'x', 'x', 'ok') "
                           "ON CONFLICT (NRJORNAL) DO UPDATE SET IDRESULTADO = 'ok'")
                       .arg(first);
    for (const QString& statement : refused)
        EXPECT_THROW(Exec(statement), EHostError) << statement.toStdString();
    EXPECT_EQ(Entries(), count);

    // Bypassing them, as the store's owner could: each rewrite is found.
    const QString replaceFirst =
        OnSQLite() ? QString("INSERT OR REPLACE INTO JORNAL (NRJORNAL, DTREGISTRO, NMOBJETO, NMMETODO, IDRESULTADO, DSHASH) "
                             "SELECT NRJORNAL, DTREGISTRO, NMOBJETO, NMMETODO, 'ok', DSHASH FROM JORNAL WHERE NRJORNAL = %1")
                         .arg(first)
                   : QString("UPDATE JORNAL SET NMMETODO = 'Logout', DSARGUMENTOS = NULL WHERE NRJORNAL = %1").arg(first);
    const struct {
        const char* what;
        QStringList statements;
        QString found;
    } rewrites[] = {
        {"a field rewritten", {QString("UPDATE JORNAL SET IDRESULTADO = 'ok', DSMENSAGEM = NULL WHERE NRJORNAL = %1").arg(middle)},
         QString("o registro %1 (o %2º da cadeia) não confere com seu elo").arg(middle).arg(middlePlace)},
        {"an entry deleted in the middle", {QString("DELETE FROM JORNAL WHERE NRJORNAL = %1").arg(middle)},
         QString("o registro %1 (o %2º da cadeia) não confere com seu elo").arg(afterMiddle).arg(middlePlace)},
        {"the last entries deleted", {QString("DELETE FROM JORNAL WHERE NRJORNAL > %1").arg(middle)},
         QString("faltam registros no fim do jornal: o elo registra %1 registro(s), até o %2, e o jornal tem %3, até o %4.")
             .arg(count)
             .arg(last)
             .arg(middlePlace)
             .arg(middle)},
        {"the journal emptied", {OnSQLite() ? "DELETE FROM JORNAL" : "TRUNCATE JORNAL"},
         QString("faltam registros no fim do jornal: o elo registra %1 registro(s), até o %2, e o jornal tem 0").arg(count).arg(last)},
        {"the first entry replaced", {replaceFirst}, QString("o registro %1 (o 1º da cadeia) não confere com seu elo").arg(first)},
        {"an entry forged at the end",
         {"INSERT INTO JORNAL (DTREGISTRO, NMOBJETO, NMMETODO, IDRESULTADO, DSHASH) SELECT '2026-12-11T10:00:00.000', 'CRV.rdmHost', 'Login', 'ok', DSHASH "
          "FROM JORNALELO"},
         QString("está além do último elo (o jornal registra %1 registro(s), até o %2): foi incluído por fora do servidor.").arg(count).arg(last)},
        {"the link dropped", {"DROP TABLE JORNALELO"}, "a tabela JORNALELO, que guarda o elo do jornal, não pode ser lida"},
        {"the journal dropped", {"DROP TABLE JORNAL" + QString(OnSQLite() ? "" : " CASCADE")}, "a tabela JORNAL não pode ser lida"},
    };
    for (const auto& rewrite : rewrites) {
        const Journal::TVerification found = Undone(TriggersOff() + rewrite.statements, [](QSqlDatabase& db) { return Journal::Verify(db); });
        ASSERT_TRUE(found.broken.has_value()) << rewrite.what;
        EXPECT_TRUE(found.broken->contains(rewrite.found)) << rewrite.what << ": " << found.broken->toStdString();
    }
    EXPECT_EQ(Verify().verified, count) << "every rewrite was undone";
}

TEST_P(JournalTest, OreServerVerifiesTheJournalAndTellsItsStatus)
{
    Activity();
    const qint64 count = Entries();
    auto [status, out, err] = OreServerJournal({"--verify"});
    EXPECT_EQ(status, 0) << err.toStdString();
    EXPECT_TRUE(out.startsWith(QString("Jornal íntegro: %1 registro(s) verificado(s), do primeiro ao último; último elo ").arg(count))) << out.toStdString();

    std::tie(status, out, err) = OreServerJournal({"--verify", "--quote", "0000000101"});
    EXPECT_EQ(status, 2);
    EXPECT_TRUE(err.contains("--verify confere o jornal inteiro")) << err.toStdString();

    // The last entry deleted for good, its trigger set aside and put back.
    const qint64 last = Sql("SELECT MAX(NRJORNAL) FROM JORNAL").toLongLong();
    if (OnSQLite()) {
        Exec("DROP TRIGGER JORNAL_SEM_EXCLUSAO");
        Exec(QString("DELETE FROM JORNAL WHERE NRJORNAL = %1").arg(last));
        Exec("CREATE TRIGGER JORNAL_SEM_EXCLUSAO BEFORE DELETE ON JORNAL BEGIN SELECT RAISE(ABORT, 'O jornal não pode ser apagado.'); END");
    } else {
        Exec("ALTER TABLE JORNAL DISABLE TRIGGER JORNAL_SEM_ALTERACAO");
        Exec(QString("DELETE FROM JORNAL WHERE NRJORNAL = %1").arg(last));
        Exec("ALTER TABLE JORNAL ENABLE TRIGGER JORNAL_SEM_ALTERACAO");
    }
    std::tie(status, out, err) = OreServerJournal({"--verify"});
    EXPECT_EQ(status, 3);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_TRUE(err.startsWith(QString("ore-server: JORNAL ADULTERADO: faltam registros no fim do jornal: o elo registra %1 registro(s), até o %2,")
                                   .arg(count)
                                   .arg(last)))
        << err.toStdString();
    EXPECT_TRUE(err.contains(QString("Antes dele, %1 registro(s) conferem.").arg(count - 1))) << err.toStdString();
}

// Appends of simultaneous transactions, from several servers of one store, are chained one
// after the other: the chain never forks.
TEST_P(JournalTest, AppendsOfSimultaneousServersMakeOneChain)
{
    const qint64 before = Entries();
    TStore second(store->url()), third(store->url());
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (TStore* s : {&second, &third})
        for (int t = 0; t < 3; ++t)
            threads.emplace_back([s, t, &failures] {
                for (int i = 0; i < 20; ++i)
                    try {
                        s->transaction([&](QSqlDatabase& db) {
                            Journal::Append(db, {QDateTime::currentDateTime(), "OPER1", "0001", "CRV.rdmHost", "Teste", {}, {}, {}, "ok",
                                                 QString("linha %1 de %2").arg(i).arg(t), "[]", "127.0.0.9"});
                        });
                    } catch (const EHostError& e) {
                        ++failures;
                        ADD_FAILURE() << e.message().toStdString();
                    }
            });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    const Journal::TVerification found = Verify();
    EXPECT_FALSE(found.broken.has_value()) << found.broken.value_or(QString()).toStdString();
    EXPECT_EQ(found.verified, before + 120);
}

// A store whose journal was written before the chain is chained by the migration, in the order
// of its entries, and goes on from there.
TEST_P(JournalTest, EntriesWrittenBeforeTheChainAreChainedByTheMigration)
{
    // The store as the previous version of the schema left it, with entries written then.
    server->Stop();
    const int latest = Sql("SELECT MAX(NRVERSAO) FROM ORE_SCHEMA").toInt();
    const QStringList back =
        OnSQLite() ? QStringList{"DROP TRIGGER JORNAL_SEM_SUBSTITUICAO", "DROP TABLE JORNALELO", "ALTER TABLE JORNAL DROP COLUMN DSHASH",
                                 "ALTER TABLE JORNAL DROP COLUMN DSORIGEM"}
                   : QStringList{"DROP TRIGGER JORNAL_SEM_ESVAZIAR ON JORNAL", "DROP TABLE JORNALELO", "DROP FUNCTION JORNALELO_AVANCA()",
                                 "ALTER TABLE JORNAL DROP COLUMN DSHASH", "ALTER TABLE JORNAL DROP COLUMN DSORIGEM"};
    // The versions after the chain's undone too (an operator's state, 9).
    for (const QString& statement : back + QStringList{"ALTER TABLE OPERADOR DROP COLUMN IDATIVO", "DELETE FROM ORE_SCHEMA WHERE NRVERSAO >= 8"})
        Exec(statement);
    for (int i = 0; i < 3; ++i)
        Exec("INSERT INTO JORNAL (DTREGISTRO, CDOPERADOR, NMOBJETO, NMMETODO, IDRESULTADO, DSARGUMENTOS) VALUES (?, 'OPER1', 'CRV.rdmHost', 'Login', 'ok', ?)",
             {QString("2026-01-0%1T08:00:00.000").arg(i + 1), i == 1 ? QVariant() : QVariant(QString("[\"OPER1\",\"********\",\"000%1\"]").arg(i))});
    const qint64 count = Entries();

    store->migrate();
    EXPECT_EQ(Sql("SELECT MAX(NRVERSAO) FROM ORE_SCHEMA").toInt(), latest);
    Journal::TVerification found = Verify();
    EXPECT_FALSE(found.broken.has_value()) << found.broken.value_or(QString()).toStdString();
    EXPECT_EQ(found.verified, count);

    // The store refuses rewrites again, and a new entry goes on the chain.
    EXPECT_THROW(Exec("UPDATE JORNAL SET IDRESULTADO = 'fail'"), EHostError);
    server = objects->Serve();
    server->Listen();
    Session().webPort = server->Port();
    EXPECT_TRUE(Call(kAprova, "SetModPgto", {"02", "0001", "0000000101", "", "", "C"}).toBool());
    found = Verify();
    EXPECT_FALSE(found.broken.has_value()) << found.broken.value_or(QString()).toStdString();
    EXPECT_EQ(found.verified, count + 1);
}

// On PostgreSQL, the server's role of docs/server.md serves every call but may only read the
// journal and append to it.
TEST_P(JournalTest, TheServersRoleMayOnlyAppendToTheJournal)
{
    if (OnSQLite())
        GTEST_SKIP() << "roles are PostgreSQL's";
    const QString role = QStringLiteral("ore_servidor_teste");
    try {
        Exec("DROP OWNED BY " + role);
    } catch (const EHostError&) {
        // the role did not exist yet
    }
    try {
        Exec("DROP ROLE IF EXISTS " + role);
        Exec("CREATE ROLE " + role + " LOGIN");
    } catch (const EHostError& e) {
        GTEST_SKIP() << "the test database's user may not create roles: " << e.message().toStdString();
    }
    // As docs/server.md grants them, once the owner has migrated the store.
    for (const char* grant : {"GRANT USAGE ON SCHEMA public TO %1",
                                 "GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO %1",
                                 "GRANT USAGE ON ALL SEQUENCES IN SCHEMA public TO %1",
                                 "REVOKE INSERT, UPDATE, DELETE ON ORE_SCHEMA FROM %1",
                                 "REVOKE UPDATE, DELETE ON JORNAL FROM %1",
                                 "REVOKE INSERT, DELETE ON JORNALELO FROM %1"})
        Exec(QString::fromLatin1(grant).arg(role));
    QUrl url(store->url());
    url.setUserName(role);
    url.setPassword({});
    {
        TStore limited(url.toString());
        limited.migrate();   // the schema is current: nothing to create
        TServerObjects limitedObjects(limited);
        RegisterAll(limitedObjects);
        std::unique_ptr<TRpcServer> limitedServer = limitedObjects.Serve();
        limitedServer->Listen();
        Session().webPort = limitedServer->Port();
        EXPECT_TRUE(Call(kAprova, "SetModPgto", {"02", "0001", "0000000101", "", "", "C"}).toBool());
        EXPECT_EQ(Sql("SELECT IDRESULTADO FROM JORNAL WHERE NMMETODO = 'SetModPgto' ORDER BY NRJORNAL DESC"), "ok");
        LoginToServer(QStringLiteral("OPER1"), QStringLiteral("oper1"), QStringLiteral("0001"));
        EXPECT_TRUE(Call(kHost, "Logout").toBool());

        QSqlDatabase db = limited.connection();
        for (const char* statement : {"UPDATE JORNAL SET IDRESULTADO = 'ok'", "DELETE FROM JORNAL", "TRUNCATE JORNAL", "ALTER TABLE JORNAL DISABLE TRIGGER USER",
                                      "UPDATE JORNALELO SET QTREGISTROS = 0", "DELETE FROM JORNALELO", "DROP TABLE JORNAL", "DELETE FROM ORE_SCHEMA"})
            EXPECT_THROW(::Run(db, QString::fromLatin1(statement)), EHostError) << statement;
        limitedServer->Stop();
    }
    Session().webPort = server->Port();
    const Journal::TVerification found = Verify();
    EXPECT_FALSE(found.broken.has_value()) << found.broken.value_or(QString()).toStdString();
    Exec("DROP OWNED BY " + role);
    Exec("DROP ROLE " + role);
}

} // namespace
