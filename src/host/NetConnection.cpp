#include "NetConnection.h"

#include "Errors.h"
#include "HostServices.h"
#include "HttpFraming.h"
#include "Showavi.h"
#include "Wire.h"
#include "WireEnvelopes.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QSslConfiguration>
#include <QSslSocket>

namespace {

constexpr qint64 MaxResponseBytes = qint64(1) << 30;
constexpr int PollSliceMs = 15;   // longest stretch without painting while a call waits

// Waits on a socket in short blocking slices, letting the window repaint (but receive no
// user input) between them. A quick answer is read without a trip through the event loop.
class Waiter {
public:
    explicit Waiter(QDeadlineTimer deadline) : m_deadline(deadline) { m_sincePump.start(); }

    // Returns false when the deadline passed.
    template <class Step>
    bool until(Step step)
    {
        for (;;) {
            if (step())
                return true;
            if (m_deadline.hasExpired())
                return false;
            if (m_sincePump.elapsed() >= PollSliceMs) {
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
                m_sincePump.restart();
            }
        }
    }

    int slice() const { return int(std::min<qint64>(PollSliceMs, std::max<qint64>(0, m_deadline.remainingTime()))); }

private:
    QDeadlineTimer m_deadline;
    QElapsedTimer m_sincePump;
};

} // namespace

struct TNetConnection::Channel {
    QSslSocket socket;   // plain TCP unless the session is on https
};

namespace {

// The TLS settings of a connection: the system's trust, or the session's CA file instead.
QSslConfiguration TlsConfiguration()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    if (!Session().caFile.isEmpty()) {
        QFile file(Session().caFile);
        if (!file.open(QIODevice::ReadOnly))
            throw ETransportError(QStringLiteral("O arquivo de certificados %1 não pôde ser lido: %2").arg(Session().caFile, file.errorString()));
        const QList<QSslCertificate> authorities = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
        if (authorities.isEmpty())
            throw ETransportError(QStringLiteral("O arquivo %1 não traz nenhum certificado PEM.").arg(Session().caFile));
        configuration.setCaCertificates(authorities);
    }
    return configuration;
}

// Why a TLS connection was not made, in words.
QString TlsFailure(const QSslSocket& socket)
{
    QStringList reasons;
    for (const QSslError& e : socket.sslHandshakeErrors())
        reasons << e.errorString();
    return reasons.isEmpty() ? socket.errorString() : QStringLiteral("certificado do servidor recusado: %1").arg(reasons.join(QStringLiteral("; ")));
}

} // namespace

TNetConnection::TNetConnection(QObject* parent, const QString& name, const QString& serverName)
    : QObject(parent), ServerName(serverName)
{
    setObjectName(name);
}

TNetConnection::~TNetConnection() = default;

QString TNetConnection::where(const QString& method) const
{
    return QStringLiteral("Servidor %1:%2, %3.%4").arg(Host).arg(Port).arg(ServerName, method);
}

void TNetConnection::SetConnected(bool connected)
{
    if (connected == m_connected)
        return;
    if (!connected) {
        if (m_channel)
            m_channel->socket.abort();
        m_channel.reset();
        m_connected = false;
        return;
    }
    if (BeforeConnect)
        BeforeConnect(*this);
    if (Host.isEmpty() && Port == 0) {
        Host = WebURL();
        Port = WebPort();
    }
    if (Host.isEmpty() || Port <= 0 || Port > 65535)
        throw ETransportError(QStringLiteral("Conexão %1 (%2): servidor sem endereço ou porta válidos (%3:%4).")
                                  .arg(objectName(), ServerName, Host)
                                  .arg(Port));
    m_channel = std::make_unique<Channel>();
    m_connected = true;
}

QVariant TNetConnection::CallRef(const QString& method, QVariantList& args)
{
    QMap<int, QVariant> byref;
    QVariant result = Call(method, args, &byref);
    for (auto it = byref.cbegin(); it != byref.cend(); ++it)
        if (it.key() < args.size())
            args[it.key()] = it.value();
    return result;
}

QVariant TNetConnection::Call(const QString& method, const QVariantList& args, QMap<int, QVariant>* byref)
{
    TCallRecord record{ServerName, method, args};
    for (int i : SecretArgs)
        if (i >= 0 && i < record.args.size())
            record.args[i] = QStringLiteral("********");
    auto report = [&](TCallRecord::Outcome outcome, const QString& message) {
        record.outcome = outcome;
        record.message = message;
        if (HostServicesInstalled())
            HostServices().callMade(record);
    };

    Wire::Response response;
    try {
        // While a call waits the busy cursor shows that the system works, even where no wait
        // animation is up.
        const WaitCursor busy(Qt::BusyCursor);
        if (!m_connected)
            SetConnected(true);
        const int timeout = TimeoutMs > 0 ? TimeoutMs : Session().callTimeoutMs;
        QDeadlineTimer deadline(timeout);
        Waiter wait(deadline);
        QSslSocket& socket = m_channel->socket;

        auto transportError = [&](const QString& what) {
            socket.abort();
            return ETransportError(QStringLiteral("%1: %2").arg(where(method), what));
        };
        // The operator reads first where the server should be and what to do; the call and
        // the system's reason follow for whoever looks into it.
        // A server that answered but whose certificate was refused is up: that is said instead.
        auto unreachable = [&](bool tls) {
            const bool refused = tls && !socket.sslHandshakeErrors().isEmpty();
            const QString reason = tls ? TlsFailure(socket) : socket.errorString();
            socket.abort();
            const QString headline = refused ? QStringLiteral("A conexão segura com o servidor %1:%2 foi recusada.")
                                             : QStringLiteral("Não foi possível conectar ao servidor %1:%2. Verifique se ele está no ar.");
            return ETransportError(headline.arg(Host).arg(Port) + QStringLiteral("\nDetalhe: %1.%2: %3.").arg(ServerName, method, reason));
        };
        auto timedOut = [&] {
            return transportError(QStringLiteral("o servidor não respondeu em %1 s.").arg(timeout / 1000.0, 0, 'g', 3));
        };

        // A kept-alive connection the server has closed is opened again before sending.
        if (socket.state() == QAbstractSocket::ConnectedState) {
            socket.waitForReadyRead(0);
            if (socket.bytesAvailable() > 0)
                socket.readAll();   // stray bytes of an earlier exchange
        }
        if (socket.state() != QAbstractSocket::ConnectedState) {
            socket.abort();
            const bool tls = Session().tls;
            if (tls) {
                socket.setSslConfiguration(TlsConfiguration());
                socket.connectToHostEncrypted(Host, quint16(Port));
            } else {
                socket.connectToHost(Host, quint16(Port));
            }
            // Over TLS the connection is usable once the handshake has verified the server.
            const bool up = wait.until([&] {
                const bool ready = socket.state() == QAbstractSocket::ConnectedState && (!tls || socket.isEncrypted());
                if (ready)
                    return true;
                if (socket.state() == QAbstractSocket::UnconnectedState)
                    throw unreachable(tls);
                if (socket.state() != QAbstractSocket::ConnectedState)
                    socket.waitForConnected(wait.slice());
                else
                    socket.waitForEncrypted(wait.slice());
                return socket.state() == QAbstractSocket::ConnectedState && (!tls || socket.isEncrypted());
            });
            if (!up)
                throw timedOut();
            socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
            socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
        }

        const qint64 id = m_nextId++;
        const QByteArray body = Wire::EncodeRequest({id, method, args});
        QList<Http::Field> fields{{"X-Operator", Operador().toUtf8()}, {"X-Branch", FiliProc().toUtf8()}};
        if (!Session().token.isEmpty())
            fields.append({"Authorization", "Bearer " + Session().token.toUtf8()});
        const QByteArray request = Http::Request("/rpc/" + ServerName.toUtf8(), Host.toUtf8() + ':' + QByteArray::number(Port), fields, body);
        socket.write(request);
        const bool sent = wait.until([&] {
            if (socket.state() != QAbstractSocket::ConnectedState)
                throw transportError(QStringLiteral("a conexão caiu ao enviar (%1).").arg(socket.errorString()));
            if (socket.bytesToWrite() == 0)
                return true;
            socket.waitForBytesWritten(wait.slice());
            return socket.bytesToWrite() == 0;
        });
        if (!sent)
            throw timedOut();

        // Read the answer: status line, headers, and a body by Content-Length or chunks.
        QByteArray buffer;
        Http::Head head;
        bool headRead = false;
        int status = 0;
        bool closeAfter = false;
        Http::ChunkedBody chunks;
        QByteArray content;

        auto readHead = [&](qsizetype headSize) {
            head = Http::ParseHead(buffer.left(headSize));
            const std::optional<int> code = head.status();
            if (!code)
                throw transportError(QStringLiteral("a resposta não é HTTP."));
            status = *code;
            if (head.badLength || head.contentLength > MaxResponseBytes)
                throw transportError(QStringLiteral("a resposta declara um tamanho inválido."));
            // Without a length or chunks, the body runs until the server closes.
            closeAfter = head.close || (!head.chunked && head.contentLength < 0);
            buffer.remove(0, headSize);
            headRead = true;
        };

        // Returns true once the whole body is in `content`.
        auto bodyComplete = [&](bool peerClosed) -> bool {
            if (head.chunked) {
                switch (chunks.read(buffer, MaxResponseBytes)) {
                case Http::ChunkedBody::More: return false;
                case Http::ChunkedBody::Malformed: throw transportError(QStringLiteral("a resposta traz um bloco malformado."));
                case Http::ChunkedBody::Done: content = chunks.content(); return true;
                }
            }
            if (head.contentLength >= 0) {
                if (buffer.size() < head.contentLength)
                    return false;
                content = buffer.left(static_cast<qsizetype>(head.contentLength));
                return true;
            }
            if (buffer.size() > MaxResponseBytes)
                throw transportError(QStringLiteral("a resposta é grande demais."));
            if (peerClosed)
                content = buffer;
            return peerClosed;
        };

        const bool answered = wait.until([&] {
            if (socket.bytesAvailable() == 0)
                socket.waitForReadyRead(wait.slice());
            buffer += socket.readAll();
            const bool peerClosed = socket.state() != QAbstractSocket::ConnectedState;
            if (!headRead) {
                const qsizetype headSize = Http::HeadSize(buffer);
                if (headSize == 0) {
                    if (buffer.size() > Http::MaxHeadBytes)
                        throw transportError(QStringLiteral("cabeçalho de resposta grande demais."));
                    if (peerClosed)
                        throw transportError(buffer.isEmpty() ? QStringLiteral("o servidor fechou a conexão sem responder.")
                                                              : QStringLiteral("a resposta veio incompleta."));
                    return false;
                }
                readHead(headSize);
            }
            if (bodyComplete(peerClosed))
                return true;
            if (peerClosed)
                throw transportError(QStringLiteral("a resposta veio incompleta."));
            return false;
        });
        if (!answered)
            throw timedOut();
        if (closeAfter)
            socket.disconnectFromHost();

        // Only an answer with HTTP 200 and this call's id is an answer; anything else is a
        // transport error, told with the server's own words when it gave some (a 401 says
        // that the session is over).
        try {
            response = Wire::DecodeResponse(content);
        } catch (const EWireError& e) {
            if (status != 200)
                throw transportError(QStringLiteral("o servidor respondeu HTTP %1: %2").arg(status).arg(QString::fromUtf8(content.left(300))));
            throw transportError(QStringLiteral("resposta malformada: %1").arg(e.message()));
        }
        if (status != 200)
            throw transportError(QStringLiteral("o servidor respondeu HTTP %1: %2").arg(status).arg(response.isError ? response.errorMessage : QString::fromUtf8(content.left(300))));
        if (response.id != Wire::RequestId(id))
            throw transportError(QStringLiteral("a resposta traz o id %1 em vez de %2.").arg(Wire::IdText(response.id)).arg(id));
    } catch (const EHostError& e) {
        report(TCallRecord::Exception, e.message());
        throw;
    }

    if (response.isError) {
        report(TCallRecord::Exception, response.errorMessage);
        throw ERemoteError(response.errorMessage);
    }
    if (byref)
        *byref = response.byref;
    report(VarIsFail(response.result) ? TCallRecord::Fail : TCallRecord::Ok,
           VarIsFail(response.result) ? response.result.value<TFailResult>().text : QString());
    return response.result;
}
