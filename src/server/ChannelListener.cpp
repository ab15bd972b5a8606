#include "ChannelListener.h"

#include <QtGlobal>

#include <libpq-fe.h>

#include <poll.h>

#include <cerrno>
#include <memory>

namespace {

constexpr int PollMs = 200;           // how soon a stop is seen
constexpr int ReconnectPauseMs = 1000;

using TConnection = std::unique_ptr<PGconn, void (*)(PGconn*)>;

bool Listen(PGconn* connection, const QByteArray& channel)
{
    const std::unique_ptr<PGresult, void (*)(PGresult*)> result(PQexec(connection, ("LISTEN " + channel).constData()), PQclear);
    return PQresultStatus(result.get()) == PGRES_COMMAND_OK;
}

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

void TChannelListener::run()
{
    while (!m_stop) {
        const TConnection connection(PQconnectdb(m_connectionInfo.constData()), PQfinish);
        if (PQstatus(connection.get()) != CONNECTION_OK || !Listen(connection.get(), m_channel)) {
            pause(ReconnectPauseMs);
            continue;
        }
        PQsetNoticeProcessor(connection.get(), [](void*, const char*) {}, nullptr);   // a lost connection is told below
        m_handlers.hearing(true);
        while (!m_stop) {
            pollfd socket{PQsocket(connection.get()), POLLIN, 0};
            const int ready = ::poll(&socket, 1, PollMs);
            if (ready < 0 && errno != EINTR)
                break;
            if (ready <= 0)
                continue;
            if (!PQconsumeInput(connection.get()) || PQstatus(connection.get()) != CONNECTION_OK)
                break;
            while (PGnotify* notification = PQnotifies(connection.get())) {
                m_handlers.heard(QString::fromUtf8(notification->extra));
                PQfreemem(notification);
            }
        }
        m_handlers.hearing(false);
        if (!m_stop)
            qWarning("ore-server: a conexão que ouve o canal %s caiu (%s); ela será refeita.", m_channel.constData(),
                     QByteArray(PQerrorMessage(connection.get())).simplified().constData());
        pause(ReconnectPauseMs);
    }
}
