// The server side of the protocol under a whole office: calls of several connections at once,
// and bounded resources (idle connections, too many connections, bodies too big).
#include "TestSupport.h"

#include "Password.h"
#include "RpcServer.h"

#include <QElapsedTimer>
#include <QPasswordDigestor>
#include <QTcpSocket>
#include <QThread>

#include <atomic>

namespace {

// A raw client: what the server sends back for `bytes`, until it closes or `ms` pass.
QByteArray Exchange(QTcpSocket& socket, const QByteArray& bytes, int ms = 2000)
{
    socket.write(bytes);
    socket.flush();
    QByteArray answer;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms && socket.state() == QAbstractSocket::ConnectedState) {
        socket.waitForReadyRead(50);
        answer += socket.readAll();
        if (answer.contains("\r\n\r\n") && answer.contains("}"))
            break;
    }
    return answer + socket.readAll();
}

QByteArray Call(const QByteArray& body = R"({"jsonrpc":"2.0","id":1,"method":"Eco","params":["olá"]})")
{
    return "POST /rpc/TST.rdmTeste HTTP/1.1\r\nHost: x\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

bool Connect(QTcpSocket& socket, quint16 port)
{
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    return socket.waitForConnected(2000);
}

class RpcLimits : public ::testing::Test {
protected:
    void Start(TRpcServerOptions options)
    {
        server = std::make_unique<TRpcServer>(
            [this](const TRpcRequest& r) {
                const int now = ++running;
                int seen = peak.load();
                while (now > seen && !peak.compare_exchange_weak(seen, now)) {
                }
                QThread::msleep(r.params.value(1).toInt());
                --running;
                return TRpcReply::Value(r.params.value(0));
            },
            options);
        server->Listen();
    }
    std::unique_ptr<TRpcServer> server;
    std::atomic<int> running{0}, peak{0};
};

TEST_F(RpcLimits, CallsOfSeveralConnectionsRunAtOnceAndEachConnectionInOrder)
{
    Start({.workers = 3});
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    for (int i = 0; i < 3; ++i) {
        sockets.push_back(std::make_unique<QTcpSocket>());
        ASSERT_TRUE(Connect(*sockets.back(), server->Port()));
        sockets.back()->write(Call(R"({"jsonrpc":"2.0","id":1,"method":"Espera","params":["um",300]})"));
        sockets.back()->waitForBytesWritten(1000);
    }
    for (auto& s : sockets)
        EXPECT_TRUE(Exchange(*s, {}, 3000).contains(R"("result":"um")"));
    EXPECT_EQ(peak.load(), 3) << "three calls of three connections ran one after the other";

    // Two calls sent at once on one connection are answered one after the other, in order.
    QTcpSocket one;
    ASSERT_TRUE(Connect(one, server->Port()));
    QByteArray both = Exchange(one, Call(R"({"jsonrpc":"2.0","id":1,"method":"Espera","params":["primeira",100]})") +
                                        Call(R"({"jsonrpc":"2.0","id":2,"method":"Espera","params":["segunda",0]})"),
                                3000);
    both += Exchange(one, {}, 500);
    EXPECT_LT(both.indexOf("primeira"), both.indexOf("segunda")) << both.toStdString();
    EXPECT_NE(both.indexOf("segunda"), -1) << both.toStdString();
}

TEST_F(RpcLimits, SlowMethodsRunOnALaneOfTheirOwn)
{
    // One worker: a slow call on its lane does not hold up the next call of another connection.
    Start({.workers = 1, .slowMethods = {QStringLiteral("TST.rdmTeste.Lenta")}});
    QTcpSocket slow, quick;
    ASSERT_TRUE(Connect(slow, server->Port()));
    ASSERT_TRUE(Connect(quick, server->Port()));
    slow.write(Call(R"({"jsonrpc":"2.0","id":7,"method":"Lenta","params":["lenta",500]})"));
    slow.waitForBytesWritten(1000);
    QThread::msleep(100);
    EXPECT_TRUE(Exchange(quick, Call(R"({"jsonrpc":"2.0","id":1,"method":"Rapida","params":["rápida",0]})")).contains("rápida"));
    EXPECT_EQ(running.load(), 1) << "the slow call was still running";
    EXPECT_TRUE(Exchange(slow, {}, 3000).contains(R"({"jsonrpc":"2.0","id":7,"result":"lenta"})"));
}

TEST_F(RpcLimits, AnIdleConnectionIsClosedButACallInProgressIsNot)
{
    Start({.idleTimeoutMs = 300});
    QTcpSocket busy;
    ASSERT_TRUE(Connect(busy, server->Port()));
    EXPECT_TRUE(Exchange(busy, Call(R"({"jsonrpc":"2.0","id":1,"method":"Espera","params":["longa",600]})"), 2000).contains("longa"));

    QTcpSocket idle;
    ASSERT_TRUE(Connect(idle, server->Port()));
    QElapsedTimer clock;
    clock.start();
    while (idle.state() == QAbstractSocket::ConnectedState && clock.elapsed() < 3000)
        idle.waitForDisconnected(100);
    EXPECT_EQ(idle.state(), QAbstractSocket::UnconnectedState);
    EXPECT_GE(clock.elapsed(), 250);
}

TEST_F(RpcLimits, ABodyAboveTheLimitIsRefusedBeforeItIsRead)
{
    Start({.maxBodyBytes = 1000});
    QTcpSocket socket;
    ASSERT_TRUE(Connect(socket, server->Port()));
    // The headers alone: the answer comes without waiting for the body.
    const QByteArray answer = Exchange(socket, "POST /rpc/TST.rdmTeste HTTP/1.1\r\nHost: x\r\nContent-Length: 50000000\r\n\r\n");
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 413 Payload Too Large")) << answer.toStdString();
    EXPECT_TRUE(answer.contains("Pedido grande demais: 50000000 bytes, o limite é 1000.")) << answer.toStdString();
    EXPECT_EQ(peak.load(), 0);

    QTcpSocket small;
    ASSERT_TRUE(Connect(small, server->Port()));
    EXPECT_TRUE(Exchange(small, Call()).startsWith("HTTP/1.1 200 OK"));

    // A length that is no number is refused, not read as nothing.
    QTcpSocket garbled;
    ASSERT_TRUE(Connect(garbled, server->Port()));
    EXPECT_TRUE(Exchange(garbled, "POST /rpc/TST.rdmTeste HTTP/1.1\r\nContent-Length: abc\r\n\r\n{}").startsWith("HTTP/1.1 400 Bad Request"));
}

// Requests the server cannot frame are answered with their status and the connection closed;
// a request that asks for it is answered and its connection closed too.
TEST_F(RpcLimits, RequestsThatCannotBeFramedAreRefusedWithTheirStatus)
{
    Start({});
    const struct {
        QByteArray request, status, message;
        bool closed;
    } cases[] = {
        {"GET /rpc/TST.rdmTeste HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 405 Method Not Allowed", "Só POST /rpc/<objeto> é atendido.", true},
        {"POST /rpc/TST.rdmTeste HTTP/1.1\r\nHost: x\r\n\r\n{}", "HTTP/1.1 411 Length Required", "O pedido deve declarar Content-Length.", true},
        {"POST /rpc/TST.rdmTeste HTTP/1.1\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\n{}", "HTTP/1.1 400 Bad Request", "Content-Length inválido.", true},
        // One byte past the longest head, all of it read before the answer.
        {QByteArray(64 * 1024 + 1, 'a'), "HTTP/1.1 431 Request Header Fields Too Large", "Cabeçalho de pedido grande demais.", true},
        {"POST /outro HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}", "HTTP/1.1 404 Not Found", "Caminho desconhecido: /outro", false},
        {Call().replace("Host: x\r\n", "Host: x\r\nConnection: close\r\n"), "HTTP/1.1 200 OK", "\r\nConnection: close\r\n", true},
        {Call(), "HTTP/1.1 200 OK", "\r\nConnection: keep-alive\r\n", false},
    };
    for (const auto& c : cases) {
        QTcpSocket socket;
        ASSERT_TRUE(Connect(socket, server->Port()));
        const QByteArray answer = Exchange(socket, c.request);
        EXPECT_TRUE(answer.startsWith(c.status)) << answer.toStdString();
        EXPECT_TRUE(answer.contains(c.message)) << answer.toStdString();
        if (c.closed)
            EXPECT_TRUE(socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(2000)) << c.status.toStdString();
        else
            EXPECT_FALSE(socket.waitForDisconnected(200)) << c.status.toStdString();
    }
}

TEST_F(RpcLimits, TheAnswerCarriesTheRequestsIdAsItCame)
{
    Start({});
    const struct {
        QByteArray id, answered;
    } cases[] = {
        {"7", R"("id":7,)"},
        {R"("pedido-1")", R"("id":"pedido-1",)"},
        {R"("")", R"("id":"",)"},
    };
    for (const auto& c : cases) {
        QTcpSocket socket;
        ASSERT_TRUE(Connect(socket, server->Port()));
        const QByteArray answer = Exchange(socket, Call(R"({"jsonrpc":"2.0","id":)" + c.id + R"(,"method":"Eco","params":["olá"]})"));
        EXPECT_TRUE(answer.contains(c.answered)) << answer.toStdString();
    }
}

TEST_F(RpcLimits, AConnectionBeyondTheLimitIsAnswered503AtOnce)
{
    Start({.maxConnections = 2});
    QTcpSocket first, second, third;
    ASSERT_TRUE(Connect(first, server->Port()));
    ASSERT_TRUE(Connect(second, server->Port()));
    EXPECT_TRUE(Exchange(first, Call()).startsWith("HTTP/1.1 200 OK"));
    ASSERT_TRUE(Connect(third, server->Port()));
    const QByteArray refused = Exchange(third, {});
    EXPECT_TRUE(refused.startsWith("HTTP/1.1 503 Service Unavailable")) << refused.toStdString();

    // Once one closes, a new connection is served.
    first.disconnectFromHost();
    QThread::msleep(200);
    QTcpSocket fourth;
    ASSERT_TRUE(Connect(fourth, server->Port()));
    EXPECT_TRUE(Exchange(fourth, Call()).startsWith("HTTP/1.1 200 OK"));
}

TEST(Passwords, HashesStoredBeforeStillVerify)
{
    // A hash in the stored form, as the server wrote them before it computed them with OpenSSL.
    const QByteArray salt = QByteArray::fromHex("00112233445566778899aabbccddeeff");
    const QString stored = QStringLiteral("pbkdf2-sha256$120000$")
                           + QString::fromLatin1(QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, "sup1", salt, 120000, 32).toHex());
    EXPECT_TRUE(CheckPassword(QStringLiteral("sup1"), stored, QString::fromLatin1(salt.toHex())));
    EXPECT_FALSE(CheckPassword(QStringLiteral("sup2"), stored, QString::fromLatin1(salt.toHex())));

    const TPasswordHash fresh = HashPassword(QStringLiteral("ger1"));
    EXPECT_TRUE(fresh.hash.startsWith("pbkdf2-sha256$120000$"));
    EXPECT_TRUE(CheckPassword(QStringLiteral("ger1"), fresh.hash, fresh.salt));
    EXPECT_EQ(QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, "ger1", QByteArray::fromHex(fresh.salt.toLatin1()), 120000, 32).toHex(),
              fresh.hash.section(QLatin1Char('$'), 2).toLatin1());
}

} // namespace
