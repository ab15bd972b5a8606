// The transport: JSON-RPC over HTTP/1.1 on loopback, its headers, by-reference arguments,
// time limits and the errors of an unreachable, silent or broken server.
#include "TestSupport.h"

#include "Errors.h"
#include "NetConnection.h"
#include "Variants.h"

#include <QElapsedTimer>
#include <QTcpServer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

class Transport : public ScriptedHostTest {
protected:
    TNetConnection net{nullptr, QStringLiteral("netProcessaOrca"), QStringLiteral("ORE06400.rdmProcOrca")};
    void SetUp() override
    {
        ScriptedHostTest::SetUp();
        net.BeforeConnect = [](TNetConnection& c) {
            c.Host = WebURL();
            c.Port = WebPort();
        };
    }
};

// A server that answers every connection with fixed bytes and closes it.
class RawServer {
public:
    explicit RawServer(QByteArray answer) : m_answer(std::move(answer))
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(m_fd, 4);
        socklen_t len = sizeof addr;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] {
            const int client = ::accept(m_fd, nullptr, nullptr);
            if (client < 0)
                return;
            char buffer[4096];
            (void)::recv(client, buffer, sizeof buffer, 0);
            (void)::send(client, m_answer.constData(), size_t(m_answer.size()), 0);
            ::close(client);
        });
    }
    ~RawServer()
    {
        ::shutdown(m_fd, SHUT_RDWR);
        ::close(m_fd);
        m_thread.join();
    }
    int Port() const { return m_port; }

private:
    QByteArray m_answer;
    int m_fd = -1;
    int m_port = 0;
    std::thread m_thread;
};

TEST_F(Transport, CallsCarryTheSessionAndTakeBackReferenceArguments)
{
    server.AnswerWith(QStringLiteral("ORE06400.rdmProcOrca.GetOperControle"), [](const FakeCall& call) {
        TRpcReply reply = TRpcReply::Value(VarArrayOf({call.args.value(0), call.operatorCode, call.branch}));
        reply.byref.insert(0, QStringLiteral("OPER2"));
        return reply;
    });
    QVariantList args{QStringLiteral("OPER1")};
    const QVariantList result = net.CallRef(QStringLiteral("GetOperControle"), args).toList();
    EXPECT_EQ(result, (QVariantList{"OPER1", "OPER1", "0001"}));
    EXPECT_EQ(args.value(0).toString(), "OPER2");
    ASSERT_EQ(server.Calls().size(), 1);
    EXPECT_EQ(server.Calls()[0].name(), "ORE06400.rdmProcOrca.GetOperControle");
    EXPECT_EQ(Lines("call")[0], Json(R"({"kind":"call","object":"ORE06400.rdmProcOrca","method":"GetOperControle",
                                         "args":["OPER1"],"outcome":"ok"})"));
}

TEST_F(Transport, AnUnknownMethodIsAClearError)
{
    try {
        net.Call(QStringLiteral("GetNada"));
        FAIL();
    } catch (const ERemoteError& e) {
        EXPECT_EQ(e.message(), "Método desconhecido: ORE06400.rdmProcOrca.GetNada");
    }
}

TEST_F(Transport, ADeadPortFailsAtOnceNamingServerAndMethod)
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    Session().webPort = probe.serverPort();
    probe.close();   // nothing listens there now
    QElapsedTimer clock;
    clock.start();
    try {
        net.Call(QStringLiteral("GetOrcaEvento"), {QStringLiteral("0001")});
        FAIL();
    } catch (const ETransportError& e) {
        // Where the server should be and what to do first, then the call and the system's reason.
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("Não foi possível conectar ao servidor 127.0.0.1:%1. Verifique se ele está no ar.\n"
                                                          "Detalhe: ORE06400.rdmProcOrca.GetOrcaEvento: ")
                                               .arg(Session().webPort)))
            << e.message().toStdString();
    }
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(Lines("call").value(0).value("outcome").toString(), "exception");
}

TEST_F(Transport, ASilentServerEndsInItsTimeLimit)
{
    server.Answer(QStringLiteral("ORE06400.rdmProcOrca.GetOrcaEvento"), 1);
    server.Rpc().SetAnswerDelay(-1);
    net.TimeoutMs = 300;
    QElapsedTimer clock;
    clock.start();
    try {
        net.Call(QStringLiteral("GetOrcaEvento"));
        FAIL();
    } catch (const ETransportError& e) {
        EXPECT_EQ(e.message(), "Servidor 127.0.0.1:" + QString::number(server.Port()) + ", ORE06400.rdmProcOrca.GetOrcaEvento: o servidor não respondeu em 0.3 s.");
    }
    EXPECT_GE(clock.elapsed(), 290);
    EXPECT_LT(clock.elapsed(), 2000);

    // The connection recovers for the next call once the server answers again.
    server.Rpc().SetAnswerDelay(0);
    EXPECT_EQ(net.Call(QStringLiteral("GetOrcaEvento")).toInt(), 1);
}

TEST_F(Transport, BrokenAnswersAreClearErrors)
{
    struct Case {
        QByteArray answer;
        const char* message;
    };
    const QList<Case> cases{
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nnope!", "resposta malformada: A resposta do servidor não é JSON válido"},
        {"HTTP/1.1 500 Internal Server Error\r\nContent-Length: 4\r\n\r\nboom", "o servidor respondeu HTTP 500: boom"},
        {"SSH-2.0-OpenSSH\r\n\r\n", "a resposta não é HTTP."},
        {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"jsonrpc\"", "a resposta veio incompleta."},
        {"", "o servidor fechou a conexão sem responder."},
        {"HTTP/1.1 200 OK\r\nContent-Length: 29\r\n\r\n{\"jsonrpc\":\"2.0\",\"result\":{}}", "Objeto sem marca conhecida"},
        // A valid body does not make another status a success, nor another call's answer this one's.
        {"HTTP/1.1 500 Internal Server Error\r\nContent-Length: 38\r\n\r\n{\"jsonrpc\":\"2.0\",\"id\":1,\"result\":true}", "o servidor respondeu HTTP 500"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 39\r\n\r\n{\"jsonrpc\":\"2.0\",\"id\":99,\"result\":true}", "a resposta traz o id 99 em vez de 1."},
        {"HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\n{\"jsonrpc\":\"2.0\",\"id\":\"1\",\"result\":true}", "a resposta traz o id \"1\" em vez de 1."},
        // Framings whose body cannot be told.
        {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\n{}", "a resposta declara um tamanho inválido."},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n{}\r\n0\r\n\r\n", "a resposta traz um bloco malformado."},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n9\r\n{\"jsonrpc\"\r\n", "a resposta veio incompleta."},
    };
    for (const Case& c : cases) {
        RawServer raw(c.answer);
        Session().webPort = raw.Port();
        TNetConnection fresh(nullptr, QStringLiteral("netX"), QStringLiteral("ORE00400.rdmAprovaOrca"));
        fresh.Host = WebURL();
        fresh.Port = WebPort();
        try {
            fresh.Call(QStringLiteral("GetGeral"));
            ADD_FAILURE() << c.message;
        } catch (const ETransportError& e) {
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.message))) << c.message << " <- " << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(QStringLiteral("ORE00400.rdmAprovaOrca.GetGeral")));
        }
    }
}

// A body may come in chunks, or run until the server closes the connection.
TEST_F(Transport, AnswersInChunksOrUntilTheServerClosesAreRead)
{
    const QByteArray body = R"({"jsonrpc":"2.0","id":1,"result":"olá"})";
    const QByteArray answers[] = {
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nA\r\n" + body.left(10) + "\r\n" + QByteArray::number(body.size() - 10, 16)
            + ";fim\r\n" + body.mid(10) + "\r\n0\r\n\r\n",
        "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body,
    };
    for (const QByteArray& answer : answers) {
        RawServer raw(answer);
        Session().webPort = raw.Port();
        TNetConnection fresh(nullptr, QStringLiteral("netX"), QStringLiteral("ORE00400.rdmAprovaOrca"));
        fresh.Host = WebURL();
        fresh.Port = WebPort();
        EXPECT_EQ(fresh.Call(QStringLiteral("GetGeral")).toString(), QStringLiteral("olá")) << answer.toStdString();
    }
}

// How long they take is a benchmark's figure (bench_rpc).
TEST_F(Transport, AHundredCallsInARowAllReachTheServer)
{
    server.Answer(QStringLiteral("ORE06400.rdmProcOrca.Ping"), 1);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(net.Call(QStringLiteral("Ping"), {i}), QVariant(1));
    ASSERT_EQ(server.Calls().size(), 100);
    EXPECT_EQ(server.Calls().last().args, QVariantList{99});
}

TEST_F(Transport, ConnectingRunsBeforeConnectAndNeedsAnAddress)
{
    int runs = 0;
    net.BeforeConnect = [&](TNetConnection& c) {
        ++runs;
        c.Host = QString();
        c.Port = 0;
    };
    Session().webURL.clear();
    EXPECT_THROW(net.SetConnected(true), ETransportError);
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(net.Connected());
}

} // namespace
