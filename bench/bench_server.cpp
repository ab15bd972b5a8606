// ore-server under load: calls per second and median latency for 1, 8 and 32 concurrent
// clients, for a read (GetGeral of a quote with 500 items) and a write (SetModPgto), on SQLite
// and, when ORE_TEST_PG names a database that may be emptied, on PostgreSQL.
#include "Demo.h"
#include "HostServices.h"
#include "NetConnection.h"
#include "RpcServer.h"
#include "ServerObjects.h"
#include "Store.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr double SecondsPerRun = 2.0;

void bigQuote(TStore& store)
{
    store.transaction([](QSqlDatabase& db) {
        Run(db, QStringLiteral("INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE, DTEVENTO, QTHREVENTO, CDVENDEDOR) "
                               "VALUES ('0001', '0000009500', '01', '1', '2027-12-01T20:00:00', 5, 'V01')"));
        for (int i = 1; i <= 500; ++i)
            Run(db, QStringLiteral("INSERT INTO ITEMORCA (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRITEMORCEVE, NROPCAITOREV, CDPRODUTO, "
                                   "QTITEMORCEVE, VRITEMORCEVE, VRDESCITOREV, VRACREITOREV) VALUES ('0001', '0000009500', '01', ?, ?, ?, ?, ?, 0, 0)"),
                {QString::number(i).rightJustified(10, QLatin1Char('0')), QString::number(i % 3 + 1).rightJustified(2, QLatin1Char('0')),
                 i % 2 ? QStringLiteral("P001") : QStringLiteral("M003"), double(i % 50 + 1), 1.5 + i % 7});
    });
}

void load(quint16 port, const char* what, int clients, const QString& method, const QVariantList& args, const QString& object)
{
    std::vector<double> latencies;
    std::mutex mutex;
    QElapsedTimer wall;
    wall.start();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&] {
            TNetConnection net(nullptr, QStringLiteral("netBench"), object);
            net.Host = QStringLiteral("127.0.0.1");
            net.Port = port;
            std::vector<double> mine;
            QElapsedTimer run;
            run.start();
            while (run.elapsed() < SecondsPerRun * 1000) {
                QElapsedTimer t;
                t.start();
                net.Call(method, args);
                mine.push_back(t.nsecsElapsed() / 1e3);
            }
            std::lock_guard lock(mutex);
            latencies.insert(latencies.end(), mine.begin(), mine.end());
        });
    for (auto& t : threads)
        t.join();
    const double seconds = wall.nsecsElapsed() / 1e9;
    std::sort(latencies.begin(), latencies.end());
    std::printf("  %-6s %2d client(s): %8.0f calls/s   median %8.0f us\n", what, clients, latencies.size() / seconds,
                latencies.empty() ? 0.0 : latencies[latencies.size() / 2]);
    std::fflush(stdout);
}

// A wrong password costs the same whether the operator exists or not, so codes cannot be
// found by timing the answers.
void passwordChecks(TStore& store)
{
    auto median = [&](const QString& operatorCode) {
        std::vector<double> times;
        QSqlDatabase db = store.connection();
        for (int i = 0; i < 15; ++i) {
            QElapsedTimer t;
            t.start();
            PasswordMatches(db, operatorCode, QStringLiteral("errada"));
            times.push_back(t.nsecsElapsed() / 1e6);
        }
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    };
    const double known = median(QStringLiteral("SUP1")), unknown = median(QStringLiteral("NINGUEM"));
    std::printf("  password check (PBKDF2-SHA256, 120,000 iterations): known operator %.1f ms, unknown operator %.1f ms (ratio %.2f)\n", known, unknown,
                unknown / known);
}

void bench(const QString& url, const char* name)
{
    TStore store(url);
    if (store.dialect() == TStore::PostgreSQL) {
        QSqlDatabase db = store.connection();
        Run(db, QStringLiteral("DROP SCHEMA public CASCADE"));
        Run(db, QStringLiteral("CREATE SCHEMA public"));
    }
    InitDemo(store);
    bigQuote(store);
    TServerObjects objects(store);
    RegisterAll(objects);
    {
        QSqlDatabase db = store.connection();
        Session().token = Sessions::Open(db, QStringLiteral("OPER1"), QStringLiteral("0001"), QDateTime::currentDateTime(), objects.Policy());
    }
    TRpcServer server([&](const TRpcRequest& r) { return objects.Dispatch(r); });
    server.Listen();
    std::printf("%s (one server thread)\n", name);
    for (int clients : {1, 8, 32}) {
        load(server.Port(), "read", clients, QStringLiteral("GetGeral"), {"0001", "0000009500", "01"}, QStringLiteral("ORE00400.rdmAprovaOrca"));
        load(server.Port(), "write", clients, QStringLiteral("SetModPgto"), {"02", "0001", "0000009500", "", "", "C"},
             QStringLiteral("ORE00400.rdmAprovaOrca"));
    }
    passwordChecks(store);
    server.Stop();
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    Session().operador = QStringLiteral("OPER1");
    Session().filiProc = QStringLiteral("0001");
    QTemporaryDir dir;
    bench(QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("bench.db")), "SQLite");
    const QString pg = qEnvironmentVariable("ORE_TEST_PG");
    if (pg.isEmpty())
        std::printf("PostgreSQL: skipped (ORE_TEST_PG is not set; ./ore bench starts one)\n");
    else
        bench(pg, "PostgreSQL");
    return 0;
}
