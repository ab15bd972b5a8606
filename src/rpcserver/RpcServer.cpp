#include "RpcServer.h"

#include "Errors.h"

#include <QFile>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <future>
#include <optional>

namespace {

constexpr qint64 MaxRequestBytes = qint64(256) << 20;
constexpr qsizetype MaxHeaderBytes = 64 * 1024;

const char* reasonOf(int status)
{
    switch (status) {
    case 200: return "OK";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    default: return "Error";
    }
}

QByteArray httpResponse(int status, const char* reason, const QByteArray& body, bool keepAlive)
{
    QByteArray r;
    r.reserve(body.size() + 160);
    r += "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\nContent-Type: application/json\r\nContent-Length: "
         + QByteArray::number(body.size());
    if (status == 401)
        r += "\r\nWWW-Authenticate: Bearer";
    r += keepAlive ? "\r\nConnection: keep-alive\r\n\r\n" : "\r\nConnection: close\r\n\r\n";
    r += body;
    return r;
}

QByteArray rpcError(qint64 id, int code, const QString& message)
{
    Wire::Response response;
    response.id = id;
    response.isError = true;
    response.errorCode = code;
    response.errorMessage = message;
    return Wire::EncodeResponse(response);
}

} // namespace

struct TRpcServer::Impl {
    Dispatcher dispatcher;
    QThread thread;
    QPointer<QTcpServer> server;   // lives on `thread`
    std::atomic<int> delayMs{0};
    std::optional<QSslConfiguration> tls;

    // One connection: reads requests one after the other from its buffer.
    void serve(QTcpSocket* socket)
    {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto buffer = std::make_shared<QByteArray>();
        auto busy = std::make_shared<bool>(false);
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer, busy] {
            *buffer += socket->readAll();
            if (!*busy)
                next(socket, buffer, busy);
        });
    }

    void next(QTcpSocket* socket, std::shared_ptr<QByteArray> buffer, std::shared_ptr<bool> busy)
    {
        const qsizetype headerEnd = buffer->indexOf("\r\n\r\n");
        if (headerEnd < 0) {
            if (buffer->size() > MaxHeaderBytes)
                reject(socket, 431, "Request Header Fields Too Large", QStringLiteral("Cabeçalho de pedido grande demais."));
            return;
        }
        const QList<QByteArray> lines = buffer->left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        qint64 length = -1;
        bool keepAlive = true;
        TRpcRequest request;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (name == "content-length")
                length = value.toLongLong();
            else if (name == "connection")
                keepAlive = value.toLower() != "close";
            else if (name == "x-operator")
                request.operatorCode = QString::fromUtf8(value);
            else if (name == "x-branch")
                request.branch = QString::fromUtf8(value);
            else if (name == "authorization" && value.size() > 7 && value.left(7).toLower() == "bearer ")
                request.token = QString::fromUtf8(value.mid(7).trimmed());
        }
        if (requestLine.size() < 3 || requestLine[0] != "POST")
            return reject(socket, 405, "Method Not Allowed", QStringLiteral("Só POST /rpc/<objeto> é atendido."));
        if (length < 0 || length > MaxRequestBytes)
            return reject(socket, 411, "Length Required", QStringLiteral("O pedido deve declarar Content-Length (até 256 MB)."));
        if (buffer->size() < headerEnd + 4 + length)
            return;   // the body is still coming
        const QByteArray path = requestLine[1];
        const QByteArray body = buffer->mid(headerEnd + 4, length);
        buffer->remove(0, headerEnd + 4 + length);

        QByteArray answer;
        if (!path.startsWith("/rpc/") || path.size() <= 5) {
            answer = httpResponse(404, "Not Found", rpcError(0, -32601, QStringLiteral("Caminho desconhecido: %1").arg(QString::fromUtf8(path))), keepAlive);
        } else {
            request.object = QString::fromUtf8(QByteArray::fromPercentEncoding(path.mid(5)));
            const auto [status, content] = handle(request, body);
            answer = httpResponse(status, reasonOf(status), content, keepAlive);
        }

        const int delay = delayMs.load();
        if (delay < 0) {
            *busy = true;   // never answers
            return;
        }
        auto send = [this, socket, buffer, busy, answer, keepAlive] {
            socket->write(answer);
            socket->flush();
            *busy = false;
            if (!keepAlive)
                socket->disconnectFromHost();
            else if (!buffer->isEmpty())
                next(socket, buffer, busy);
        };
        if (delay == 0) {
            send();
        } else {
            *busy = true;
            QTimer::singleShot(delay, socket, send);
        }
    }

    // The HTTP status and the body of the answer.
    std::pair<int, QByteArray> handle(TRpcRequest& request, const QByteArray& body)
    {
        qint64 id = 0;
        try {
            Wire::Request call = Wire::DecodeRequest(body);
            id = call.id;
            request.method = call.method;
            request.params = std::move(call.params);
        } catch (const EHostError& e) {
            return {200, rpcError(id, -32700, e.message())};
        }
        TRpcReply reply;
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
            return {reply.httpStatus, Wire::EncodeResponse(response)};
        } catch (const EHostError& e) {
            return {200, rpcError(id, -32603, QStringLiteral("A resposta de %1.%2 não pôde ser codificada: %3").arg(request.object, request.method, e.message()))};
        }
    }

    void reject(QTcpSocket* socket, int status, const char* reason, const QString& message)
    {
        socket->write(httpResponse(status, reason, rpcError(0, -32600, message), false));
        socket->disconnectFromHost();
    }
};

TRpcServer::TRpcServer(Dispatcher dispatcher) : d(std::make_unique<Impl>())
{
    d->dispatcher = std::move(dispatcher);
    d->thread.setObjectName(QStringLiteral("rpc-server"));
    d->thread.start();
}

TRpcServer::~TRpcServer() { Stop(); }

void TRpcServer::Listen(const QHostAddress& address, quint16 port)
{
    std::promise<QString> listening;
    auto result = listening.get_future();
    auto* holder = new QObject;
    holder->moveToThread(&d->thread);
    QMetaObject::invokeMethod(holder, [this, holder, address, port, &listening] {
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
                d->serve(socket);
        };
        QObject::connect(server, &QTcpServer::pendingConnectionAvailable, server, accept);
        QObject::connect(server, &QTcpServer::newConnection, server, accept);
        if (server->listen(address, port)) {
            d->server = server;
            listening.set_value({});
        } else {
            listening.set_value(server->errorString());
            delete server;
        }
        holder->deleteLater();
    });
    const QString error = result.get();
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
    d->tls = configuration;
}

bool TRpcServer::UsesTls() const { return d->tls.has_value(); }

quint16 TRpcServer::Port() const { return d->server ? d->server->serverPort() : 0; }

void TRpcServer::SetAnswerDelay(int ms) { d->delayMs = ms; }

void TRpcServer::Stop()
{
    if (!d->thread.isRunning())
        return;
    if (d->server) {
        QPointer<QTcpServer> server = d->server;
        QMetaObject::invokeMethod(server, [server] {
            for (QTcpSocket* s : server->findChildren<QTcpSocket*>())
                s->abort();
            server->close();
            server->deleteLater();
        }, Qt::BlockingQueuedConnection);
    }
    d->thread.quit();
    d->thread.wait();
}
