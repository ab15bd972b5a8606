#pragma once
// Hears a PostgreSQL notification channel, on a connection and a thread of its own. It tells
// when it starts hearing (its LISTEN is in place) and when it stops (the connection is lost,
// or it is destroyed), and passes on each notification's payload. A lost connection is made
// again after a second; one that cannot be made is tried again after pauses growing to four
// seconds, and told once on standard error. The handlers are called on the listener's
// thread. Nothing it does blocks its destruction for more than a fifth of a second.

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <thread>

struct pg_conn;

class TChannelListener {
public:
    struct THandlers {
        std::function<void(bool hearing)> hearing;
        std::function<void(const QString& payload)> heard;
    };

    // `connectionInfo` as libpq takes it ("host=... dbname=..."); `channel` an SQL identifier.
    TChannelListener(QByteArray connectionInfo, QByteArray channel, THandlers handlers);
    ~TChannelListener();
    TChannelListener(const TChannelListener&) = delete;
    TChannelListener& operator=(const TChannelListener&) = delete;

private:
    void run();
    bool connectAndListen(pg_conn* connection);
    bool await(pg_conn* connection, short events) const;
    void pause(int ms) const;

    QByteArray m_connectionInfo, m_channel;
    THandlers m_handlers;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
