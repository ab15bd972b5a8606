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

// One client's connection, on the accepting thread.
struct Connection {
    QPointer<QTcpSocket> socket;
    QByteArray buffer;     // what has been read and not yet served
    bool busy = false;     // one of its calls is running or being answered
    QTimer* idle = nullptr;
};

// A request framed by the accepting thread, for a worker.
struct Work {
    TRpcRequest request;
    QByteArray body;
    bool keepAlive = true;
    bool decoded = false;   // the body has become the request's method and arguments
    Wire::RequestId id = qint64(0);
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

    // A new connection: served, or answered 503 when too many are open.
    void accept(QTcpSocket* socket)
    {
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (open >= options.maxConnections) {
            reject(socket, 503, QStringLiteral("Servidor ocupado: conexões demais abertas. Tente novamente em instantes."));
            return;
        }
        ++open;
        auto c = std::make_shared<Connection>();
        c->socket = socket;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket->setReadBufferSize(64 * 1024);   // a client that sends faster than it is served waits in TCP
        QObject::connect(socket, &QObject::destroyed, context, [this] { --open; });
        if (options.idleTimeoutMs > 0) {
            c->idle = new QTimer(socket);
            c->idle->setSingleShot(true);
            c->idle->setInterval(options.idleTimeoutMs);
            QObject::connect(c->idle, &QTimer::timeout, socket, [c] {
                if (!c->busy && c->socket)
                    c->socket->disconnectFromHost();
            });
            c->idle->start();
        }
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, c] { read(c); });
    }

    void read(const std::shared_ptr<Connection>& c)
    {
        if (c->busy || !c->socket)
            return;   // the rest waits until the call in progress is answered
        c->buffer += c->socket->readAll();
        if (c->idle)
            c->idle->start();
        next(c);
    }

    // Frames the next request of the connection's buffer and hands it to a worker.
    void next(const std::shared_ptr<Connection>& c)
    {
        QTcpSocket* socket = c->socket;
        QByteArray& buffer = c->buffer;
        const qsizetype headSize = Http::HeadSize(buffer);
        if (headSize == 0) {
            if (buffer.size() > Http::MaxHeadBytes)
                reject(socket, 431, QStringLiteral("Cabeçalho de pedido grande demais."));
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
            return reject(socket, 405, QStringLiteral("Só POST /rpc/<objeto> é atendido."));
        if (head.badLength)
            return reject(socket, 400, QStringLiteral("Content-Length inválido."));
        const qint64 length = head.contentLength;
        if (length < 0)
            return reject(socket, 411, QStringLiteral("O pedido deve declarar Content-Length."));
        if (length > options.maxBodyBytes)
            return reject(socket, 413, QStringLiteral("Pedido grande demais: %1 bytes, o limite é %2.").arg(length).arg(options.maxBodyBytes));
        if (buffer.size() < headSize + length)
            return;   // the body is still coming
        const QByteArray path = head.target();
        work.body = buffer.mid(headSize, static_cast<qsizetype>(length));
        buffer.remove(0, headSize + static_cast<qsizetype>(length));
        if (!path.startsWith("/rpc/") || path.size() <= 5)
            return answer(c, Http::Response(404, rpcError(0, -32601, QStringLiteral("Caminho desconhecido: %1").arg(QString::fromUtf8(path))), work.keepAlive),
                          work.keepAlive);
        work.request.object = QString::fromUtf8(QByteArray::fromPercentEncoding(path.mid(5)));

        c->busy = true;
        if (c->idle)
            c->idle->stop();
        workers.start([this, c, work = std::move(work)]() mutable { run(c, std::move(work), false); });
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
        if (!socket)
            return;
        socket->write(bytes);
        socket->flush();
        if (!keepAlive) {
            socket->disconnectFromHost();
            return;
        }
        if (c->idle)
            c->idle->start();
        if (socket->bytesAvailable() > 0)
            read(c);
        else if (!c->buffer.isEmpty())
            next(c);
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
