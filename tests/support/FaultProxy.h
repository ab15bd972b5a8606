#pragma once
// A loopback proxy between a client and a server that can lose one call: it passes call N to the
// server, lets the server finish it, and then drops the client's connection instead of answering,
// as a network that fails at the worst moment would. Every other call passes through untouched.

#include <QByteArray>
#include <QList>

#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

class QThread;

class FaultProxy {
public:
    // Forwards to 127.0.0.1:`serverPort`; drops the answer of call `dropCall` (1 = the first;
    // 0 drops nothing).
    FaultProxy(quint16 serverPort, int dropCall);
    ~FaultProxy();
    quint16 Port() const { return m_port; }
    // The methods called, in order ("Object.Method").
    QList<QByteArray> Calls() const;

private:
    void listen(std::promise<quint16>& port);
    void serve(qintptr descriptor);
    // Counts the call; true when its answer must be lost.
    bool record(const QByteArray& request);

    quint16 m_serverPort;
    int m_dropCall;
    quint16 m_port = 0;
    std::atomic<bool> m_stopping{false};
    // Qt's own threads rather than adopted ones: Qt keeps the books of what runs on them.
    std::unique_ptr<QThread> m_acceptor;
    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<QThread>> m_connections;
    QList<QByteArray> m_calls;
};
