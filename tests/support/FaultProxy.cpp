#include "FaultProxy.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>



namespace {

constexpr int kWaitMs = 30000;

// One HTTP message (the headers and the body its Content-Length announces), or empty when the
// peer closed before sending a whole one, or the proxy is stopping.
QByteArray ReadMessage(QTcpSocket& socket, QByteArray& pending, const std::atomic<bool>& stopping)
{
    int waited = 0;
    for (;;) {
        const qsizetype end = pending.indexOf("\r\n\r\n");
        if (end >= 0) {
            qsizetype length = 0;
            for (const QByteArray& line : pending.left(end).split('\n'))
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toLongLong();
            const qsizetype total = end + 4 + length;
            if (pending.size() >= total) {
                const QByteArray message = pending.left(total);
                pending.remove(0, total);
                return message;
            }
        }
        if (!socket.waitForReadyRead(50)) {
            waited += 50;
            if (stopping || waited >= kWaitMs || socket.state() != QAbstractSocket::ConnectedState)
                return {};
            continue;
        }
        pending += socket.readAll();
    }
}

bool Send(QTcpSocket& socket, const QByteArray& bytes)
{
    socket.write(bytes);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(kWaitMs))
            return false;
    return true;
}

// Hands each accepted connection's descriptor to `serve`, on the accepting thread.
class Listener : public QTcpServer {
public:
    explicit Listener(std::function<void(qintptr)> serve) : m_serve(std::move(serve)) {}

protected:
    void incomingConnection(qintptr descriptor) override { m_serve(descriptor); }

private:
    std::function<void(qintptr)> m_serve;
};

} // namespace

FaultProxy::FaultProxy(quint16 serverPort, int dropCall) : m_serverPort(serverPort), m_dropCall(dropCall)
{
    // Accepts and serves on threads of their own: the client under test blocks its thread while
    // it waits for an answer.
    std::promise<quint16> port;
    auto ready = port.get_future();
    m_acceptor.reset(QThread::create([this, &port] { listen(port); }));
    m_acceptor->start();
    m_port = ready.get();
}

FaultProxy::~FaultProxy()
{
    m_stopping = true;
    m_acceptor->wait();
    for (auto& connection : m_connections)
        connection->wait();
}

QList<QByteArray> FaultProxy::Calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

void FaultProxy::listen(std::promise<quint16>& port)
{
    Listener listener([this](qintptr descriptor) {
        std::lock_guard lock(m_mutex);
        m_connections.emplace_back(QThread::create([this, descriptor] { serve(descriptor); }));
        m_connections.back()->start();
    });
    listener.listen(QHostAddress::LocalHost, 0);
    port.set_value(listener.serverPort());
    while (!m_stopping)
        listener.waitForNewConnection(50);
}

bool FaultProxy::record(const QByteArray& request)
{
    std::lock_guard lock(m_mutex);
    // "/rpc/Object" from the request line, ".Method" from the body.
    const QByteArray object = request.left(request.indexOf('\r')).split(' ').value(1).mid(5);
    const qsizetype at = request.indexOf("\"method\":\"") + 10;
    m_calls << object + '.' + request.mid(at, request.indexOf('"', at) - at);
    return m_calls.size() == m_dropCall;
}

void FaultProxy::serve(qintptr descriptor)
{
    QTcpSocket client;
    client.setSocketDescriptor(descriptor);
    QTcpSocket server;
    server.connectToHost(QHostAddress::LocalHost, m_serverPort);
    if (!server.waitForConnected(kWaitMs))
        return;
    QByteArray fromClient, fromServer;
    while (!m_stopping) {
        const QByteArray request = ReadMessage(client, fromClient, m_stopping);
        if (request.isEmpty())
            return;
        const bool lose = record(request);
        if (!Send(server, request))
            return;
        const QByteArray answer = ReadMessage(server, fromServer, m_stopping);   // the server has done the call
        if (answer.isEmpty() || lose)
            return;   // the client's connection closes unanswered
        if (!Send(client, answer))
            return;
    }
}
