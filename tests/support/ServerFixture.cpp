#include "ServerFixture.h"

#include "ClientDataSet.h"
#include "HostServices.h"
#include "NetConnection.h"
#include "Wire.h"

#include <QSqlQuery>

void ServerHarness::Start(const char* backend)
{
    QString url;
    if (QLatin1String(backend) == QLatin1String("postgresql")) {
        url = qEnvironmentVariable("ORE_TEST_PG");
        if (url.isEmpty())
            GTEST_SKIP() << "ORE_TEST_PG is not set: no PostgreSQL for this run";
    } else {
        url = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("ore.db"));
    }
    store = std::make_unique<TStore>(url);
    if (store->dialect() == TStore::PostgreSQL) {
        QSqlDatabase db = store->connection();
        ::Run(db, QStringLiteral("DROP SCHEMA public CASCADE"));
        ::Run(db, QStringLiteral("CREATE SCHEMA public"));
    }
    InitDemo(*store);
    objects = std::make_unique<TServerObjects>(*store);
    RegisterAll(*objects);
    server = std::make_unique<TRpcServer>([this](const TRpcRequest& r) { return objects->Dispatch(r); });
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
