// The server side of the protocol under a whole office: calls of several connections at once,
// and bounded resources (idle connections, too many connections, bodies too big, requests too
// slow, bodies without a session, bodies held at once).
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

// A connection from another loopback address than 127.0.0.1: another peer, as the server
// counts them.
bool ConnectFrom(QTcpSocket& socket, const char* address, quint16 port)
{
    socket.bind(QHostAddress(QString::fromLatin1(address)));
    return Connect(socket, port);
}

// The head of a call whose body is `length` bytes, sent apart from the body.
QByteArray Head(qint64 length, const QByteArray& token = {})
{
    return "POST /rpc/TST.rdmTeste HTTP/1.1\r\nHost: x\r\n" + (token.isEmpty() ? QByteArray() : "Authorization: Bearer " + token + "\r\n")
           + "Content-Length: " + QByteArray::number(length) + "\r\n\r\n";
}

// A call of `size` bytes or more, echoing a long text.
QByteArray LongCall(qsizetype size, const QByteArray& token = {})
{
    const QByteArray body = R"({"jsonrpc":"2.0","id":1,"method":"Eco","params":[")" + QByteArray(size, 'x') + R"("]})";
    return Head(body.size(), token) + body;
}

// What has come on `socket` within `ms`, until it is closed.
QByteArray Drain(QTcpSocket& socket, int ms)
{
    QByteArray answer;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms && socket.state() == QAbstractSocket::ConnectedState) {
        socket.waitForReadyRead(20);
        answer += socket.readAll();
    }
    return answer + socket.readAll();
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

// Slow requests: a head that trickles in a byte at a time is answered 408 once its deadline
// has passed, however often its bytes come; a body slower than the minimum rate likewise. A
// peer cannot hold more connections than its share, and another peer's call is answered
// meanwhile.
TEST_F(RpcLimits, SlowRequestsAreCutAtTheirDeadlineAndOthersAreServedMeanwhile)
{
    Start({.headTimeoutMs = 600, .bodyTimeoutMs = 300, .minBodyBytesPerSecond = 1000, .maxConnectionsPerPeer = 6});
    std::vector<std::unique_ptr<QTcpSocket>> slow;
    for (int i = 0; i < 10; ++i) {
        slow.push_back(std::make_unique<QTcpSocket>());
        ASSERT_TRUE(ConnectFrom(*slow.back(), "127.0.0.2", server->Port()));
    }
    QElapsedTimer clock;
    clock.start();
    std::vector<QByteArray> answers(slow.size());
    const QByteArray head = Head(10);
    for (int byte = 0; clock.elapsed() < 2000; ++byte) {
        for (size_t i = 0; i < slow.size(); ++i) {
            slow[i]->waitForReadyRead(0);
            answers[i] += slow[i]->readAll();
            if (answers[i].isEmpty() && slow[i]->state() == QAbstractSocket::ConnectedState) {
                slow[i]->write(head.mid(byte % head.size(), 1));
                slow[i]->flush();
            }
        }
        QThread::msleep(50);
        if (byte == 4) {
            // Meanwhile another peer's call is answered at once.
            QTcpSocket other;
            ASSERT_TRUE(Connect(other, server->Port()));
            QElapsedTimer took;
            took.start();
            EXPECT_TRUE(Exchange(other, Call()).startsWith("HTTP/1.1 200 OK"));
            EXPECT_LT(took.elapsed(), 500);
        }
    }
    for (size_t i = 0; i < slow.size(); ++i)
        answers[i] += Drain(*slow[i], 100);
    const auto count = [&](const char* start) {
        return std::count_if(answers.begin(), answers.end(), [&](const QByteArray& a) { return a.startsWith(start); });
    };
    EXPECT_EQ(count("HTTP/1.1 503 Service Unavailable"), 4) << "beyond the peer's six connections";
    EXPECT_EQ(count("HTTP/1.1 408 Request Timeout"), 6) << "the trickling heads, at their deadline";
    for (const QByteArray& a : answers)
        if (a.startsWith("HTTP/1.1 503"))
            EXPECT_TRUE(a.contains("Conexões demais abertas deste endereço (127.0.0.2, o limite é 6).")) << a.toStdString();
        else
            EXPECT_TRUE(a.contains("o cabeçalho do pedido não chegou inteiro em 0,6 s")) << a.toStdString();
    EXPECT_EQ(peak.load(), 1) << "only the other peer's call ran";

    // A body of 1000 bytes has 300 ms plus a second at 1000 bytes a second: ten bytes in that
    // time are too few, the whole body in time is served.
    QTcpSocket slowBody, quickBody;
    ASSERT_TRUE(Connect(slowBody, server->Port()));
    ASSERT_TRUE(Connect(quickBody, server->Port()));
    const QByteArray call = LongCall(1000 - 53);
    ASSERT_EQ(call.size() - call.indexOf("\r\n\r\n") - 4, 1000);
    slowBody.write(call.left(call.indexOf("\r\n\r\n") + 4 + 10));
    slowBody.flush();
    clock.restart();
    const QByteArray late = Drain(slowBody, 3000);
    EXPECT_TRUE(late.startsWith("HTTP/1.1 408 Request Timeout")) << late.toStdString();
    EXPECT_TRUE(late.contains("o corpo do pedido não chegou inteiro em 1,3 s")) << late.toStdString();
    EXPECT_GE(clock.elapsed(), 1100);
    quickBody.write(call.left(call.size() - 100));
    quickBody.flush();
    QThread::msleep(800);
    EXPECT_TRUE(Exchange(quickBody, call.right(100)).startsWith("HTTP/1.1 200 OK"));
}

// A body longer than a caller without a session may send is read only once the application has
// found the request's token live, which it is asked on a worker; without one it is answered 401
// before its body is read, and the fat bodies of many such callers leave another's call served.
TEST_F(RpcLimits, AFatBodyIsReadOnlyWithALiveSession)
{
    std::atomic<int> asked{0};
    std::atomic<bool> acceptingThreadAsked{false};
    TRpcServerOptions options{.maxConnectionsPerPeer = 0};
    options.maxBodyWithoutSession = 64 * 1024;
    options.sessionIsLive = [&](const TRpcRequest& head, qint64 bytes) {
        ++asked;
        if (QThread::currentThread()->objectName() == QLatin1String("rpc-server"))
            acceptingThreadAsked = true;
        if (head.token == QLatin1String("falha"))
            throw std::runtime_error("banco fora do ar");
        EXPECT_EQ(head.object, "TST.rdmTeste");
        EXPECT_GT(bytes, 64 * 1024);
        return head.token == QLatin1String("viva");
    };
    Start(options);
    const struct {
        const char* what;
        QByteArray token;
        qsizetype size;
        QByteArray status, message;
    } cases[] = {
        {"small, without a session", {}, 1000, "HTTP/1.1 200 OK", "xxxx"},
        {"fat, without a session", {}, 100 * 1024, "HTTP/1.1 401 Unauthorized",
         "Sessão inválida ou expirada: sem uma sessão, um pedido leva no máximo 65536 bytes, e este declara 102453. Entre novamente."},
        {"fat, a dead session", "morta", 100 * 1024, "HTTP/1.1 401 Unauthorized", "Sessão inválida ou expirada"},
        {"fat, a live session", "viva", 100 * 1024, "HTTP/1.1 200 OK", "xxxx"},
        {"fat, the session cannot be checked", "falha", 100 * 1024, "HTTP/1.1 503 Service Unavailable", "A sessão do pedido não pôde ser verificada agora."},
    };
    for (const auto& c : cases) {
        QTcpSocket socket;
        ASSERT_TRUE(Connect(socket, server->Port()));
        const QByteArray call = LongCall(c.size, c.token);
        // The head first: a refusal comes without the body.
        const qsizetype headEnd = call.indexOf("\r\n\r\n") + 4;
        socket.write(call.left(headEnd));
        socket.flush();
        QByteArray answer = Drain(socket, c.status.contains("200") ? 100 : 2000);
        if (c.status.contains("200"))
            answer = Exchange(socket, call.mid(headEnd), 3000);
        EXPECT_TRUE(answer.startsWith(c.status)) << c.what << ": " << answer.left(300).toStdString();
        EXPECT_TRUE(answer.contains(c.message)) << c.what << ": " << answer.left(300).toStdString();
    }
    EXPECT_EQ(asked.load(), 4) << "the small body needs no session";
    EXPECT_FALSE(acceptingThreadAsked.load());

    // Forty callers without a session each pushing a body of 16 MiB less a byte: each is
    // refused at its head, and another's call is answered meanwhile.
    std::vector<std::unique_ptr<QTcpSocket>> fat;
    for (int i = 0; i < 40; ++i) {
        fat.push_back(std::make_unique<QTcpSocket>());
        ASSERT_TRUE(ConnectFrom(*fat.back(), "127.0.0.3", server->Port()));
        fat.back()->write(Head((qint64(16) << 20)) + QByteArray(1 << 20, 'x'));
    }
    QTcpSocket other;
    ASSERT_TRUE(Connect(other, server->Port()));
    EXPECT_TRUE(Exchange(other, Call()).startsWith("HTTP/1.1 200 OK"));
    for (auto& s : fat) {
        const QByteArray answer = Drain(*s, 2000);
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 401 Unauthorized")) << answer.left(200).toStdString();
    }
    EXPECT_EQ(peak.load(), 1);
}

// The bodies held at once by all connections are bounded by their declared lengths: a request
// that would pass the bound is answered 503 before its body is read; the bound frees as the
// bodies are served or their connections close.
TEST_F(RpcLimits, TheBodiesHeldAtOnceAreBounded)
{
    Start({.maxBodyBytes = 1 << 20, .maxBufferedBodyBytes = 2 << 20});
    const QByteArray big = LongCall(900 * 1024);
    const qsizetype headEnd = big.indexOf("\r\n\r\n") + 4;
    QTcpSocket first, second, third, small;
    for (QTcpSocket* s : {&first, &second, &third, &small})
        ASSERT_TRUE(Connect(*s, server->Port()));
    for (QTcpSocket* s : {&first, &second}) {
        s->write(big.left(headEnd + 1000));
        s->flush();
    }
    QThread::msleep(200);
    third.write(big.left(headEnd));
    third.flush();
    const QByteArray refused = Drain(third, 2000);
    EXPECT_TRUE(refused.startsWith("HTTP/1.1 503 Service Unavailable")) << refused.left(300).toStdString();
    EXPECT_TRUE(refused.contains("Servidor ocupado: pedidos grandes demais em curso.")) << refused.left(300).toStdString();
    // A small body still fits beside them.
    EXPECT_TRUE(Exchange(small, Call()).startsWith("HTTP/1.1 200 OK"));

    // One is served, the other closes: both free their share, and the next ones fit.
    EXPECT_TRUE(Exchange(first, big.mid(headEnd + 1000), 5000).startsWith("HTTP/1.1 200 OK"));
    second.abort();
    QThread::msleep(200);
    for (int i = 0; i < 2; ++i) {
        QTcpSocket again;
        ASSERT_TRUE(Connect(again, server->Port()));
        EXPECT_TRUE(Exchange(again, big, 5000).startsWith("HTTP/1.1 200 OK")) << i;
        EXPECT_TRUE(Exchange(first, big, 5000).startsWith("HTTP/1.1 200 OK")) << i;
    }
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
