#pragma once
// A fresh ore-server over the demo data, on loopback, for each test: SQLite in a temporary
// file, or PostgreSQL when ORE_TEST_PG names a database that the tests may empty.

#include "Demo.h"
#include "HostServices.h"
#include "RpcServer.h"
#include "ScriptedServices.h"
#include "ServerObjects.h"
#include "Store.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

// The server and its store, for any fixture: Start before a test, Stop after it.
class ServerHarness {
protected:
    // `backend` is "sqlite" or "postgresql"; without ORE_TEST_PG the latter skips the test.
    void Start(const char* backend);
    void Stop();

    // A session opened straight in the store, as a login would open it; its token.
    QString OpenSession(const QString& operatorCode, const QString& branch = QStringLiteral("0001"));
    // Makes the calls that follow those of `operatorCode`'s session (OPER1's at the start).
    void ActAs(const QString& operatorCode, const QString& branch = QStringLiteral("0001"));

    // A call through the protocol, as a module makes it, in the session of ActAs.
    QVariant Call(const QString& object, const QString& method, const QVariantList& args = {}, QMap<int, QVariant>* byref = nullptr);
    // The text of the transport error a call raises (an HTTP refusal), or "" when it succeeds.
    QString TransportErrorOf(const QString& object, const QString& method, const QVariantList& args);
    // The failed result's text, or "" when the call succeeded.
    QString FailOf(const QVariant& result);
    // A value read straight from the store.
    QVariant Sql(const QString& sql, const QVariantList& params = {});
    void Exec(const QString& sql, const QVariantList& params = {});

    QTemporaryDir dir;
    std::unique_ptr<TStore> store;
    std::unique_ptr<TServerObjects> objects;
    std::unique_ptr<TRpcServer> server;
};

// One test on each database it is instantiated for (SERVER_BACKENDS).
class ServerFixture : public ServerHarness, public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { Start(GetParam()); }
    void TearDown() override { Stop(); }
};

// The texts of one column of a packet.
QStringList Column(const QVariant& packet, const char* field);

// The module against the real server, its operator played by a script.
class ScriptedServerFixture : public ServerFixture {
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        host = static_cast<ScriptedHostServices*>(&InstallHostServices(std::make_unique<ScriptedHostServices>()));
    }
    void TearDown() override
    {
        UninstallHostServices();
        ServerFixture::TearDown();
    }
    ScriptedHostServices* host = nullptr;
};

#define SERVER_BACKENDS(Suite) INSTANTIATE_TEST_SUITE_P(Backends, Suite, ::testing::Values("sqlite", "postgresql"), [](const auto& i) { return std::string(i.param); })
