// HTTPS between ore-host and the server, with certificates the test makes: the server's is
// verified, a plain connection to the TLS port gets nothing, an unknown authority is refused;
// and ore-server will not serve a network in clear unless told so.
#include "TestSupport.h"

#include "Errors.h"
#include "HostServices.h"
#include "NetConnection.h"
#include "RpcServer.h"
#include "Wire.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QSslCipher>

namespace {

class Tls : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new QTemporaryDir;
        const QString ca = dir->filePath("ca"), other = dir->filePath("outra"), server = dir->filePath("servidor");
        QFile ext(dir->filePath("ext.cnf"));
        ext.open(QIODevice::WriteOnly);
        ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n");
        ext.close();
        for (const QString& authority : {ca, other})
            openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", authority + ".key", "-out",
                     authority + ".pem", "-days", "2", "-subj", "/CN=Autoridade de teste", "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                     "keyUsage=critical,keyCertSign,cRLSign"});
        openssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", server + ".key", "-out", server + ".csr",
                 "-subj", "/CN=127.0.0.1"});
        openssl({"x509", "-req", "-in", server + ".csr", "-CA", ca + ".pem", "-CAkey", ca + ".key", "-CAcreateserial", "-out", server + ".pem", "-days",
                 "2", "-extfile", dir->filePath("ext.cnf")});
    }
    static void TearDownTestSuite() { delete dir; }

    static void openssl(const QStringList& arguments)
    {
        QProcess p;
        p.start(QStringLiteral("openssl"), arguments);
        ASSERT_TRUE(p.waitForFinished(30000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    }

    void SetUp() override
    {
        rpc.UseTls(dir->filePath("servidor.pem"), dir->filePath("servidor.key"));
        rpc.Listen();
        Session().webURL = QStringLiteral("127.0.0.1");
        Session().webPort = rpc.Port();
        Session().callTimeoutMs = 10000;
    }
    void TearDown() override
    {
        Session().tls = false;
        Session().caFile.clear();
    }

    // The text of the error of a call, or "ok".
    QString Outcome(bool tls, const QString& caFile)
    {
        Session().tls = tls;
        Session().caFile = caFile;
        TNetConnection net(nullptr, QStringLiteral("netTeste"), QStringLiteral("CRV.rdmHost"));
        try {
            return net.Call(QStringLiteral("Eco"), {QStringLiteral("olá")}).toString() == QStringLiteral("olá") ? QStringLiteral("ok") : QStringLiteral("errado");
        } catch (const ETransportError& e) {
            return e.message();
        }
    }

    static inline QTemporaryDir* dir = nullptr;
    TRpcServer rpc{[](const TRpcRequest& r) { return TRpcReply::Value(r.params.value(0)); }};
};

TEST_F(Tls, TheServersCertificateIsVerifiedAndPlainHttpGetsNothing)
{
    EXPECT_EQ(Outcome(true, dir->filePath("ca.pem")), "ok");

    const QString plain = Outcome(false, {});
    EXPECT_NE(plain, "ok");
    EXPECT_TRUE(plain.contains("CRV.rdmHost.Eco")) << plain.toStdString();

    const QString unknown = Outcome(true, dir->filePath("outra.pem"));
    EXPECT_TRUE(unknown.contains("certificado do servidor recusado")) << unknown.toStdString();
    const QString system = Outcome(true, {});
    EXPECT_TRUE(system.contains("certificado do servidor recusado")) << system.toStdString();
}

// The server speaks only forward-secret suites with authenticated encryption: a client that
// offers nothing but CBC is refused; one that offers GCM on TLS 1.2, or TLS 1.3, is served.
TEST_F(Tls, OnlyForwardSecretAuthenticatedSuitesAreSpoken)
{
    const auto handshake = [&](QSsl::SslProtocol protocol, const QString& cipher) {
        QSslSocket socket;
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setProtocol(protocol);
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        if (!cipher.isEmpty())
            configuration.setCiphers({QSslCipher(cipher)});
        socket.setSslConfiguration(configuration);
        socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), rpc.Port());
        return socket.waitForEncrypted(5000);
    };
    EXPECT_FALSE(handshake(QSsl::TlsV1_2, QStringLiteral("ECDHE-ECDSA-AES128-SHA"))) << "CBC with SHA-1";
    EXPECT_FALSE(handshake(QSsl::TlsV1_2, QStringLiteral("ECDHE-ECDSA-AES256-SHA384"))) << "CBC";
    EXPECT_TRUE(handshake(QSsl::TlsV1_2, QStringLiteral("ECDHE-ECDSA-AES128-GCM-SHA256")));
    EXPECT_TRUE(handshake(QSsl::TlsV1_3, QString()));
}

TEST_F(Tls, OreHostRefusesACertificateOfAnUnknownAuthority)
{
    QProcess host;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ORE_PASSWORD"), QStringLiteral("oper1"));
    host.setProcessEnvironment(environment);
    host.start(QCoreApplication::applicationDirPath() + "/ore-host",
               {"quotes", "--server", QStringLiteral("https://127.0.0.1:%1").arg(rpc.Port()), "--ca", dir->filePath("outra.pem"), "--operator", "OPER1",
                "--branch", "0001"});
    ASSERT_TRUE(host.waitForFinished(30000));
    const QString errors = QString::fromLocal8Bit(host.readAllStandardError());
    EXPECT_EQ(host.exitCode(), 1) << errors.toStdString();
    EXPECT_TRUE(errors.contains("certificado do servidor recusado")) << errors.toStdString();
}

TEST(OreServer, ServesANetworkInClearOnlyWhenToldSo)
{
    auto start = [](const QStringList& arguments) {
        auto* server = new QProcess;
        server->start(QCoreApplication::applicationDirPath() + "/ore-server",
                      QStringList{"--db", "sqlite::memory:", "--listen", "0.0.0.0:0"} + arguments);
        return server;
    };
    std::unique_ptr<QProcess> refused(start({}));
    ASSERT_TRUE(refused->waitForFinished(30000));
    EXPECT_EQ(refused->exitCode(), 2);
    EXPECT_TRUE(QString::fromLocal8Bit(refused->readAllStandardError()).contains("não é um endereço local")) ;

    std::unique_ptr<QProcess> allowed(start({"--allow-plain-http"}));
    ASSERT_TRUE(allowed->waitForReadyRead(30000));
    EXPECT_TRUE(QString::fromLocal8Bit(allowed->readAllStandardOutput()).contains("escutando em 0.0.0.0:"));
    allowed->terminate();
    EXPECT_TRUE(allowed->waitForFinished(30000));
}

TEST(OreServer, WritesSlowCallsToStandardError)
{
    QTemporaryDir store;
    QProcess server;
    server.start(QCoreApplication::applicationDirPath() + "/ore-server",
                 {"--db", "sqlite:" + store.filePath("lenta.db"), "--init-demo", "--listen", "127.0.0.1:0", "--log-slow", "0"});
    ASSERT_TRUE(server.waitForReadyRead(30000));
    const QByteArray banner = server.readAllStandardOutput();
    const int port = banner.mid(banner.indexOf("127.0.0.1:") + 10).split(',').value(0).toInt();
    ASSERT_GT(port, 0) << banner.toStdString();

    Session().webURL = QStringLiteral("127.0.0.1");
    Session().webPort = port;
    TNetConnection net(nullptr, QStringLiteral("netTeste"), QStringLiteral("CRV.rdmHost"));
    EXPECT_TRUE(VarIsFail(net.Call(QStringLiteral("Login"), {"OPER1", "errada", "0001"})));
    server.terminate();
    ASSERT_TRUE(server.waitForFinished(30000));
    const QString log = QString::fromLocal8Bit(server.readAllStandardError());
    EXPECT_TRUE(log.contains(QRegularExpression(R"(chamada lenta: CRV\.rdmHost\.Login \d+ ms, 0 linha\(s\))"))) << log.toStdString();
    EXPECT_FALSE(log.contains("errada"));
}

} // namespace
