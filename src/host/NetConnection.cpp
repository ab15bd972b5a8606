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

namespace {

// An answer as HTTP brought it.
struct THttpAnswer {
    int status = 0;
    QByteArray body;
};

// One call's exchange on a connection's socket, in its steps: connect, send, read. Each step
// waits within the call's time limit; a failure aborts the socket and raises ETransportError
// naming the server, the object and the method.
class TExchange {
public:
    TExchange(QSslSocket& socket, const QString& host, int port, const QString& serverName, const QString& method, int timeoutMs)
        : m_socket(socket), m_host(host), m_port(port), m_serverName(serverName), m_method(method), m_timeoutMs(timeoutMs),
          m_wait(QDeadlineTimer(timeoutMs))
    {
    }

    // A kept-alive connection is used as it is; one the server has closed is opened again,
    // and over TLS it is usable once the handshake has verified the server.
    void Connect()
    {
        if (m_socket.state() == QAbstractSocket::ConnectedState) {
            m_socket.waitForReadyRead(0);
            if (m_socket.bytesAvailable() > 0)
                m_socket.readAll();   // stray bytes of an earlier exchange
        }
        if (m_socket.state() == QAbstractSocket::ConnectedState)
            return;
        m_socket.abort();
        const bool tls = Session().tls;
        if (tls) {
            m_socket.setSslConfiguration(TlsConfiguration());
            m_socket.connectToHostEncrypted(m_host, quint16(m_port));
        } else {
            m_socket.connectToHost(m_host, quint16(m_port));
        }
        const auto ready = [&] { return m_socket.state() == QAbstractSocket::ConnectedState && (!tls || m_socket.isEncrypted()); };
        const bool up = m_wait.until([&] {
            if (ready())
                return true;
            if (m_socket.state() == QAbstractSocket::UnconnectedState)
                throw Unreachable(tls);
            if (m_socket.state() != QAbstractSocket::ConnectedState)
                m_socket.waitForConnected(m_wait.slice());
            else
                m_socket.waitForEncrypted(m_wait.slice());
            return ready();
        });
        if (!up)
            throw TimedOut();
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    }

    void Send(const QByteArray& request)
    {
        m_socket.write(request);
        const bool sent = m_wait.until([&] {
            if (m_socket.state() != QAbstractSocket::ConnectedState)
                throw Failure(QStringLiteral("a conexão caiu ao enviar (%1).").arg(m_socket.errorString()));
            if (m_socket.bytesToWrite() == 0)
                return true;
            m_socket.waitForBytesWritten(m_wait.slice());
            return m_socket.bytesToWrite() == 0;
        });
        if (!sent)
            throw TimedOut();
    }

    // The status line, the headers, and a body by Content-Length, by chunks, or up to the
    // server's close when it gives neither.
    THttpAnswer Read()
    {
        const bool answered = m_wait.until([&] {
            if (m_socket.bytesAvailable() == 0)
                m_socket.waitForReadyRead(m_wait.slice());
            m_buffer += m_socket.readAll();
            const bool peerClosed = m_socket.state() != QAbstractSocket::ConnectedState;
            if (!m_headRead && !HeadRead(peerClosed))
                return false;
            if (BodyComplete(peerClosed))
                return true;
            if (peerClosed)
                throw Failure(QStringLiteral("a resposta veio incompleta."));
            return false;
        });
        if (!answered)
            throw TimedOut();
        if (m_closeAfter)
            m_socket.disconnectFromHost();
        return m_answer;
    }

    ETransportError Failure(const QString& what)
    {
        m_socket.abort();
        return ETransportError(QStringLiteral("Servidor %1:%2, %3.%4: %5").arg(m_host).arg(m_port).arg(m_serverName, m_method, what));
    }

private:
    // The operator reads first where the server should be and what to do; the call and the
    // system's reason follow for whoever looks into it. A server that answered but whose
    // certificate was refused is up: that is said instead.
    ETransportError Unreachable(bool tls)
    {
        const bool refused = tls && !m_socket.sslHandshakeErrors().isEmpty();
        const QString reason = tls ? TlsFailure(m_socket) : m_socket.errorString();
        m_socket.abort();
        const QString headline = refused ? QStringLiteral("A conexão segura com o servidor %1:%2 foi recusada.")
                                         : QStringLiteral("Não foi possível conectar ao servidor %1:%2. Verifique se ele está no ar.");
        return ETransportError(headline.arg(m_host).arg(m_port) + QStringLiteral("\nDetalhe: %1.%2: %3.").arg(m_serverName, m_method, reason));
    }

    ETransportError TimedOut() { return Failure(QStringLiteral("o servidor não respondeu em %1 s.").arg(m_timeoutMs / 1000.0, 0, 'g', 3)); }

    // Whether the head has come whole; it is then parsed and taken off the buffer.
    bool HeadRead(bool peerClosed)
    {
        const qsizetype headSize = Http::HeadSize(m_buffer);
        if (headSize == 0) {
            if (m_buffer.size() > Http::MaxHeadBytes)
                throw Failure(QStringLiteral("cabeçalho de resposta grande demais."));
            if (peerClosed)
                throw Failure(m_buffer.isEmpty() ? QStringLiteral("o servidor fechou a conexão sem responder.")
                                                 : QStringLiteral("a resposta veio incompleta."));
            return false;
        }
        m_head = Http::ParseHead(m_buffer.left(headSize));
        const std::optional<int> code = m_head.status();
        if (!code)
            throw Failure(QStringLiteral("a resposta não é HTTP."));
        m_answer.status = *code;
        if (m_head.badLength || m_head.contentLength > MaxResponseBytes)
            throw Failure(QStringLiteral("a resposta declara um tamanho inválido."));
        m_closeAfter = m_head.close || (!m_head.chunked && m_head.contentLength < 0);
        m_buffer.remove(0, headSize);
        m_headRead = true;
        return true;
    }

    // Whether the whole body is in; it is then the answer's.
    bool BodyComplete(bool peerClosed)
    {
        if (m_head.chunked) {
            switch (m_chunks.read(m_buffer, MaxResponseBytes)) {
            case Http::ChunkedBody::More: return false;
            case Http::ChunkedBody::Malformed: throw Failure(QStringLiteral("a resposta traz um bloco malformado."));
            case Http::ChunkedBody::Done: m_answer.body = m_chunks.content(); return true;
            }
        }
        if (m_head.contentLength >= 0) {
            if (m_buffer.size() < m_head.contentLength)
                return false;
            m_answer.body = m_buffer.left(static_cast<qsizetype>(m_head.contentLength));
            return true;
        }
        if (m_buffer.size() > MaxResponseBytes)
            throw Failure(QStringLiteral("a resposta é grande demais."));
        if (peerClosed)
            m_answer.body = m_buffer;
        return peerClosed;
    }

    QSslSocket& m_socket;
    const QString& m_host;
    int m_port;
    const QString& m_serverName;
    const QString& m_method;
    int m_timeoutMs;
    Waiter m_wait;
    QByteArray m_buffer;
    Http::Head m_head;
    bool m_headRead = false, m_closeAfter = false;
    Http::ChunkedBody m_chunks;
    THttpAnswer m_answer;
};

// The request of a call, with the session's token and the operator and branch it claims.
QByteArray RequestOf(const QString& serverName, const QString& host, int port, const Wire::Request& call)
{
    QList<Http::Field> fields{{"X-Operator", Operador().toUtf8()}, {"X-Branch", FiliProc().toUtf8()}};
    if (!Session().token.isEmpty())
        fields.append({"Authorization", "Bearer " + Session().token.toUtf8()});
    return Http::Request("/rpc/" + serverName.toUtf8(), host.toUtf8() + ':' + QByteArray::number(port), fields, Wire::EncodeRequest(call));
}

// Only an answer with HTTP 200 and the call's id is an answer; anything else is a transport
// error, told with the server's own words when it gave some (a 401 says that the session is
// over).
Wire::Response Decode(const THttpAnswer& answer, qint64 id, TExchange& exchange)
{
    Wire::Response response;
    try {
        response = Wire::DecodeResponse(answer.body);
    } catch (const EWireError& e) {
        if (answer.status != 200)
            throw exchange.Failure(QStringLiteral("o servidor respondeu HTTP %1: %2").arg(answer.status).arg(QString::fromUtf8(answer.body.left(300))));
        throw exchange.Failure(QStringLiteral("resposta malformada: %1").arg(e.message()));
    }
    if (answer.status != 200)
        throw exchange.Failure(QStringLiteral("o servidor respondeu HTTP %1: %2")
                                   .arg(answer.status)
                                   .arg(response.isError ? response.errorMessage : QString::fromUtf8(answer.body.left(300))));
    if (response.id != Wire::RequestId(id))
        throw exchange.Failure(QStringLiteral("a resposta traz o id %1 em vez de %2.").arg(Wire::IdText(response.id)).arg(id));
    return response;
}

} // namespace

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
        TExchange exchange(m_channel->socket, Host, Port, ServerName, method, TimeoutMs > 0 ? TimeoutMs : Session().callTimeoutMs);
        exchange.Connect();
        const qint64 id = m_nextId++;
        exchange.Send(RequestOf(ServerName, Host, Port, {id, method, args}));
        response = Decode(exchange.Read(), id, exchange);
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
