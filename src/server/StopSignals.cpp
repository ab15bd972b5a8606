#include "StopSignals.h"

#include "Errors.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The write end of the installed object's pipe. Read by the handler only.
volatile std::sig_atomic_t g_pipeWrite = -1;

// Async-signal-safe: one write(2), errno kept. A full pipe already holds a stop.
extern "C" void OnStopSignal(int signal)
{
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_pipeWrite, &byte, 1);
    errno = saved;
}

void Handle(int signal, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

} // namespace

TStopSignals::TStopSignals(std::function<void(int signal)> stop, QObject* parent) : QObject(parent), m_stop(std::move(stop))
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw EHostError(QStringLiteral("Os sinais de parada não puderam ser preparados: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { received(); });
    g_pipeWrite = m_pipe[1];
    Handle(SIGTERM, OnStopSignal);
    Handle(SIGINT, OnStopSignal);
}

TStopSignals::~TStopSignals()
{
    Handle(SIGTERM, SIG_DFL);
    Handle(SIGINT, SIG_DFL);
    g_pipeWrite = -1;
    // The pipe stays open for the life of the process: a handler still running on another
    // thread may write to it yet, and must never write to a descriptor reused meanwhile.
    m_notifier->setEnabled(false);
}

void TStopSignals::received()
{
    unsigned char byte = 0;
    int last = 0;
    while (::read(m_pipe[0], &byte, 1) == 1)
        last = byte;
    if (last != 0 && m_stop)
        m_stop(last);
}
