#include "ServerFixture.h"

#include "ClientDataSet.h"
#include "Errors.h"
#include "HostServices.h"
#include "NetConnection.h"
#include "Wire.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSqlQuery>

namespace {

// The SQLite demo store, built once for the test binary and copied for each test: building it
// hashes every demo password, which takes most of a test's time. ctest runs each test in a
// process of its own, so the store is kept next to the binary, built again when the binary is
// newer, and by one process at a time.
QString DemoStoreFile()
{
    static const QString file = [] {
        const QString binary = QCoreApplication::applicationFilePath();
        const QString kept = binary + QStringLiteral(".demo.db");
        QLockFile lock(kept + QStringLiteral(".lock"));
        if (!lock.lock())
            throw EHostError(QStringLiteral("%1: the lock file could not be made").arg(kept));
        const QFileInfo keptInfo(kept);
        if (keptInfo.exists() && keptInfo.lastModified() >= QFileInfo(binary).lastModified())
            return kept;
        QTemporaryDir dir(kept + QStringLiteral(".XXXXXX"));
        const QString built = dir.filePath(QStringLiteral("built.db"));
        const QString copy = dir.filePath(QStringLiteral("demo.db"));
        {
            TStore store(QStringLiteral("sqlite:") + built);
            InitDemo(store);
            // One self-contained file, whatever the journal still holds.
            QSqlDatabase db = store.connection();
            ::Run(db, QStringLiteral("VACUUM INTO ?"), {copy});
        }
        QFile::remove(kept);
        if (!QFile::rename(copy, kept))
            throw EHostError(QStringLiteral("%1: the demo store could not be kept").arg(kept));
        return kept;
    }();
    return file;
}

} // namespace

void ServerHarness::Start(const char* backend)
{
    QString url;
    if (QLatin1String(backend) == QLatin1String("postgresql")) {
        url = qEnvironmentVariable("ORE_TEST_PG");
        if (url.isEmpty())
            GTEST_SKIP() << "ORE_TEST_PG is not set: no PostgreSQL for this run";
    } else {
        const QString file = dir.filePath(QStringLiteral("ore.db"));
        ASSERT_TRUE(QFile::copy(DemoStoreFile(), file)) << "the demo store could not be copied to " << file.toStdString();
        url = QStringLiteral("sqlite:") + file;
    }
    store = std::make_unique<TStore>(url);
    if (store->dialect() == TStore::PostgreSQL) {
        QSqlDatabase db = store->connection();
        ::Run(db, QStringLiteral("DROP SCHEMA public CASCADE"));
        ::Run(db, QStringLiteral("CREATE SCHEMA public"));
    }
    InitDemo(*store);   // on the copy, only the schema's version is checked
    objects = std::make_unique<TServerObjects>(*store);
    RegisterAll(*objects);
    server = objects->Serve();
    server->Listen();
    Session().webURL = QStringLiteral("127.0.0.1");
    Session().webPort = server->Port();
    Session().tls = false;
    Session().caFile.clear();
    Session().callTimeoutMs = 20000;
    ActAs(QStringLiteral("OPER1"));
}

QString ServerHarness::OpenSession(const QString& operatorCode, const QString& branch)
{
    QSqlDatabase db = store->connection();
    return Sessions::Open(db, operatorCode, branch, QDateTime::currentDateTime(), objects->Policy());
}

void ServerHarness::ActAs(const QString& operatorCode, const QString& branch)
{
    Session().token = OpenSession(operatorCode, branch);
    Session().operador = operatorCode;
    Session().filiProc = branch;
}

void ServerHarness::Stop()
{
    if (server)
        server->Stop();
    Session().token.clear();
}

QVariant ServerHarness::Call(const QString& object, const QString& method, const QVariantList& args, QMap<int, QVariant>* byref)
{
    TNetConnection net(nullptr, QStringLiteral("netTeste"), object);
    return net.Call(method, args, byref);
}

QString ServerHarness::TransportErrorOf(const QString& object, const QString& method, const QVariantList& args)
{
    try {
        Call(object, method, args);
        return {};
    } catch (const ETransportError& e) {
        return e.message();
    }
}

QString ServerHarness::FailOf(const QVariant& result) { return VarIsFail(result) ? result.value<TFailResult>().text : QString(); }

QVariant ServerHarness::Sql(const QString& sql, const QVariantList& params)
{
    QSqlDatabase db = store->connection();
    return Scalar(db, sql, params);
}

void ServerHarness::Exec(const QString& sql, const QVariantList& params)
{
    QSqlDatabase db = store->connection();
    ::Run(db, sql, params);
}

QStringList Column(const QVariant& packet, const char* field)
{
    TClientDataSet ds;
    ds.SetData(packet);
    QStringList values;
    for (ds.First(); !ds.Eof(); ds.Next())
        values << ds.FieldByName(QString::fromLatin1(field))->AsString();
    return values;
}
