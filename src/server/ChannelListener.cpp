#include "ChannelListener.h"

#include <QtGlobal>

#include <libpq-fe.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace {

constexpr int PollMs = 200;   // how soon a stop is seen
// Tried again soon enough that the channel is heard within seconds of the database's return.
constexpr int FirstPauseMs = 1000, LongestPauseMs = 4000;

using TConnection = std::unique_ptr<PGconn, void (*)(PGconn*)>;

QByteArray ErrorOf(PGconn* connection) { return QByteArray(PQerrorMessage(connection)).simplified(); }

} // namespace

TChannelListener::TChannelListener(QByteArray connectionInfo, QByteArray channel, THandlers handlers)
    : m_connectionInfo(std::move(connectionInfo)), m_channel(std::move(channel)), m_handlers(std::move(handlers)), m_thread([this] { run(); })
{
}

TChannelListener::~TChannelListener()
{
    m_stop = true;
    m_thread.join();
}

void TChannelListener::pause(int ms) const
{
    for (int waited = 0; waited < ms && !m_stop; waited += PollMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(PollMs));
}

// Waits until the connection's socket is ready for `events`, a stop or an error; true when ready.
bool TChannelListener::await(PGconn* connection, short events) const
{
    while (!m_stop) {
        pollfd socket{PQsocket(connection), events, 0};
        const int ready = ::poll(&socket, 1, PollMs);
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
    return false;
}

// Connects and listens without blocking a stop; true when the LISTEN is in place.
bool TChannelListener::connectAndListen(PGconn* connection)
{
    if (PQstatus(connection) == CONNECTION_BAD)
        return false;
    for (PostgresPollingStatusType status = PGRES_POLLING_WRITING; status != PGRES_POLLING_OK;) {
        if (status == PGRES_POLLING_FAILED || !await(connection, status == PGRES_POLLING_READING ? POLLIN : POLLOUT))
            return false;
        status = PQconnectPoll(connection);
    }
    PQsetNoticeProcessor(connection, [](void*, const char*) {}, nullptr);   // a lost connection is told by run()
    if (!PQsendQuery(connection, ("LISTEN " + m_channel).constData()))
        return false;
    bool listening = false;
    for (;;) {
        while (PQisBusy(connection)) {
            if (!await(connection, POLLIN) || !PQconsumeInput(connection))
                return false;
        }
        PGresult* result = PQgetResult(connection);
        if (!result)
            return listening;
        listening = PQresultStatus(result) == PGRES_COMMAND_OK;
        PQclear(result);
    }
}

void TChannelListener::run()
{
    int pauseMs = FirstPauseMs;
    bool told = false;   // a failure is told once, until listening succeeds again
    while (!m_stop) {
        const TConnection connection(PQconnectStart(m_connectionInfo.constData()), PQfinish);
        if (!connectAndListen(connection.get())) {
            if (!m_stop && !told)
                qWarning("ore-server: não foi possível ouvir o canal %s do banco (%s); as leituras procuram a sessão no banco até lá.",
                         m_channel.constData(), ErrorOf(connection.get()).constData());
            told = true;
            pause(pauseMs);
            pauseMs = std::min(pauseMs * 2, LongestPauseMs);
            continue;
        }
        told = false;
        pauseMs = FirstPauseMs;
        m_handlers.hearing(true);
        while (await(connection.get(), POLLIN)) {
            if (!PQconsumeInput(connection.get()) || PQstatus(connection.get()) != CONNECTION_OK)
                break;
            while (PGnotify* notification = PQnotifies(connection.get())) {
                m_handlers.heard(QString::fromUtf8(notification->extra));
                PQfreemem(notification);
            }
        }
        m_handlers.hearing(false);
        if (!m_stop)
            qWarning("ore-server: a conexão que ouve o canal %s caiu (%s); ela será refeita.", m_channel.constData(), ErrorOf(connection.get()).constData());
        pause(FirstPauseMs);
    }
}
