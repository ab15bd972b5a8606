// `ore-server check`, on SQLite and PostgreSQL: the demo store is clean; rows whose references
// lead nowhere, a schema of another version and a rewritten journal are each found and named,
// and the store is only read.
#include "ServerFixture.h"

#include "ServerCommands.h"
#include "Store.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class CheckTest : public ServerFixture {
protected:
    bool OnSQLite() const { return store->dialect() == TStore::SQLite; }

    // `ore-server check --db` this store, as a process: its exit status and standard output.
    std::pair<int, QString> OreCheck()
    {
        QProcess process;
        process.start(QCoreApplication::applicationDirPath() + u"/ore-server"_s, {u"check"_s, u"--db"_s, store->url()});
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput())};
    }
};
SERVER_BACKENDS(CheckTest);

TEST_P(CheckTest, TheDemoStoreIsClean)
{
    const auto [status, output] = OreCheck();
    EXPECT_EQ(status, 0) << output.toStdString();
    EXPECT_TRUE(output.contains(u"íntegro"_s)) << output.toStdString();
    EXPECT_TRUE(output.contains(u"esquema na versão %1"_s.arg(SchemaVersion()))) << output.toStdString();
    EXPECT_TRUE(output.contains(u"nenhuma linha órfã"_s)) << output.toStdString();
    EXPECT_TRUE(output.contains(u"jornal: "_s)) << output.toStdString();
    EXPECT_EQ(OnSQLite(), output.contains(u"integrity_check"_s)) << output.toStdString();
    EXPECT_EQ(RunCheck({u"ore-server"_s, u"--db"_s, store->url()}), 0);
}

// Rows planted without what they refer to, each named by its table and key with what it
// lacks; where the database declares the reference it is set aside first, as an owner could.
TEST_P(CheckTest, OrphansAreNamedByTableAndKey)
{
    struct Case {
        const char* what;
        QStringList plant;
        const char* line;
    };
    const QStringList foreignKeysOff = OnSQLite() ? QStringList{u"PRAGMA foreign_keys = OFF"_s}
                                                  : QStringList{u"ALTER TABLE ITEMPEDIDO DROP CONSTRAINT itempedido_nrpedido_fkey"_s,
                                                                u"ALTER TABLE OPERADORFILIAL DROP CONSTRAINT operadorfilial_cdfilial_fkey"_s};
    const Case cases[] = {
        {"an item of a quote that does not exist",
         {u"INSERT INTO ITEMORCA (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRITEMORCEVE, NROPCAITOREV, CDPRODUTO, QTITEMORCEVE, VRITEMORCEVE) "
          "VALUES ('0001', '0000009999', '01', '7', '01', 'P1', 1, 10)"_s},
         "ITEMORCA 0001/0000009999/01/7: o orçamento 0001/0000009999/01 não existe (ORCAEVENTO)."},
        {"a booking of an unknown hall",
         {u"INSERT INTO AGENDASALAO (CDFILIAL, CDSALAOEVEN, DTINICIO, DTFIM, NRORCAEVENTO, NRSEQORCAEVE) "
          "VALUES ('0001', '099', '2027-06-01T19:00:00', '2027-06-01T23:00:00', '0000000101', '01')"_s},
         "AGENDASALAO 0001/099/2027-06-01T19:00:00/0000000101/01: o salão 0001/099 não existe (SALAO)."},
        {"an order of a quote that does not exist",
         {u"INSERT INTO PEDIDO (NRPEDIDO, CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDDEPTO, IDSITUPED, IDTIPOGER) "
          "VALUES ('0000099999', '0001', '0000009998', '01', 'P', 'A', 'N')"_s},
         "PEDIDO 0000099999: o orçamento 0001/0000009998/01 não existe (ORCAEVENTO)."},
        {"an order's item of an unknown order (a declared reference: told once)",
         foreignKeysOff + QStringList{u"INSERT INTO ITEMPEDIDO (NRPEDIDO, CDPRODUTO, QTITEM) VALUES ('0000088888', 'P1', 2)"_s},
         "ITEMPEDIDO 0000088888/P1: o pedido 0000088888 não existe (PEDIDO)."},
        {"an operator's branch that does not exist",
         foreignKeysOff + QStringList{u"INSERT INTO OPERADORFILIAL (CDOPERADOR, CDFILIAL) VALUES ('OPER1', '0999')"_s},
         "OPERADORFILIAL OPER1/0999: a filial 0999 não existe (FILIAL)."},
    };
    QStringList planted;
    for (const Case& c : cases) {
        for (const QString& statement : c.plant)
            if (!planted.contains(statement)) {
                Exec(statement);
                planted << statement;
            }
        SCOPED_TRACE(c.what);
        const auto [status, output] = OreCheck();
        EXPECT_EQ(status, 4) << output.toStdString();
        EXPECT_EQ(output.count(QString::fromUtf8(c.line)), 1) << output.toStdString();
    }
    // Each told once, and nothing else.
    const auto [status, output] = OreCheck();
    EXPECT_TRUE(output.contains(u"%1 problema(s) encontrado(s)."_s.arg(qsizetype(std::size(cases))))) << output.toStdString();
    EXPECT_EQ(output.count(u'\n'), qsizetype(std::size(cases)) + 1) << output.toStdString();
    EXPECT_EQ(RunCheck({u"ore-server"_s, u"--db"_s, store->url()}), 4);
}

// A store of an older schema is told to be migrated, one of a newer schema to be checked by its
// own program; neither is migrated by the check.
TEST_P(CheckTest, AnotherSchemaVersionIsAFindingAndNothingIsMigrated)
{
    const int current = SchemaVersion();
    Exec(u"DELETE FROM ORE_SCHEMA WHERE NRVERSAO = ?"_s, {current});
    auto [status, output] = OreCheck();
    EXPECT_EQ(status, 4) << output.toStdString();
    EXPECT_TRUE(output.contains(u"versão %1 do esquema, e este ore-server usa a %2: atualize-o"_s.arg(current - 1).arg(current))) << output.toStdString();
    EXPECT_TRUE(output.contains(u"1 problema(s)"_s)) << output.toStdString();
    EXPECT_EQ(Sql(u"SELECT MAX(NRVERSAO) FROM ORE_SCHEMA"_s).toInt(), current - 1);

    Exec(u"INSERT INTO ORE_SCHEMA (NRVERSAO) VALUES (?)"_s, {current});
    Exec(u"INSERT INTO ORE_SCHEMA (NRVERSAO) VALUES (?)"_s, {current + 1});
    std::tie(status, output) = OreCheck();
    EXPECT_EQ(status, 4) << output.toStdString();
    EXPECT_TRUE(output.contains(u"versão %1 do esquema, mais nova que a %2"_s.arg(current + 1).arg(current))) << output.toStdString();
    EXPECT_EQ(Sql(u"SELECT MAX(NRVERSAO) FROM ORE_SCHEMA"_s).toInt(), current + 1);
}

// A journal entry rewritten with the store's guard set aside breaks the chain, and the check
// names the entry.
TEST_P(CheckTest, ARewrittenJournalIsFound)
{
    ASSERT_TRUE(Call(u"ORE00400.rdmAprovaOrca"_s, u"SetModPgto"_s, {u"02"_s, u"0001"_s, u"0000000101"_s, u""_s, u""_s, u"C"_s}).toBool());
    const qint64 entry = Sql(u"SELECT MAX(NRJORNAL) FROM JORNAL"_s).toLongLong();
    ASSERT_GT(entry, 0);
    Exec(OnSQLite() ? u"DROP TRIGGER JORNAL_SEM_ALTERACAO"_s : u"ALTER TABLE JORNAL DISABLE TRIGGER JORNAL_SEM_ALTERACAO"_s);
    Exec(u"UPDATE JORNAL SET IDRESULTADO = 'refused' WHERE NRJORNAL = ?"_s, {entry});
    const auto [status, output] = OreCheck();
    EXPECT_EQ(status, 4) << output.toStdString();
    EXPECT_TRUE(output.contains(u"JORNAL: a cadeia está quebrada: o registro %1 "_s.arg(entry))) << output.toStdString();
    EXPECT_TRUE(output.contains(u"1 problema(s)"_s)) << output.toStdString();
}

// A SQLite file whose index no longer agrees with its table: SQLite's own check tells it.
TEST_P(CheckTest, SQLitesIntegrityCheckIsTold)
{
    if (!OnSQLite())
        GTEST_SKIP() << "SQLite's own check";
    Exec(u"CREATE INDEX OPERADOR_NOME ON OPERADOR (NMOPERADOR)"_s);
    Exec(u"PRAGMA writable_schema = ON"_s);
    Exec(u"UPDATE sqlite_master SET sql = 'CREATE INDEX OPERADOR_NOME ON OPERADOR (CDVENDEDOR)' WHERE name = 'OPERADOR_NOME'"_s);
    Exec(u"PRAGMA writable_schema = OFF"_s);
    const auto [status, output] = OreCheck();
    EXPECT_EQ(status, 4) << output.toStdString();
    EXPECT_TRUE(output.contains(u"SQLite (integrity_check): row 1 missing from index OPERADOR_NOME"_s)) << output.toStdString();
}

// A store that cannot be read ends with 1 and, on SQLite, is not made; a wrong command line
// with 2.
TEST(CheckCommandLine, UnreadableStoresAndWrongCommandLines)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(u"nenhum.db"_s);
    EXPECT_EQ(RunCheck({u"ore-server"_s, u"--db"_s, u"sqlite:"_s + missing}), 1);
    EXPECT_FALSE(QFile::exists(missing));
    QFile garbage(dir.filePath(u"lixo.db"_s));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(8192, 'x'));
    garbage.close();
    EXPECT_EQ(RunCheck({u"ore-server"_s, u"--db"_s, u"sqlite:"_s + garbage.fileName()}), 1);
    EXPECT_EQ(RunCheck({u"ore-server"_s, u"--db"_s, u"postgresql://ore@127.0.0.1:1/ore"_s}), 1);

    EXPECT_EQ(RunCheck({u"ore-server"_s, u"--db"_s, u"sqlite:"_s + missing, u"demais"_s}), 2);
    EXPECT_EQ(RunCheck({u"ore-server"_s, u"--quote"_s, u"1"_s}), 2);
    EXPECT_EQ(RunCheck({u"ore-server"_s, u"--db"_s}), 2);
}

} // namespace
