#include "RpcServer.h"

#include "Errors.h"
#include "HttpFraming.h"
#include "Variants.h"
#include "WireEnvelopes.h"

#include <QFile>
#include <QPointer>
#include <QSslCertificate>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <optional>

namespace {

// How many rows the packets of a result carry, for the log of slow calls.
int RowsOf(const QVariant& result)
{
    if (VarIsPacket(result))
        return int(result.value<TDataPacket>().rows().size());
    int rows = 0;
    if (result.metaType().id() == QMetaType::QVariantList)
        for (const QVariant& element : result.toList())
            rows += RowsOf(element);
    return rows;
}

QByteArray rpcError(const Wire::RequestId& id, int code, const QString& message)
{
    Wire::Response response;
    response.id = id;
    response.isError = true;
    response.errorCode = code;
    response.errorMessage = message;
    return Wire::EncodeResponse(response);
}

} // namespace

// Bytes of a body counted in the server's total of bodies held, from the head that declares
// them until the call they carry has ended (the last copy of its work is gone).
class Reservation {
public:
    Reservation(std::atomic<qint64>& total, qint64 bytes) : m_total(total), m_bytes(bytes) { m_total += bytes; }
    ~Reservation() { m_total -= m_bytes; }
    Reservation(const Reservation&) = delete;
    Reservation& operator=(const Reservation&) = delete;

private:
    std::atomic<qint64>& m_total;
    qint64 m_bytes;
};

// One client's connection, on the accepting thread.
struct Connection {
    QPointer<QTcpSocket> socket;
    QByteArray buffer;     // what has been read and not yet served
    bool busy = false;     // one of its calls is running or being answered
    bool checking = false; // a worker is asking whether its request's token names a live session
    bool closed = false;   // refused or ending: nothing more is read or answered
    // Where the request being read stands: none begun (the idle time runs), its head coming (the
    // head's deadline runs), its body coming (the body's deadline runs).
    enum Phase { Waiting, Head, Body } phase = Waiting;
    bool sessionChecked = false;           // its token was found live for the body it declares
    std::shared_ptr<Reservation> reserved; // its body, in the server's total
    QTimer* deadline = nullptr;
    int deadlineMs = 0;
};

// A request framed by the accepting thread, for a worker.
struct Work {
    TRpcRequest request;
    QByteArray body;
    bool keepAlive = true;
    bool decoded = false;   // the body has become the request's method and arguments
    Wire::RequestId id = qint64(0);
    std::shared_ptr<Reservation> reserved;   // released with the last copy of the work
};

struct TRpcServer::Impl {
    Dispatcher dispatcher;
    TRpcServerOptions options;
    QThread thread;
    QObject* context = nullptr;       // lives on `thread`: answers are handed back through it
    QPointer<QTcpServer> server;      // lives on `thread`
    QThreadPool workers, slowLane;
    std::atomic<int> delayMs{0};
    std::optional<QSslConfiguration> tls;
    int open = 0;                     // connections being served (accepting thread only)
    QHash<QString, int> openByPeer;   // the same, by network address (accepting thread only)
    std::atomic<qint64> buffered{0};  // bytes of the bodies held (Reservation)
    std::atomic<bool> housekeeping{false};   // the housekeeping is running

    // A new connection: served, or answered 503 when too many are open, in all or from its
    // network address.
    void accept(QTcpSocket* socket)
    {
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        const QString peer = socket->peerAddress().toString();
        if (open >= options.maxConnections) {
            reject(socket, 503, QStringLiteral("Servidor ocupado: conexões demais abertas. Tente novamente em instantes."));
            return;
        }
        if (options.maxConnectionsPerPeer > 0 && openByPeer.value(peer) >= options.maxConnectionsPerPeer) {
            reject(socket, 503, QStringLiteral("Conexões demais abertas deste endereço (%1, o limite é %2). Tente novamente em instantes.")
                                    .arg(peer)
                                    .arg(options.maxConnectionsPerPeer));
            return;
        }
        ++open;
        ++openByPeer[peer];
        auto c = std::make_shared<Connection>();
        c->socket = socket;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket->setReadBufferSize(64 * 1024);   // a client that sends faster than it is served waits in TCP
        QObject::connect(socket, &QObject::destroyed, context, [this, peer, c] {
            --open;
            if (--openByPeer[peer] <= 0)
                openByPeer.remove(peer);
            c->closed = true;
            c->reserved.reset();
        });
        c->deadline = new QTimer(socket);
        c->deadline->setSingleShot(true);
        QObject::connect(c->deadline, &QTimer::timeout, socket, [this, c] { late(c); });
        waitForRequest(c);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, c] { read(c); });
    }

    // The connection waits for its next request: the idle time runs, and no byte restarts it.
    void waitForRequest(const std::shared_ptr<Connection>& c)
    {
        c->phase = Connection::Waiting;
        arm(c, options.idleTimeoutMs);
    }

    void arm(const std::shared_ptr<Connection>& c, qint64 ms)
    {
        c->deadlineMs = int(std::min<qint64>(ms, INT_MAX));
        if (ms > 0)
            c->deadline->start(c->deadlineMs);
        else
            c->deadline->stop();
    }

    // The connection's time ran out: an idle one is closed, a request that has not come whole
    // in time is answered 408.
    void late(const std::shared_ptr<Connection>& c)
    {
        if (c->busy || c->closed || !c->socket)
            return;
        // In the caller's language: "10 s", "0,6 s".
        const QString seconds = c->deadlineMs % 1000 == 0 ? QString::number(c->deadlineMs / 1000)
                                                            : QString::number(c->deadlineMs / 1000.0, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(','));
        switch (c->phase) {
        case Connection::Waiting:
            c->closed = true;
            c->socket->disconnectFromHost();
            return;
        case Connection::Head:
            return refuse(c, 408, QStringLiteral("Tempo esgotado: o cabeçalho do pedido não chegou inteiro em %1 s.").arg(seconds));
        case Connection::Body:
            return refuse(c, 408, QStringLiteral("Tempo esgotado: o corpo do pedido não chegou inteiro em %1 s.").arg(seconds));
        }
    }

    void read(const std::shared_ptr<Connection>& c)
    {
        if (c->busy || c->checking || c->closed || !c->socket)
            return;   // the rest waits until the call in progress is answered, or the check is over
        c->buffer += c->socket->readAll();
        next(c);
    }

    // Frames the next request of the connection's buffer and hands it to a worker.
    void next(const std::shared_ptr<Connection>& c)
    {
        QTcpSocket* socket = c->socket;
        QByteArray& buffer = c->buffer;
        if (buffer.isEmpty())
            return;
        if (c->phase == Connection::Waiting) {
            // Its first byte: the whole head must come within its deadline, however it trickles.
            c->phase = Connection::Head;
            arm(c, options.headTimeoutMs);
        }
        const qsizetype headSize = Http::HeadSize(buffer);
        if (headSize == 0) {
            if (buffer.size() > Http::MaxHeadBytes)
                refuse(c, 431, QStringLiteral("Cabeçalho de pedido grande demais."));
            return;
        }
        const Http::Head head = Http::ParseHead(buffer.left(headSize));
        Work work;
        work.keepAlive = !head.close;
        work.request.peer = socket->peerAddress().toString();
        for (const Http::Field& field : head.fields) {
            if (field.name == "x-operator")
                work.request.operatorCode = QString::fromUtf8(field.value);
            else if (field.name == "x-branch")
                work.request.branch = QString::fromUtf8(field.value);
            else if (field.name == "authorization" && field.value.size() > 7 && field.value.left(7).toLower() == "bearer ")
                work.request.token = QString::fromUtf8(field.value.mid(7).trimmed());
        }
        if (head.method() != "POST")
            return refuse(c, 405, QStringLiteral("Só POST /rpc/<objeto> é atendido."));
        if (head.badLength)
            return refuse(c, 400, QStringLiteral("Content-Length inválido."));
        const qint64 length = head.contentLength;
        if (length < 0)
            return refuse(c, 411, QStringLiteral("O pedido deve declarar Content-Length."));
        if (length > options.maxBodyBytes)
            return refuse(c, 413, QStringLiteral("Pedido grande demais: %1 bytes, o limite é %2.").arg(length).arg(options.maxBodyBytes));
        const QByteArray path = head.target();
        const bool rpcPath = path.startsWith("/rpc/") && path.size() > 5;
        if (rpcPath)
            work.request.object = QString::fromUtf8(QByteArray::fromPercentEncoding(path.mid(5)));
        if (c->phase == Connection::Head) {
            // The head has come whole: its body is admitted, or refused before it is read.
            if (options.sessionIsLive && length > options.maxBodyWithoutSession && !c->sessionChecked)
                return checkSession(c, work.request, length);
            if (length > 0 && buffered.load() + length > std::max(options.maxBufferedBodyBytes, options.maxBodyBytes))
                return refuse(c, 503, QStringLiteral("Servidor ocupado: pedidos grandes demais em curso. Tente novamente em instantes."));
            if (length > 0)
                c->reserved = std::make_shared<Reservation>(buffered, length);
            c->phase = Connection::Body;
            buffer.reserve(headSize + static_cast<qsizetype>(length));
            arm(c, options.bodyTimeoutMs <= 0                ? 0
                   : options.minBodyBytesPerSecond <= 0      ? options.bodyTimeoutMs
                                                             : options.bodyTimeoutMs + length * 1000 / options.minBodyBytesPerSecond);
        }
        if (buffer.size() < headSize + length)
            return;   // the body is still coming
        work.body = buffer.mid(headSize, static_cast<qsizetype>(length));
        // What follows (a next request sent ahead) is kept apart, so that the buffer of a large
        // body is freed with it.
        buffer = buffer.size() == headSize + length ? QByteArray() : buffer.mid(headSize + static_cast<qsizetype>(length));
        work.reserved = std::move(c->reserved);
        c->sessionChecked = false;
        c->phase = Connection::Waiting;
        if (!rpcPath)
            return answer(c, Http::Response(404, rpcError(0, -32601, QStringLiteral("Caminho desconhecido: %1").arg(QString::fromUtf8(path))), work.keepAlive),
                          work.keepAlive);

        c->busy = true;
        c->deadline->stop();
        workers.start([this, c, work = std::move(work)]() mutable { run(c, std::move(work), false); });
    }

    // Asks a worker whether the request's token names a live session before its body, longer
    // than a request without one may send, is read; meanwhile nothing more is read from it.
    void checkSession(const std::shared_ptr<Connection>& c, const TRpcRequest& head, qint64 length)
    {
        c->checking = true;
        workers.start([this, c, head, length] {
            enum { Live, NotLive, Unknown } verdict = Unknown;
            try {
                verdict = options.sessionIsLive(head, length) ? Live : NotLive;
            } catch (const std::exception& e) {
                std::fprintf(stderr, "ore-server: a sessão de um pedido não pôde ser verificada: %s\n", e.what());
            }
            QMetaObject::invokeMethod(context, [this, c, verdict, length] {
                c->checking = false;
                if (c->closed || !c->socket)
                    return;
                if (verdict == NotLive)
                    return refuse(c, 401, QStringLiteral("Sessão inválida ou expirada: sem uma sessão, um pedido leva no máximo %1 bytes, e este declara %2. "
                                                         "Entre novamente.")
                                              .arg(options.maxBodyWithoutSession)
                                              .arg(length));
                if (verdict == Unknown)
                    return refuse(c, 503, QStringLiteral("A sessão do pedido não pôde ser verificada agora. Tente novamente em instantes."));
                c->sessionChecked = true;
                read(c);
            });
        });
    }

    // On a worker: decodes, dispatches and encodes one call, then hands the answer back.
    void run(const std::shared_ptr<Connection>& c, Work work, bool onSlowLane)
    {
        QElapsedTimer clock;
        clock.start();
        QByteArray content;
        int status = 200, rows = 0;
        TRpcReply reply;   // freed once the answer is on its way: the caller does not wait for it
        try {
            if (!work.decoded) {
                Wire::Request call = Wire::DecodeRequest(work.body);
                work.id = call.id;
                // Refused here, for every method: a text no store can keep would otherwise
                // reach the database and be answered by it.
                Wire::RequireStorable(call);
                work.request.method = call.method;
                work.request.params = std::move(call.params);
                work.body.clear();
                work.decoded = true;
            }
            if (!onSlowLane && options.slowMethods.contains(work.request.object + QLatin1Char('.') + work.request.method)) {
                slowLane.start([this, c, work = std::move(work)]() mutable { run(c, std::move(work), true); });
                return;
            }
            std::tie(status, content, rows) = dispatch(work.request, work.id, reply);
        } catch (const EHostError& e) {
            content = rpcError(work.id, -32700, e.message());
        }
        if (options.logSlowMs >= 0 && clock.elapsed() >= options.logSlowMs)
            std::fprintf(stderr, "ore-server: chamada lenta: %s.%s %lld ms, %d linha(s)\n", qPrintable(work.request.object), qPrintable(work.request.method),
                         clock.elapsed(), rows);
        const QByteArray bytes = Http::Response(status, content, work.keepAlive);
        const bool keepAlive = work.keepAlive;
        QMetaObject::invokeMethod(context, [this, c, bytes, keepAlive] {
            const int delay = delayMs.load();
            if (delay < 0)
                return;   // never answers: the connection stays busy
            if (delay == 0)
                return answer(c, bytes, keepAlive);
            QTimer::singleShot(delay, context, [this, c, bytes, keepAlive] { answer(c, bytes, keepAlive); });
        });
        reply = {};
        work = {};
        if (options.afterAnswer)
            options.afterAnswer();
    }

    // The HTTP status, the body of the answer and the rows it carries.
    std::tuple<int, QByteArray, int> dispatch(const TRpcRequest& request, const Wire::RequestId& id, TRpcReply& reply)
    {
        try {
            reply = dispatcher(request);
        } catch (const std::exception& e) {
            reply = TRpcReply::Error(QString::fromUtf8(e.what()));
        }
        Wire::Response response;
        response.id = id;
        response.isError = reply.isError;
        response.errorCode = -32000;
        response.errorMessage = reply.errorMessage;
        response.result = reply.result;
        response.byref = reply.byref;
        try {
            return {reply.httpStatus, Wire::EncodeResponse(response), RowsOf(reply.result)};
        } catch (const EHostError& e) {
            return {200, rpcError(id, -32603, QStringLiteral("A resposta de %1.%2 não pôde ser codificada: %3").arg(request.object, request.method, e.message())),
                    0};
        }
    }

    // On the accepting thread: writes an answer and goes on with what the client sent since.
    void answer(const std::shared_ptr<Connection>& c, const QByteArray& bytes, bool keepAlive)
    {
        c->busy = false;
        QTcpSocket* socket = c->socket;
        if (!socket || c->closed)
            return;
        socket->write(bytes);
        socket->flush();
        if (!keepAlive) {
            c->closed = true;
            socket->disconnectFromHost();
            return;
        }
        waitForRequest(c);
        if (socket->bytesAvailable() > 0)
            read(c);
        else if (!c->buffer.isEmpty())
            next(c);
    }

    // The application's housekeeping, on a worker; one at a time.
    void startHousekeeping()
    {
        if (housekeeping.exchange(true))
            return;
        workers.start([this] {
            try {
                options.housekeeping();
            } catch (const std::exception& e) {
                std::fprintf(stderr, "ore-server: a manutenção periódica falhou: %s\n", e.what());
            }
            housekeeping = false;
        });
    }

    // A request refused before it was served: answered with its status, its connection closed
    // and its body no longer counted.
    void refuse(const std::shared_ptr<Connection>& c, int status, const QString& message)
    {
        c->closed = true;
        c->reserved.reset();
        c->buffer = QByteArray();
        c->deadline->stop();
        if (c->socket)
            reject(c->socket, status, message);
    }

    void reject(QTcpSocket* socket, int status, const QString& message)
    {
        socket->write(Http::Response(status, rpcError(0, -32600, message), false));
        socket->disconnectFromHost();
    }
};

TRpcServer::TRpcServer(Dispatcher dispatcher, TRpcServerOptions options) : d(std::make_unique<Impl>())
{
    d->dispatcher = std::move(dispatcher);
    const int cores = std::max(1, QThread::idealThreadCount());
    if (options.workers <= 0)
        options.workers = std::max(2, cores);
    if (options.slowWorkers <= 0)
        options.slowWorkers = std::max(1, options.workers / 2);
    d->options = options;
    for (QThreadPool* pool : {&d->workers, &d->slowLane})
        pool->setExpiryTimeout(-1);   // a worker keeps its thread, and so its database connection
    d->workers.setMaxThreadCount(options.workers);
    d->slowLane.setMaxThreadCount(options.slowWorkers);
    d->thread.setObjectName(QStringLiteral("rpc-server"));
    d->thread.start();
    d->context = new QObject;
    d->context->moveToThread(&d->thread);
}

TRpcServer::~TRpcServer()
{
    Stop();
    delete d->context;
}

void TRpcServer::Listen(const QHostAddress& address, quint16 port)
{
    QString error;
    QMetaObject::invokeMethod(d->context, [this, address, port, &error] {
        QTcpServer* server = nullptr;
        if (d->tls) {
            auto* secure = new QSslServer;
            secure->setSslConfiguration(*d->tls);
            server = secure;
        } else {
            server = new QTcpServer;
        }
        // An encrypted connection is pending only once its handshake is over; a client that
        // does not speak TLS never becomes one.
        auto accept = [this, server] {
            while (QTcpSocket* socket = server->nextPendingConnection())
                d->accept(socket);
        };
        QObject::connect(server, &QTcpServer::pendingConnectionAvailable, server, accept);
        QObject::connect(server, &QTcpServer::newConnection, server, accept);
        if (server->listen(address, port)) {
            d->server = server;
            if (d->options.housekeeping && d->options.housekeepingMs > 0) {
                auto* timer = new QTimer(server);
                QObject::connect(timer, &QTimer::timeout, server, [this] { d->startHousekeeping(); });
                timer->start(d->options.housekeepingMs);
            }
        } else {
            error = server->errorString();
            delete server;
        }
    }, Qt::BlockingQueuedConnection);
    if (!error.isEmpty())
        throw EHostError(QStringLiteral("O servidor não pôde escutar em %1:%2: %3").arg(address.toString()).arg(port).arg(error));
}

void TRpcServer::UseTls(const QString& certificateFile, const QString& keyFile)
{
    auto read = [](const QString& file, const char* what) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            throw EHostError(QStringLiteral("%1 %2 não pôde ser lido: %3").arg(QString::fromLatin1(what), file, f.errorString()));
        return f.readAll();
    };
    const QList<QSslCertificate> chain = QSslCertificate::fromData(read(certificateFile, "O certificado"), QSsl::Pem);
    if (chain.isEmpty())
        throw EHostError(QStringLiteral("O certificado %1 não traz nenhum certificado PEM.").arg(certificateFile));
    const QByteArray keyData = read(keyFile, "A chave");
    QSslKey key(keyData, QSsl::Ec, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(keyData, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        throw EHostError(QStringLiteral("A chave %1 não é uma chave privada PEM (RSA ou EC) sem senha.").arg(keyFile));
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);   // clients are known by their session, not by a certificate
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    // Only forward-secret key exchange with authenticated encryption: TLS 1.3's suites, and
    // TLS 1.2's ephemeral (EC)DH with GCM or ChaCha20-Poly1305. Static RSA and CBC are refused.
    QList<QSslCipher> ciphers;
    for (const QSslCipher& cipher : QSslConfiguration::supportedCiphers()) {
        const QString encryption = cipher.encryptionMethod().toUpper(), exchange = cipher.keyExchangeMethod().toUpper();
        const bool aead = encryption.contains(QLatin1String("GCM")) || encryption.contains(QLatin1String("CHACHA20"));
        if (aead && (cipher.protocol() == QSsl::TlsV1_3 || exchange == QLatin1String("ECDH") || exchange == QLatin1String("DH")))
            ciphers << cipher;
    }
    configuration.setCiphers(ciphers);
    d->tls = configuration;
}

quint16 TRpcServer::Port() const { return d->server ? d->server->serverPort() : 0; }

void TRpcServer::SetAnswerDelay(int ms) { d->delayMs = ms; }

bool TRpcServer::Stop(int waitMs)
{
    if (!d->thread.isRunning())
        return true;
    // No new connections, and the open ones are dropped; calls still running finish on their
    // workers and find no one to answer.
    QMetaObject::invokeMethod(d->context, [this] {
        if (!d->server)
            return;
        for (QTcpSocket* s : d->server->findChildren<QTcpSocket*>())
            s->abort();
        d->server->close();
    }, Qt::BlockingQueuedConnection);
    QDeadlineTimer deadline(waitMs < 0 ? QDeadlineTimer::Forever : QDeadlineTimer(waitMs));
    if (!d->workers.waitForDone(int(std::min<qint64>(deadline.remainingTime(), INT_MAX))) && waitMs >= 0)
        return false;
    if (!d->slowLane.waitForDone(int(std::min<qint64>(deadline.remainingTime(), INT_MAX))) && waitMs >= 0)
        return false;
    QMetaObject::invokeMethod(d->context, [this] { delete d->server.data(); }, Qt::BlockingQueuedConnection);
    d->thread.quit();
    d->thread.wait();
    return true;
}
