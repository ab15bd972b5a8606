// ore-server for a whole office, measured on loopback and printed side by side with what it is
// compared to:
//   - GetGeral of a 500- and a 2,000-item quote, the server's median against the floor: the same
//     SELECTs through SQLite's own interface, their rows written with RapidJSON (the floor of
//     the targets prepares each statement as it runs it; a stricter one that keeps them
//     prepared, as the server does, is shown beside it);
//   - the readiness report (VerificaOrcamento) of the 2,000-item quote against its GetGeral;
//   - reads from 1, 2 and 4 clients at once, on SQLite and on PostgreSQL;
//   - a tiny call's 99th percentile while 4 other clients check passwords in a loop;
//   - a tiny call on PostgreSQL against SQLite;
//   - ListaOrcamentos over 10,000 quotes against the same SELECT through SQLite's interface;
//   - GetGeral of the 500- and 2,000-item quotes on PostgreSQL;
//   - the memory of an ore-server process that has refused a 50 MB body;
//   - the memory of an ore-server process before and after 3,000 SetOpcao calls, each ticking
//     a different number of keys (on SQLite, and on PostgreSQL when it runs);
//   - a wrong password's check for an operator who exists and for one who does not.
// The clients speak HTTP over plain sockets and do not decode the answers, so the figures are
// the server's. PostgreSQL runs when ORE_TEST_PG names a database that may be emptied (`./ore
// bench` starts one).
#include "Demo.h"
#include "RpcServer.h"
#include "ServerObjects.h"
#include "Sessions.h"
#include "Store.h"
#include "Wire.h"
#include "WireEnvelopes.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSqlDriver>
#include <QTemporaryDir>
#include <QThread>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <sqlite3.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// A ratio's two sides are measured in turns, a short spell each, so that both meet the
// machine alike: a loaded moment on a shared machine then weighs on both sides, not on one.
constexpr int Turns = 8;
constexpr double SecondsPerTurn = 0.25;

// ------------------------------------------------------------------ a client that only reads bytes

class RawClient {
public:
    explicit RawClient(quint16 port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("connect");
        int one = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~RawClient() { ::close(m_fd); }

    // The body of the last answer.
    QByteArray body() const { return m_buffer.mid(m_buffer.indexOf("\r\n\r\n") + 4); }

    // One call; answers the body's size.
    size_t call(const QByteArray& request)
    {
        for (qsizetype sent = 0; sent < request.size();) {
            const ssize_t n = ::send(m_fd, request.constData() + sent, size_t(request.size() - sent), MSG_NOSIGNAL);
            if (n <= 0)
                throw std::runtime_error("send");
            sent += n;
        }
        m_buffer.clear();
        qsizetype headerEnd = -1;
        qint64 length = -1;
        char chunk[65536];
        for (;;) {
            const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                throw std::runtime_error("recv");
            m_buffer.append(chunk, n);
            if (headerEnd < 0 && (headerEnd = m_buffer.indexOf("\r\n\r\n")) >= 0) {
                const qsizetype at = m_buffer.indexOf("Content-Length: ");
                length = m_buffer.mid(at + 16, m_buffer.indexOf("\r\n", at) - at - 16).toLongLong();
            }
            if (headerEnd >= 0 && m_buffer.size() >= headerEnd + 4 + length)
                return size_t(length);
        }
    }

private:
    int m_fd = -1;
    QByteArray m_buffer;
};

QByteArray Request(const QString& object, const QString& method, const QVariantList& args, const QString& token)
{
    const QByteArray body = Wire::EncodeRequest({1, method, args});
    return "POST /rpc/" + object.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nAuthorization: Bearer " + token.toUtf8()
           + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// The times of calls, gathered over one or more spells.
struct Figures {
    std::vector<double> latencies;   // microseconds, one per call
    double seconds = 0;              // the spells' wall time

    Figures& operator+=(const Figures& more)
    {
        latencies.insert(latencies.end(), more.latencies.begin(), more.latencies.end());
        seconds += more.seconds;
        return *this;
    }
    double perSecond() const { return seconds > 0 ? double(latencies.size()) / seconds : 0; }
    double median() const { return at(0.5); }
    double p99() const { return at(0.99); }

private:
    double at(double fraction) const
    {
        if (latencies.empty())
            return 0;
        std::vector<double> sorted = latencies;
        const auto k = std::min(sorted.size() - 1, size_t(double(sorted.size()) * fraction));
        std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(k), sorted.end());
        return sorted[k];
    }
};

// Runs each measure `Turns` times, in turn, adding each spell to its figures.
void InTurns(const std::vector<std::pair<Figures*, std::function<Figures()>>>& measures)
{
    for (int turn = 0; turn < Turns; ++turn)
        for (const auto& [figures, measure] : measures)
            *figures += measure();
}

// `clients` threads call `request` in a loop for a while.
Figures Load(quint16 port, int clients, const QByteArray& request, double seconds = SecondsPerTurn)
{
    std::vector<double> latencies;
    std::mutex mutex;
    QElapsedTimer wall;
    wall.start();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&] {
            RawClient client(port);
            std::vector<double> mine;
            QElapsedTimer run;
            run.start();
            while (double(run.elapsed()) < seconds * 1000) {
                QElapsedTimer t;
                t.start();
                client.call(request);
                mine.push_back(double(t.nsecsElapsed()) / 1e3);
            }
            std::lock_guard lock(mutex);
            latencies.insert(latencies.end(), mine.begin(), mine.end());
        });
    for (auto& t : threads)
        t.join();
    return {std::move(latencies), double(wall.nsecsElapsed()) / 1e9};
}

void Ratio(const char* what, double value, double against, const char* target, bool met)
{
    std::printf("  %-62s %8.2f   target %-10s %s\n", what, value / against, target, met ? "met" : "NOT MET");
}

// ------------------------------------------------------------------ the data

QString Number(int n) { return QString::number(n).rightJustified(10, QLatin1Char('0')); }

void BigQuote(TStore& store, int number, int items)
{
    store.transaction([&](QSqlDatabase& db) {
        Run(db, QStringLiteral("INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE, DTEVENTO, QTHREVENTO, CDVENDEDOR, TXOBSEXTOREV) "
                               "VALUES ('0001', ?, '01', '1', '2027-12-01T20:00:00', 5, 'V01', 'Observações do evento')"),
            {Number(number)});
        for (int i = 1; i <= items; ++i)
            Run(db, QStringLiteral("INSERT INTO ITEMORCA (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRITEMORCEVE, NROPCAITOREV, CDPRODUTO, "
                                   "QTITEMORCEVE, VRITEMORCEVE, VRDESCITOREV, VRACREITOREV) VALUES ('0001', ?, '01', ?, ?, ?, ?, ?, 0, 0)"),
                {Number(number), Number(i), QString::number(i % 3 + 1).rightJustified(2, QLatin1Char('0')), i % 2 ? QStringLiteral("P001") : QStringLiteral("M003"),
                 double(i % 50 + 1), 1.5 + i % 7});
    });
}

void ManyQuotes(TStore& store, int count)
{
    store.transaction([&](QSqlDatabase& db) {
        for (int n = 0; n < count; ++n)
            Run(db, QStringLiteral("INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE, DSTITUORCEVE, NMCLIEORCEVE, CDCLIENTE, "
                                   "DTEVENTO, QTHREVENTO, CDVENDEDOR, VRDESCORCEVE) VALUES ('0001', ?, '01', ?, ?, ?, 'J11222333000181', ?, 5, 'V01', 10)"),
                {Number(20000 + n), QString::number(n % 8 + 1), QStringLiteral("Evento %1").arg(n), QStringLiteral("Cliente %1").arg(n % 97),
                 QStringLiteral("2027-%1-%2T19:30:00").arg(n % 12 + 1, 2, 10, QLatin1Char('0')).arg(n % 28 + 1, 2, 10, QLatin1Char('0'))});
    });
}

// ------------------------------------------------------------------ the floors

// `work` run again and again for a while, once at least.
template <class Work>
Figures Repeat(Work work, double seconds = SecondsPerTurn)
{
    Figures f;
    QElapsedTimer wall;
    wall.start();
    do {
        QElapsedTimer t;
        t.start();
        work();
        f.latencies.push_back(double(t.nsecsElapsed()) / 1e3);
    } while (double(wall.nsecsElapsed()) < seconds * 1e9);
    f.seconds = double(wall.nsecsElapsed()) / 1e9;
    return f;
}

using FloorWriter = rapidjson::Writer<rapidjson::StringBuffer>;

// A call's statements through SQLite's interface, on a connection of their own and in one read
// transaction, as the server runs a read: the session's first, then the call's own. The floor
// the targets are set against prepares each statement as it runs it; the stricter one keeps
// them prepared, as the server now does, and is shown beside it.
class TFloor {
public:
    using Statements = std::function<void(TFloor&, FloorWriter&)>;
    enum Preparing { EachRun, Kept };

    TFloor(const QString& file, const QString& tokenHash, Statements statements, Preparing preparing)
        : m_tokenHash(tokenHash.toUtf8()), m_statements(std::move(statements)), m_preparing(preparing)
    {
        sqlite3_open_v2(file.toUtf8().constData(), &m_db, SQLITE_OPEN_READONLY, nullptr);
    }
    ~TFloor()
    {
        for (sqlite3_stmt* statement : std::as_const(m_kept))
            sqlite3_finalize(statement);   // null ones are no-ops
        sqlite3_close(m_db);
    }
    TFloor(const TFloor&) = delete;
    TFloor& operator=(const TFloor&) = delete;

    Figures spell() { return Repeat([this] { once(); }); }

    // `sql` with `params`, each row written as a JSON array with RapidJSON.
    void select(const char* sql, const QList<QByteArray>& params, FloorWriter& w)
    {
        sqlite3_stmt*& statement = m_kept[QByteArray(sql)];
        if (!statement)
            sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
        for (int i = 0; i < params.size(); ++i)
            sqlite3_bind_text(statement, i + 1, params[i].constData(), int(params[i].size()), SQLITE_STATIC);
        const int columns = sqlite3_column_count(statement);
        w.StartArray();
        while (sqlite3_step(statement) == SQLITE_ROW) {
            w.StartArray();
            for (int c = 0; c < columns; ++c) {
                switch (sqlite3_column_type(statement, c)) {
                case SQLITE_INTEGER: w.Int64(sqlite3_column_int64(statement, c)); break;
                case SQLITE_FLOAT: w.Double(sqlite3_column_double(statement, c)); break;
                case SQLITE_NULL: w.Null(); break;
                default:
                    w.String(reinterpret_cast<const char*>(sqlite3_column_text(statement, c)), rapidjson::SizeType(sqlite3_column_bytes(statement, c)));
                }
            }
            w.EndArray();
        }
        w.EndArray();
        if (m_preparing == Kept) {
            sqlite3_reset(statement);
            sqlite3_clear_bindings(statement);
        } else {
            sqlite3_finalize(statement);
            statement = nullptr;
        }
    }

private:
    void once()
    {
        rapidjson::StringBuffer buffer;
        FloorWriter w(buffer);
        sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr);
        w.StartArray();
        select("SELECT CDOPERADOR, CDFILIAL, DTULTUSO, CDOPERCONF, DTCONF FROM SESSAO WHERE DSTOKENHASH = ?", {m_tokenHash}, w);
        m_statements(*this, w);
        w.EndArray();
        sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    }

    sqlite3* m_db = nullptr;
    QByteArray m_tokenHash;
    Statements m_statements;
    Preparing m_preparing;
    QHash<QByteArray, sqlite3_stmt*> m_kept;
};

// GetGeral's statements, as the server runs them (the quote's, the items', the labour's, the
// halls' and the new client's).
TFloor::Statements GeneralStatements(const QString& number)
{
    const QList<QByteArray> key{"0001", number.toUtf8(), "01"};
    return [key](TFloor& floor, FloorWriter& w) {
        floor.select("SELECT VRDESCORCEVE, TXOBSEXTOREV FROM ORCAEVENTO WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ?", key, w);
        floor.select(
                    "SELECT I.CDFILIAL, I.NRORCAEVENTO, I.NRITEMORCEVE, I.CDPRODUTO, I.QTITEMORCEVE, I.VRITEMORCEVE, I.VRDESCITOREV, "
                    "I.NROPCAITOREV, P.CDGRTOTAPROD, P.CDARVPROD, COALESCE(P.NMPRODUTO, I.NMPRODUTO) AS NMPRODUTO, P.SGUNIDADE, "
                    "I.VRACREITOREV, I.NRSEQORCAEVE FROM ITEMORCA I LEFT JOIN PRODUTO P ON P.CDPRODUTO = I.CDPRODUTO "
                    "WHERE I.CDFILIAL = ? AND I.NRORCAEVENTO = ? AND I.NRSEQORCAEVE = ? ORDER BY I.NROPCAITOREV, I.NRITEMORCEVE",
                    key, w);
        floor.select(
                    "SELECT L.CDFILIAL, L.NRORCAEVENTO, L.NRTURNO, L.CDPRODUTO, L.QTPRODMOBRA, L.VRCOBRMOBRA, L.VRPAGOMOBRA, "
                    "P.CDARVPROD, P.SGUNIDADE, P.NMPRODUTO, L.DSTURNO, P.CDGRTOTAPROD, L.NRSEQORCAEVE FROM MAOOBRA L "
                    "LEFT JOIN PRODUTO P ON P.CDPRODUTO = L.CDPRODUTO WHERE L.CDFILIAL = ? AND L.NRORCAEVENTO = ? AND L.NRSEQORCAEVE = ? "
                    "ORDER BY L.NRTURNO, L.CDPRODUTO",
                    key, w);
        floor.select("SELECT COALESCE(SUM(VRCOBAGENSALAO), 0) FROM SALAOORCA WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ?", key, w);
        floor.select(
                    "SELECT N.*, P.NMPAIS, E.NMESTADO, M.NMMUNICIPIO, B.NMBAIRRO FROM ENDENOVOCLIE N "
                    "LEFT JOIN PAIS P ON P.CDPAIS = N.CDPAIS LEFT JOIN ESTADO E ON E.CDPAIS = N.CDPAIS AND E.SGESTADO = N.SGESTADO "
                    "LEFT JOIN MUNICIPIO M ON M.CDPAIS = N.CDPAIS AND M.SGESTADO = N.SGESTADO AND M.CDMUNICIPIO = N.CDMUNICIPIO "
                    "LEFT JOIN BAIRRO B ON B.CDPAIS = N.CDPAIS AND B.SGESTADO = N.SGESTADO AND B.CDMUNICIPIO = N.CDMUNICIPIO AND B.CDBAIRRO = N.CDBAIRRO "
                    "WHERE N.CDFILIAL = ? AND N.NRORCAEVENTO = ? AND N.NRSEQORCAEVE = ?",
                    key, w);
    };
}

// ListaOrcamentos's SELECT.
void ListStatements(TFloor& floor, FloorWriter& w) { floor.select(QuoteListSql().toUtf8().constData(), {"0001"}, w); }

// ------------------------------------------------------------------ one store

struct Server {
    explicit Server(const QString& url) : store(url)
    {
        if (store.dialect() == TStore::PostgreSQL) {
            QSqlDatabase db = store.connection();
            Run(db, QStringLiteral("DROP SCHEMA public CASCADE"));
            Run(db, QStringLiteral("CREATE SCHEMA public"));
        }
        InitDemo(store);
        BigQuote(store, 9500, 500);
        BigQuote(store, 9501, 2000);
        ManyQuotes(store, 10000);
        if (store.dialect() == TStore::PostgreSQL) {
            // What was just loaded is vacuumed and analysed now, not by the autovacuum in the
            // middle of a measurement.
            QSqlDatabase db = store.connection();
            Run(db, QStringLiteral("VACUUM ANALYZE"));
        }
        RegisterAll(objects);
        TRpcServerOptions options;
        options.slowMethods = QStringList{QStringLiteral("CRV.rdmHost.Login"), QStringLiteral("CRV.rdmHost.ConfSenha")};
        rpc = objects.Serve(options);
        rpc->Listen();
        QSqlDatabase db = store.connection();
        token = Sessions::Open(db, QStringLiteral("OPER1"), QStringLiteral("0001"), QDateTime::currentDateTime(), objects.Policy());
    }
    ~Server() { rpc->Stop(); }

    QByteArray request(const char* object, const char* method, const QVariantList& args) const
    {
        return Request(QString::fromLatin1(object), QString::fromLatin1(method), args, token);
    }
    QByteArray general(int number) const { return request("ORE00400.rdmAprovaOrca", "GetGeral", {"0001", Number(number), "01"}); }
    QByteArray tiny() const { return request("ORE06400.rdmProcOrca", "GetOperCadProd", {"OPER1"}); }
    QString tokenHash() const
    {
        return QString::fromLatin1(QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex());
    }

    TStore store;
    TServerObjects objects{store};
    std::unique_ptr<TRpcServer> rpc;
    QString token;
};

struct Reads {
    double one = 0, two = 0, four = 0;
};

Reads Throughput(const Server& s, const char* name)
{
    Figures one, two, four;
    const QByteArray general = s.general(9500);
    InTurns({{&one, [&] { return Load(s.rpc->Port(), 1, general); }},
             {&two, [&] { return Load(s.rpc->Port(), 2, general); }},
             {&four, [&] { return Load(s.rpc->Port(), 4, general); }}});
    const Reads r{one.perSecond(), two.perSecond(), four.perSecond()};
    std::printf("  %s reads (GetGeral, 500 items): 1 client %.0f/s, 2 clients %.0f/s, 4 clients %.0f/s\n", name, r.one, r.two, r.four);
    return r;
}

double RssAfterRefusingABigBody()
{
    QTemporaryDir dir;
    QProcess server;
    server.start(QCoreApplication::applicationDirPath() + QStringLiteral("/ore-server"),
                 {QStringLiteral("--db"), QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("rss.db")), QStringLiteral("--listen"),
                  QStringLiteral("127.0.0.1:0")});
    if (!server.waitForReadyRead(30000))
        return -1;
    const QByteArray banner = server.readAllStandardOutput();
    const qsizetype at = banner.indexOf("127.0.0.1:");
    const quint16 port = quint16(banner.mid(at + 10).split(',').value(0).split(' ').value(0).toInt());
    {
        RawClient client(port);
        QByteArray body(50 * 1000 * 1000, 'x');
        QByteArray request = "POST /rpc/CRV.rdmHost HTTP/1.1\r\nHost: x\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n";
        try {
            client.call(request + body);
        } catch (const std::exception&) {
            // the server answers 413 and closes before the body is all sent
        }
    }
    QThread::msleep(300);
    QFile status(QStringLiteral("/proc/%1/status").arg(server.processId()));
    status.open(QIODevice::ReadOnly);
    double megabytes = -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            megabytes = line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    server.terminate();
    server.waitForFinished(5000);
    return megabytes;
}

// An ore-server process over `url` (the demo data put in), on a free loopback port; -1 when it
// did not start.
struct ServerProcess {
    explicit ServerProcess(const QString& url)
    {
        process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/ore-server"),
                      {QStringLiteral("--db"), url, QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--init-demo")});
        if (!process.waitForReadyRead(60000))
            return;
        const QByteArray banner = process.readAllStandardOutput();
        const qsizetype at = banner.lastIndexOf("127.0.0.1:");   // the listening address comes after the store's
        port = quint16(banner.mid(at + 10).split(',').value(0).split(' ').value(0).toInt());
    }
    ~ServerProcess()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
    double rssMegabytes() const
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(process.processId()));
        status.open(QIODevice::ReadOnly);
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
        return -1;
    }
    QProcess process;
    quint16 port = 0;
};

// The memory of a server before and after 3,000 SetOpcao calls of one session, the n-th ticking
// n keys that are none of the quote's options: each is refused, after its statements ran.
std::pair<double, double> RssUnderListSizes(const QString& url)
{
    ServerProcess server(url);
    if (server.port == 0)
        return {-1, -1};
    RawClient client(server.port);
    client.call(Request(QStringLiteral("CRV.rdmHost"), QStringLiteral("Login"), {"OPER1", "oper1", "0001"}, {}));
    const QString token = Wire::DecodeResponse(client.body()).result.toString();
    const double before = server.rssMegabytes();
    QStringList keys;
    for (int n = 1; n <= 3000; ++n) {
        keys << QStringLiteral("'X%1'").arg(n);
        client.call(Request(QStringLiteral("ORE00400.rdmAprovaOrca"), QStringLiteral("SetOpcao"),
                            {"0001", "0000000102", "01", keys.join(QLatin1Char(',')), 10.0, "A"}, token));
    }
    QThread::msleep(300);
    return {before, server.rssMegabytes()};
}

void ListSizesFigure(const char* store, const QString& url)
{
    const auto [before, after] = RssUnderListSizes(url);
    std::printf("  ore-server RSS on %s before 3,000 SetOpcao calls of distinct list sizes: %.1f MB, after: %.1f MB\n", store, before, after);
    std::printf("  %-62s %8.1f   target %-10s %s\n", "  the growth, MB", after - before, "< 50", before >= 0 && after - before < 50 ? "met" : "NOT MET");
}

// A call on the server against its floor, in turns.
void AgainstFloor(const char* figure, const char* what, const Server& s, const QByteArray& request, const QString& file, const TFloor::Statements& statements,
                  double scale, const char* unit)
{
    TFloor floor(file, s.tokenHash(), statements, TFloor::EachRun), strict(file, s.tokenHash(), statements, TFloor::Kept);
    Figures server, bare, bareKept;
    InTurns({{&server, [&] { return Load(s.rpc->Port(), 1, request); }}, {&bare, [&] { return floor.spell(); }}, {&bareKept, [&] { return strict.spell(); }}});
    const int decimals = scale > 1 ? 1 : 0;
    std::printf("  %s: server median %8.*f %s, floor %8.*f %s (statements kept: %.*f %s)\n", what, decimals, server.median() / scale, unit, decimals,
                bare.median() / scale, unit, decimals, bareKept.median() / scale, unit);
    Ratio(figure, server.median(), bare.median(), "<= 1.5", server.median() <= 1.5 * bare.median());
    Ratio("  the same against the floor with its statements kept", server.median(), bareKept.median(), "(shown)", true);
}

} // namespace

int main(int argc, char** argv)
{
    KeepMemoryBetweenCalls();   // as ore-server does
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.db"));
    std::printf("ore-server (%d workers; %d cores); each ratio's sides measured in %d turns of %.2f s\n", std::max(2, QThread::idealThreadCount()),
                QThread::idealThreadCount(), Turns, SecondsPerTurn);

    Server s(QStringLiteral("sqlite:") + file);
    Load(s.rpc->Port(), 1, s.general(9500), 0.5);   // warms the workers, their connections and statements
    for (int items : {500, 2000}) {
        const int number = items == 500 ? 9500 : 9501;
        AgainstFloor(items == 500 ? "GetGeral 500 items, server / floor" : "GetGeral 2,000 items, server / floor",
                     items == 500 ? "GetGeral,  500 items" : "GetGeral, 2000 items", s, s.general(number), file, GeneralStatements(Number(number)), 1, "us");
    }
    // What stops the 2,000-item quote, and what its execution would make, against one GetGeral of it.
    {
        Figures general, report;
        InTurns({{&general, [&] { return Load(s.rpc->Port(), 1, s.general(9501)); }},
                 {&report, [&] { return Load(s.rpc->Port(), 1, s.request("CRV.rdmHost", "VerificaOrcamento", {"0001", Number(9501), "01"})); }}});
        std::printf("  VerificaOrcamento, 2,000 items: median %8.0f us, GetGeral %8.0f us\n", report.median(), general.median());
        Ratio("VerificaOrcamento 2,000 items / GetGeral 2,000 items", report.median(), general.median(), "<= 2", report.median() <= 2 * general.median());
    }
    const Reads sqliteReads = Throughput(s, "SQLite");
    Ratio("SQLite reads, 2 clients / 1 client", sqliteReads.two, sqliteReads.one, ">= 1.7", sqliteReads.two >= 1.7 * sqliteReads.one);
    Ratio("SQLite reads, 4 clients / 1 client", sqliteReads.four, sqliteReads.one, "(shown)", true);

    {
        Figures alone, busy;
        std::atomic<bool> checking{false};
        std::vector<std::thread> checkers;
        const QByteArray check = s.request("CRV.rdmHost", "ConfSenha", {"SUP1", "sup1"});
        alone = Load(s.rpc->Port(), 1, s.tiny(), 1.0);
        checking = true;
        for (int i = 0; i < 4; ++i)
            checkers.emplace_back([&] {
                RawClient client(s.rpc->Port());
                while (checking)
                    client.call(check);
            });
        busy = Load(s.rpc->Port(), 1, s.tiny(), 2.0);
        checking = false;
        for (auto& t : checkers)
            t.join();
        std::printf("  tiny call alone: median %.0f us, p99 %.0f us; while 4 clients check passwords: median %.0f us, p99 %.0f us\n", alone.median(),
                    alone.p99(), busy.median(), busy.p99());
        std::printf("  %-62s %8.1f   target %-10s %s\n", "tiny call p99 during password checks, ms", busy.p99() / 1000, "<= 20",
                    busy.p99() <= 20000 ? "met" : "NOT MET");
    }

    AgainstFloor("ListaOrcamentos, server / floor", "ListaOrcamentos, 10,000+ quotes", s, s.request("CRV.rdmHost", "ListaOrcamentos", {"0001"}), file,
                 ListStatements, 1000, "ms");

    {
        QSqlDatabase db = s.store.connection();
        Figures known, unknown;
        for (int i = 0; i < 15; ++i) {
            known += Repeat([&] { PasswordMatches(db, QStringLiteral("SUP1"), QStringLiteral("errada")); }, 0);
            unknown += Repeat([&] { PasswordMatches(db, QStringLiteral("NINGUEM"), QStringLiteral("errada")); }, 0);
        }
        std::printf("  wrong password (PBKDF2-SHA256, 120,000 iterations): operator who exists %.1f ms, who does not %.1f ms\n", known.median() / 1000,
                    unknown.median() / 1000);
    }

    const QString pg = qEnvironmentVariable("ORE_TEST_PG");
    if (pg.isEmpty()) {
        std::printf("  PostgreSQL: skipped (ORE_TEST_PG is not set; ./ore bench starts one)\n");
    } else {
        Server p(pg);
        const Reads reads = Throughput(p, "PostgreSQL");
        Ratio("PostgreSQL reads, 2 clients / 1 client", reads.two, reads.one, ">= 1.7", reads.two >= 1.7 * reads.one);
        Ratio("PostgreSQL reads, 4 clients / 1 client", reads.four, reads.one, "(shown)", true);
        Figures onPostgres, onSqlite;
        InTurns({{&onPostgres, [&] { return Load(p.rpc->Port(), 1, p.tiny()); }}, {&onSqlite, [&] { return Load(s.rpc->Port(), 1, s.tiny()); }}});
        std::printf("  tiny call: PostgreSQL median %.0f us, SQLite %.0f us\n", onPostgres.median(), onSqlite.median());
        Ratio("tiny call, PostgreSQL / SQLite", onPostgres.median(), onSqlite.median(), "<= 2", onPostgres.median() <= 2 * onSqlite.median());
        Figures general500, general2000;
        InTurns({{&general500, [&] { return Load(p.rpc->Port(), 1, p.general(9500)); }},
                 {&general2000, [&] { return Load(p.rpc->Port(), 1, p.general(9501)); }}});
        std::printf("  GetGeral on PostgreSQL: 500 items median %.0f us, 2,000 items median %.0f us\n", general500.median(), general2000.median());
    }
    {
        QTemporaryDir attacked;
        ListSizesFigure("SQLite", QStringLiteral("sqlite:") + attacked.filePath(QStringLiteral("sizes.db")));
    }
    if (!pg.isEmpty()) {
        {
            TStore emptied(pg);
            QSqlDatabase db = emptied.connection();
            Run(db, QStringLiteral("DROP SCHEMA public CASCADE"));
            Run(db, QStringLiteral("CREATE SCHEMA public"));
        }
        ListSizesFigure("PostgreSQL", pg);
    }

    const double rss = RssAfterRefusingABigBody();
    std::printf("  %-62s %8.1f   target %-10s %s\n", "ore-server RSS after refusing a 50 MB body, MB", rss, "< 100", rss >= 0 && rss < 100 ? "met" : "NOT MET");
    return 0;
}
