// The store on its own: values kept apart from the SQL and read back by their types, lists of
// any length in one statement, the bound on kept statements, and connections the database
// ended, replaced without a restart. PostgreSQL cases run when ORE_TEST_PG is set; the restart
// under load runs on a cluster of its own, made with the PostgreSQL binaries when they are
// installed.
#include "ServerFixture.h"

#include "DataPacket.h"
#include "PgStatements.h"
#include "Variants.h"
#include "StoredDates.h"
#include "WireEnvelopes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

// A store of each kind with a table for the cases: SQLite in a temporary file, PostgreSQL in
// ORE_TEST_PG.
class StoreTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        QString url = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("store.db"));
        if (QLatin1String(GetParam()) == QLatin1String("postgresql")) {
            url = qEnvironmentVariable("ORE_TEST_PG");
            if (url.isEmpty())
                GTEST_SKIP() << "ORE_TEST_PG is not set: no PostgreSQL for this run";
        }
        store = std::make_unique<TStore>(url);
        QSqlDatabase db = store->connection();
        ::Run(db, QStringLiteral("DROP TABLE IF EXISTS STORETESTE"));
        ::Run(db, QStringLiteral("CREATE TABLE STORETESTE (CDCHAVE VARCHAR(30), TXVALOR VARCHAR(200), QTVALOR INTEGER, VRVALOR DOUBLE PRECISION)"));
    }
    void TearDown() override
    {
        if (!store)
            return;
        QSqlDatabase db = store->connection();
        ::Run(db, QStringLiteral("DROP TABLE IF EXISTS STORETESTE"));
    }

    void Insert(const QVariant& key, const QVariant& text, const QVariant& quantity = QVariant(), const QVariant& value = QVariant())
    {
        QSqlDatabase db = store->connection();
        ::Run(db, QStringLiteral("INSERT INTO STORETESTE (CDCHAVE, TXVALOR, QTVALOR, VRVALOR) VALUES (?, ?, ?, ?)"), {key, text, quantity, value});
    }
    QVariant Scalar(const QString& sql, const QVariantList& params = {})
    {
        QSqlDatabase db = store->connection();
        return ::Scalar(db, sql, params);
    }

    QTemporaryDir dir;
    std::unique_ptr<TStore> store;
};

TEST_P(StoreTest, ValuesGoApartFromTheSqlAndComeBackAsTheyWent)
{
    const QStringList texts{QStringLiteral("O'Brien"), QStringLiteral("a\\b\\'"), QStringLiteral("$1 ? '; DROP TABLE STORETESTE; --"),
                            QStringLiteral("ção ü 漢字 😀"), QStringLiteral("{\"x\",y}"), QStringLiteral("")};
    for (int i = 0; i < texts.size(); ++i)
        Insert(QStringLiteral("T%1").arg(i), texts[i], i, i + 0.1 + 0.2);
    Insert(QStringLiteral("NULO"), QVariant(), QVariant(QMetaType::fromType<int>()), QVariant());
    Insert(QStringLiteral("VAZIO"), Unassigned(), Unassigned(), Unassigned());
    Insert(QStringLiteral("NADA"), Null(), Null(), Null());
    Insert(QStringLiteral("GRANDE"), qlonglong(1) << 40, 2147483647, -1.0e300);

    for (int i = 0; i < texts.size(); ++i) {
        const QString key = QStringLiteral("T%1").arg(i);
        EXPECT_EQ(Scalar(QStringLiteral("SELECT TXVALOR FROM STORETESTE WHERE CDCHAVE = ?"), {key}).toString(), texts[i]) << key.toStdString();
        EXPECT_EQ(Scalar(QStringLiteral("SELECT QTVALOR FROM STORETESTE WHERE CDCHAVE = ?"), {key}).toInt(), i);
        EXPECT_EQ(Scalar(QStringLiteral("SELECT VRVALOR FROM STORETESTE WHERE CDCHAVE = ?"), {key}).toDouble(), i + 0.1 + 0.2) << "every digit kept";
        // the text as a value to compare with finds its own row, and only it
        EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM STORETESTE WHERE TXVALOR = ?"), {texts[i]}).toInt(), 1) << key.toStdString();
    }
    for (const char* key : {"NULO", "VAZIO", "NADA"})
        for (const char* column : {"TXVALOR", "QTVALOR", "VRVALOR"})
            EXPECT_TRUE(Scalar(QStringLiteral("SELECT %1 FROM STORETESTE WHERE CDCHAVE = ?").arg(QLatin1String(column)), {QLatin1String(key)}).isNull())
                << key << " " << column;
    EXPECT_EQ(Scalar(QStringLiteral("SELECT TXVALOR FROM STORETESTE WHERE CDCHAVE = 'GRANDE'")).toString(), QStringLiteral("1099511627776"));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT VRVALOR FROM STORETESTE WHERE CDCHAVE = 'GRANDE'")).toDouble(), -1.0e300);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT COUNT(*) FROM STORETESTE")).toInt(), texts.size() + 4) << "the table stands";
}

TEST_P(StoreTest, RowsComeBackByTheColumnsTypes)
{
    Insert(QStringLiteral("A"), QStringLiteral("2027-03-20T19:00:00.123"), 7, 2.5);
    QSqlDatabase db = store->connection();
    TRows rows = ::Run(db, QStringLiteral("SELECT CDCHAVE, QTVALOR, VRVALOR, COUNT(*) OVER () AS QT FROM STORETESTE WHERE CDCHAVE = ?"), {QStringLiteral("A")});
    ASSERT_TRUE(rows.next());
    EXPECT_EQ(rows.value(0).typeId(), QMetaType::QString);
    EXPECT_TRUE(rows.value(1).typeId() == QMetaType::Int || rows.value(1).typeId() == QMetaType::LongLong) << rows.value(1).typeName();
    EXPECT_EQ(rows.value(2).typeId(), QMetaType::Double);
    EXPECT_EQ(rows.value(QStringLiteral("qt")).toInt(), 1) << "a column by its name, in any case";
    EXPECT_EQ(rows.record().fieldName(1).toUpper(), QStringLiteral("QTVALOR"));
    EXPECT_FALSE(rows.next());
    EXPECT_EQ(::Run(db, QStringLiteral("UPDATE STORETESTE SET QTVALOR = QTVALOR + 1 WHERE CDCHAVE <> ?"), {QStringLiteral("B")}).numRowsAffected(), 1);

    const TDataPacket packet = Select(db, "CDCHAVE s10, QTVALOR i, VRVALOR f, TXVALOR t, FALTA s5", QStringLiteral("SELECT * FROM STORETESTE WHERE CDCHAVE = ?"),
                                      {QStringLiteral("A")});
    ASSERT_EQ(packet.rows().size(), 1u);
    const CellRow& row = packet.rows()[0];
    EXPECT_EQ(row[0], Cell(QStringLiteral("A")));
    EXPECT_EQ(row[1], Cell(qint64(8)));
    EXPECT_EQ(row[2], Cell(2.5));
    EXPECT_EQ(row[3], Cell(*ParseStoredDateTime("2027-03-20T19:00:00.123", 23)));
    EXPECT_TRUE(CellIsNull(row[4])) << "a column the query lacks";
}

TEST_P(StoreTest, AListOfAnyLengthTakesOneStatement)
{
    const QStringList present{QStringLiteral("a,b"), QStringLiteral("x\"y"), QStringLiteral("{z}"), QStringLiteral("back\\slash"), QStringLiteral("it's"),
                              QStringLiteral("NULL"), QStringLiteral("k1"), QStringLiteral("k2")};
    for (const QString& key : present)
        Insert(key, key);
    Insert(QVariant(), QStringLiteral("sem chave"));   // a null key is neither among nor outside a list
    QSqlDatabase db = store->connection();
    const auto among = [&](const QStringList& list) { return ::Scalar(db, QStringLiteral("SELECT COUNT(*) FROM STORETESTE WHERE CDCHAVE") + InList(db), {list}).toInt(); };
    const auto outside = [&](const QStringList& list) {
        return ::Scalar(db, QStringLiteral("SELECT COUNT(*) FROM STORETESTE WHERE CDCHAVE") + NotInList(db), {list}).toInt();
    };
    for (const QString& key : present) {
        EXPECT_EQ(among({key}), 1) << key.toStdString();
        EXPECT_EQ(outside({key}), present.size() - 1) << key.toStdString();
    }
    EXPECT_EQ(among({QStringLiteral("a"), QStringLiteral("b")}), 0) << "the comma is part of a key";
    const int kept = store->mostKeptStatements();
    QStringList list;
    for (int n = 1; n <= 300; ++n) {
        list << (n % 37 == 0 ? present[(n / 37) % present.size()] : QStringLiteral("ausente%1").arg(n));
        const int expected = int(std::count_if(present.begin(), present.end(), [&](const QString& k) { return list.contains(k); }));
        ASSERT_EQ(among(list), expected) << n;
        ASSERT_EQ(outside(list), present.size() - expected) << n;
    }
    EXPECT_EQ(store->mostKeptStatements(), kept) << "300 lengths of list, the same two statements";
}

TEST_P(StoreTest, KeptStatementsAreBounded)
{
    Insert(QStringLiteral("A"), QStringLiteral("a"), 1, 1.0);
    QSqlDatabase db = store->connection();
    const auto ask = [&](int i) {
        return ::Scalar(db, QStringLiteral("SELECT QTVALOR + %1 FROM STORETESTE WHERE CDCHAVE = ?").arg(i), {QStringLiteral("A")}).toInt();
    };
    const auto select = [&](int i) {
        return Select(db, "N i", QStringLiteral("SELECT QTVALOR + %1 AS N FROM STORETESTE WHERE CDCHAVE = ?").arg(i), {QStringLiteral("A")});
    };
    for (int i = 0; i < KeptStatements + 150; ++i) {
        ASSERT_EQ(ask(i), i + 1);
        ASSERT_EQ(select(i).rows().size(), 1u);
    }
    EXPECT_LE(store->mostKeptStatements(), KeptStatements);
    EXPECT_GE(store->mostKeptStatements(), KeptStatements - 1);
    EXPECT_EQ(ask(0), 1) << "a statement let go is prepared again";
    EXPECT_EQ(select(0).rows()[0][0], Cell(qint64(1)));
    if (store->dialect() == TStore::PostgreSQL) {
        EXPECT_LE(::Scalar(db, QStringLiteral("SELECT COUNT(*) FROM pg_prepared_statements")).toInt(), KeptStatements) << "let go in the database too";
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, StoreTest, ::testing::Values("sqlite", "postgresql"), [](const auto& i) { return std::string(i.param); });

// ---- PostgreSQL's numbered marks

TEST(NumberedParameters, MarksOutsideTextsAndCommentsAreNumbered)
{
    const std::pair<const char*, const char*> cases[] = {
        {"SELECT * FROM T WHERE A = ? AND B = ?", "SELECT * FROM T WHERE A = $1 AND B = $2"},
        {"SELECT '?', 'it''s ?', ?", "SELECT '?', 'it''s ?', $1"},
        {"SELECT \"a?\" FROM T WHERE X = ?", "SELECT \"a?\" FROM T WHERE X = $1"},
        {"SELECT 1 -- why?\n, ?", "SELECT 1 -- why?\n, $1"},
        {"SELECT /* ? */ ?", "SELECT /* ? */ $1"},
        {"DO $$ BEGIN PERFORM '?'; END $$; SELECT ?", "DO $$ BEGIN PERFORM '?'; END $$; SELECT $1"},
        {"SELECT $tag$ ? $tag$, ?", "SELECT $tag$ ? $tag$, $1"},
        {"SELECT A$1 FROM T WHERE B = ?", "SELECT A$1 FROM T WHERE B = $1"},
        {"SELECT 'unterminated ?", "SELECT 'unterminated ?"},
    };
    for (const auto& [sql, numbered] : cases)
        EXPECT_EQ(NumberedParameters(QString::fromUtf8(sql)), QByteArray(numbered)) << sql;
}

// ---- the server's statements

class ServerStatementsTest : public ServerFixture {};

// Ticked lists of every length, as an attacker would send them: the server's kept statements
// do not grow with them.
TEST_P(ServerStatementsTest, ListsOfThousandsOfLengthsKeepTheStatementsAsTheyWere)
{
    const auto setOpcao = [&](const QStringList& keys) {
        return FailOf(Call(QStringLiteral("ORE00400.rdmAprovaOrca"), QStringLiteral("SetOpcao"),
                           {QStringLiteral("0001"), QStringLiteral("0000000102"), QStringLiteral("01"), keys.join(QLatin1Char(',')), 10.0, QStringLiteral("A")}));
    };
    QStringList keys{QStringLiteral("'X1'")};
    ASSERT_TRUE(setOpcao(keys).startsWith(QStringLiteral("Nenhum dos escolhidos"))) << setOpcao(keys).toStdString();
    const int kept = store->mostKeptStatements();
    for (int n = 2; n <= 3000; ++n) {
        keys << QStringLiteral("'X%1'").arg(n);
        ASSERT_TRUE(setOpcao(keys).startsWith(QStringLiteral("Nenhum dos escolhidos"))) << n;
    }
    EXPECT_EQ(store->mostKeptStatements(), kept);
    // and a list that names the quote's options still keeps them and drops the rest
    EXPECT_EQ(setOpcao({QStringLiteral("'X1'"), QStringLiteral("'01'")}), QString());
    EXPECT_EQ(Sql(QStringLiteral("SELECT COUNT(DISTINCT NROPCAITOREV) FROM ITEMORCA WHERE CDFILIAL = '0001' AND NRORCAEVENTO = '0000000102' AND NRSEQORCAEVE = '01'")).toInt(),
              1);
}

SERVER_BACKENDS(ServerStatementsTest);

// ---- PostgreSQL alone

class PgStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        url = qEnvironmentVariable("ORE_TEST_PG");
        if (url.isEmpty())
            GTEST_SKIP() << "ORE_TEST_PG is not set: no PostgreSQL for this run";
        store = std::make_unique<TStore>(url);
        other = std::make_unique<TStore>(url);
        QSqlDatabase db = store->connection();
        ::Run(db, QStringLiteral("DROP TABLE IF EXISTS STORETESTE"));
        ::Run(db, QStringLiteral("CREATE TABLE STORETESTE (CDCHAVE VARCHAR(30), TXVALOR VARCHAR(200))"));
    }
    void TearDown() override
    {
        if (!other)
            return;
        QSqlDatabase db = other->connection();
        ::Run(db, QStringLiteral("DROP TABLE IF EXISTS STORETESTE"));
    }

    int BackendOf(TStore& s)
    {
        QSqlDatabase db = s.connection();
        return Scalar(db, QStringLiteral("SELECT pg_backend_pid()")).toInt();
    }
    // Ends a connection's session from the database's side, as a restart does, and waits
    // until it is gone.
    void Terminate(int backend)
    {
        QSqlDatabase db = other->connection();
        ASSERT_TRUE(Scalar(db, QStringLiteral("SELECT pg_terminate_backend(?)"), {backend}).toBool());
        QElapsedTimer waited;
        waited.start();
        while (Scalar(db, QStringLiteral("SELECT COUNT(*) FROM pg_stat_activity WHERE pid = ?"), {backend}).toInt() > 0 && waited.elapsed() < 5000)
            QThread::msleep(20);
    }
    int Count(const QString& key)
    {
        QSqlDatabase db = other->connection();
        return Scalar(db, QStringLiteral("SELECT COUNT(*) FROM STORETESTE WHERE CDCHAVE = ?"), {key}).toInt();
    }

    QString url;
    std::unique_ptr<TStore> store, other;
};

TEST_F(PgStoreTest, TheValuesAreNotWrittenIntoTheStatementsText)
{
    QSqlDatabase db = store->connection();
    const QString running = Scalar(db, QStringLiteral("SELECT query FROM pg_stat_activity WHERE pid = pg_backend_pid() AND ? <> ''"),
                                   {QStringLiteral("segredo-123")})
                                .toString();
    EXPECT_FALSE(running.contains(QStringLiteral("segredo-123"))) << running.toStdString();
    EXPECT_TRUE(running.contains(QStringLiteral("$1"))) << running.toStdString();
}

TEST_F(PgStoreTest, ColumnsAreConvertedByTheirTypes)
{
    struct Case {
        const char* sql;
        const char* layout;
        Cell cell;
        int scalarType;
    };
    const qint64 day = QDate(2027, 3, 20).toJulianDay();
    const Case cases[] = {
        {"SELECT 42::int2 AS V", "V i", qint64(42), QMetaType::Int},
        {"SELECT 5000000000::int8 AS V", "V f", 5e9, QMetaType::LongLong},
        {"SELECT 1.25::numeric(10,2) AS V", "V f", 1.25, QMetaType::Double},
        {"SELECT 2.5::float4 AS V", "V f", 2.5, QMetaType::Double},
        {"SELECT 'NaN'::float8 = 'NaN'::float8 AS V", "V b", true, QMetaType::Bool},
        {"SELECT DATE '2027-03-20' AS V", "V d", day, QMetaType::QDate},
        {"SELECT TIMESTAMP '2027-03-20 19:00:00.123456' AS V", "V t", *ParseStoredDateTime("2027-03-20T19:00:00.123", 23), QMetaType::QDateTime},
        {"SELECT 'abc'::bytea AS V", "V x", QByteArray("abc"), QMetaType::QByteArray},
        {"SELECT 'texto'::text AS V", "V s10", QStringLiteral("texto"), QMetaType::QString},
        {"SELECT 'texto longo'::varchar AS V", "V s5", QStringLiteral("texto"), QMetaType::QString},
        {"SELECT 12::int4 AS V", "V s5", QStringLiteral("12"), QMetaType::Int},
    };
    QSqlDatabase db = store->connection();
    for (const Case& c : cases) {
        const TDataPacket packet = Select(db, c.layout, QString::fromLatin1(c.sql));
        ASSERT_EQ(packet.rows().size(), 1u) << c.sql;
        EXPECT_EQ(packet.rows()[0][0], c.cell) << c.sql;
        EXPECT_EQ(Scalar(db, QString::fromLatin1(c.sql)).typeId(), c.scalarType) << c.sql;
    }
    const QVariant null = Scalar(db, QStringLiteral("SELECT NULL::int4"));
    EXPECT_TRUE(null.isNull());
    EXPECT_EQ(null.typeId(), QMetaType::Int);
}

TEST_F(PgStoreTest, ATextWithAZeroCharacterIsRefusedNotCut)
{
    QSqlDatabase db = store->connection();
    const QString text = QStringLiteral("antes") + QChar(0) + QStringLiteral("depois");
    EXPECT_THROW(::Run(db, QStringLiteral("INSERT INTO STORETESTE (CDCHAVE, TXVALOR) VALUES (?, ?)"), {QStringLiteral("Z"), text}), EStoreError);
    EXPECT_EQ(Count(QStringLiteral("Z")), 0);
}

TEST_F(PgStoreTest, AConnectionTheDatabaseEndedIsReplaced)
{
    // Ended between calls: the next transaction runs on a new connection, and is not lost.
    const int first = BackendOf(*store);
    Terminate(first);
    int during = 0;
    EXPECT_NO_THROW(store->transaction([&](QSqlDatabase& db) {
        ::Run(db, QStringLiteral("INSERT INTO STORETESTE (CDCHAVE) VALUES (?)"), {QStringLiteral("A")});
        during = Scalar(db, QStringLiteral("SELECT pg_backend_pid()")).toInt();
    }));
    EXPECT_NE(during, first);
    EXPECT_EQ(Count(QStringLiteral("A")), 1);
    EXPECT_EQ(store->connectionCount(), 1) << "the ended one is let go";

    // Ended in the middle of a write: the call fails as unavailable and nothing of it stays.
    EXPECT_THROW(store->transaction([&](QSqlDatabase& db) {
        ::Run(db, QStringLiteral("INSERT INTO STORETESTE (CDCHAVE) VALUES (?)"), {QStringLiteral("B")});
        Terminate(Scalar(db, QStringLiteral("SELECT pg_backend_pid()")).toInt());
        ::Run(db, QStringLiteral("INSERT INTO STORETESTE (CDCHAVE) VALUES (?)"), {QStringLiteral("C")});
    }),
                 EStoreUnavailable);
    EXPECT_EQ(Count(QStringLiteral("B")) + Count(QStringLiteral("C")), 0) << "a write cut by the break is absent";
    store->transaction([&](QSqlDatabase& db) { ::Run(db, QStringLiteral("INSERT INTO STORETESTE (CDCHAVE) VALUES (?)"), {QStringLiteral("D")}); });
    EXPECT_EQ(Count(QStringLiteral("D")), 1);

    // Ended while a finished read waits to be settled: settling says nothing to the caller,
    // and the next read runs.
    store->settle();
    store->readTransaction([&](QSqlDatabase& db) { Scalar(db, QStringLiteral("SELECT COUNT(*) FROM STORETESTE WHERE CDCHAVE = ?"), {QStringLiteral("D")}); });
    Terminate(BackendOf(*store));
    EXPECT_NO_THROW(store->settle());
    int seen = 0;
    EXPECT_NO_THROW(store->readTransaction(
            [&](QSqlDatabase& db) { seen = Scalar(db, QStringLiteral("SELECT COUNT(*) FROM STORETESTE WHERE CDCHAVE = ?"), {QStringLiteral("D")}).toInt(); }));
    EXPECT_EQ(seen, 1);
}

// ---- the server through a restart of its database

// A PostgreSQL cluster of the test's own, which it may stop and start.
class ThrowawayCluster {
public:
    // False when PostgreSQL's binaries are not installed, or the cluster could not be made.
    bool Start(QString* why)
    {
        QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        std::sort(versions.begin(), versions.end(), [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
        if (versions.isEmpty() || !QFile::exists(QStringLiteral("/usr/lib/postgresql/%1/bin/initdb").arg(versions.last()))) {
            *why = QStringLiteral("PostgreSQL's binaries are not installed");
            return false;
        }
        m_bin = QStringLiteral("/usr/lib/postgresql/%1/bin/").arg(versions.last());
        if (::getuid() == 0) {
            m_runAs = {QStringLiteral("runuser"), QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--")};
            QProcess::execute(QStringLiteral("chown"), {QStringLiteral("postgres"), m_dir.path()});
        }
        m_port = FreePort();
        if (!Tool(QStringLiteral("initdb"), {QStringLiteral("-D"), data(), QStringLiteral("-U"), QStringLiteral("ore"), QStringLiteral("-A"), QStringLiteral("trust")}, why)
            || !Up(why))
            return false;
        m_started = true;
        return true;
    }
    ~ThrowawayCluster()
    {
        if (m_started) {
            QString ignored;
            Tool(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), data(), QStringLiteral("-m"), QStringLiteral("immediate"), QStringLiteral("stop")}, &ignored);
        }
    }

    QString Url() const { return QStringLiteral("postgresql://ore@127.0.0.1:%1/postgres").arg(m_port); }
    bool Down(QString* why)
    {
        return Tool(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), data(), QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")}, why);
    }
    bool Up(QString* why)
    {
        return Tool(QStringLiteral("pg_ctl"),
                    {QStringLiteral("-D"), data(), QStringLiteral("-l"), m_dir.filePath(QStringLiteral("log")), QStringLiteral("-w"), QStringLiteral("-o"),
                     QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off").arg(m_port).arg(m_dir.path()), QStringLiteral("start")},
                    why);
    }

private:
    QString data() const { return m_dir.filePath(QStringLiteral("data")); }
    static int FreePort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        ::close(fd);
        return ntohs(address.sin_port);
    }
    bool Tool(const QString& tool, const QStringList& arguments, QString* why) const
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        const QStringList command = m_runAs + QStringList{m_bin + tool} + arguments;
        p.start(command.first(), command.mid(1));
        if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            *why = tool + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAll()).simplified();
            return false;
        }
        return true;
    }

    QTemporaryDir m_dir{QStringLiteral("/tmp/ore-store-test-XXXXXX")};
    QString m_bin;
    QStringList m_runAs;
    int m_port = 0;
    bool m_started = false;
};

// One call over a connection of its own; the answer decoded, or an error of the transport.
Wire::Response CallOver(quint16 port, const QString& object, const QString& method, const QVariantList& args, const QString& token)
{
    const QByteArray body = Wire::EncodeRequest({1, method, args});
    const QByteArray request = "POST /rpc/" + object.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Type: application/json\r\n"
                               "Authorization: Bearer " + token.toUtf8() + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    Wire::Response failed;
    failed.isError = true;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const auto closing = qScopeGuard([fd] { ::close(fd); });
    timeval limit{30, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) != request.size()) {
        failed.errorMessage = QStringLiteral("transporte: conexão");
        return failed;
    }
    QByteArray answer;
    char chunk[65536];
    for (ssize_t n; (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;)
        answer.append(chunk, n);
    const qsizetype at = answer.indexOf("\r\n\r\n");
    if (at < 0) {
        failed.errorMessage = QStringLiteral("transporte: sem resposta");
        return failed;
    }
    try {
        return Wire::DecodeResponse(answer.mid(at + 4));
    } catch (const std::exception& e) {
        failed.errorMessage = QStringLiteral("transporte: ") + QString::fromUtf8(e.what());
        return failed;
    }
}

TEST(StoreRestart, TheServerOutlivesARestartOfItsDatabaseUnderLoad)
{
    ThrowawayCluster cluster;
    QString why;
    if (!cluster.Start(&why))
        GTEST_SKIP() << why.toStdString();
    TStore store(cluster.Url());
    InitDemo(store);
    TServerObjects objects(store);
    RegisterAll(objects);
    const std::unique_ptr<TRpcServer> server = objects.Serve();
    server->Listen();
    QString token;
    {
        QSqlDatabase db = store.connection();
        token = Sessions::Open(db, QStringLiteral("OPER1"), QStringLiteral("0001"), QDateTime::currentDateTime(), objects.Policy());
    }

    // Clients read and write in a loop; each answer is counted by the phase it came in.
    enum Phase { Before, Outage, Back, After, Phases };
    std::atomic<int> phase{Before};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    int ok[Phases] = {}, unavailable[Phases] = {};
    QStringList others;
    std::atomic<int> lastOk[3] = {};   // per client: its last answer succeeded
    const QString unavailableText = QStringLiteral("Banco de dados indisponível; tente novamente.");
    std::vector<std::thread> clients;
    for (int c = 0; c < 3; ++c)
        clients.emplace_back([&, c] {
            while (!stop) {
                const Wire::Response r = c == 2 ? CallOver(server->Port(), QStringLiteral("ORE06400.rdmProcOrca"), QStringLiteral("SetVdCustoFixo"),
                                                           {QStringLiteral("0001"), QStringLiteral("0000000101"), QStringLiteral("01")}, token)
                                                : CallOver(server->Port(), QStringLiteral("ORE06400.rdmProcOrca"), QStringLiteral("GetOperCadProd"),
                                                           {QStringLiteral("OPER1")}, token);
                const int now = phase;
                std::lock_guard lock(mutex);
                const bool succeeded = !r.isError && !VarIsFail(r.result);
                lastOk[c] = succeeded;
                if (succeeded)
                    ++ok[now];
                else if (r.isError && r.errorMessage.startsWith(unavailableText))
                    ++unavailable[now];
                else
                    others << QStringLiteral("%1: %2").arg(now).arg(r.isError ? r.errorMessage : r.result.value<TFailResult>().text);
            }
        });
    const auto waitFor = [](const std::function<bool()>& condition, int ms) {
        QElapsedTimer waited;
        waited.start();
        while (!condition() && waited.elapsed() < ms)
            QThread::msleep(20);
        return condition();
    };

    QThread::msleep(700);
    phase = Outage;
    const bool down = cluster.Down(&why);
    QThread::msleep(1500);   // the clients call a stopped database meanwhile
    const bool up = down && cluster.Up(&why);
    phase = Back;
    // Within seconds of the database's return every client is served again, and the
    // session changes are heard again.
    const bool served = up && waitFor([&] { return lastOk[0] && lastOk[1] && lastOk[2]; }, 10000);
    const bool hearing = up && waitFor([&] { return objects.HearsSessionChanges(); }, 10000);
    phase = After;
    QThread::msleep(1000);
    stop = true;
    for (auto& t : clients)
        t.join();

    ASSERT_TRUE(down && up) << why.toStdString();
    EXPECT_TRUE(served) << "a client still failed 10 s after the database came back";
    EXPECT_TRUE(hearing) << "the session channel was not heard again";
    EXPECT_GT(ok[Before], 0);
    EXPECT_GT(unavailable[Outage], 0) << "calls while the database was down";
    EXPECT_EQ(unavailable[After], 0);
    EXPECT_GT(ok[After], 0);
    EXPECT_TRUE(others.isEmpty()) << others.join(QStringLiteral("\n")).toStdString();
}

} // namespace
