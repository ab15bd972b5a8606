// SIGTERM and SIGINT stop ore-server from its event loop, whichever thread they land on: the
// handler must not allocate, since the thread it interrupts may be inside the allocator, whose
// lock it would then wait for forever.
//
// This executable replaces malloc, calloc and realloc with a pass-through that notes a call
// made while the calling thread plays a thread caught inside the allocator. It is not built
// with the sanitizers, which replace the allocator themselves.
#include "StopSignals.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <thread>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
}

namespace {
thread_local bool t_insideAllocator = false;
std::atomic<int> g_allocationsInside{0};

void Note()
{
    if (t_insideAllocator)
        ++g_allocationsInside;
}
} // namespace

extern "C" {
void* malloc(size_t size)
{
    Note();
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size)
{
    Note();
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size)
{
    Note();
    return __libc_realloc(pointer, size);
}
}

namespace {

// The allocations a signal's handler made on a worker thread caught inside the allocator.
int AllocationsOfSignalOnWorker(int signal)
{
    g_allocationsInside = 0;
    std::thread worker([signal] {
        t_insideAllocator = true;
        std::raise(signal);   // handled on this thread before raise returns
        t_insideAllocator = false;
    });
    worker.join();
    return g_allocationsInside;
}

bool ProcessEventsUntil(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(2000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// The detector sees what the server's former handler did: ask the event loop to quit by
// posting it an event, which allocates.
TEST(StopSignals, TheDetectorSeesAHandlerThatAllocates)
{
    std::signal(SIGUSR1, [](int) { QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::User)); });
    EXPECT_GT(AllocationsOfSignalOnWorker(SIGUSR1), 0);
    std::signal(SIGUSR1, SIG_DFL);
    QCoreApplication::removePostedEvents(QCoreApplication::instance(), QEvent::User);
}

TEST(StopSignals, ASignalOnAWorkerInsideTheAllocatorStopsFromTheEventLoop)
{
    std::atomic<int> stopped{0};
    {
        const TStopSignals stopSignals([&](int signal) {
            EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
            stopped = signal;
        });
        for (int signal : {SIGTERM, SIGINT}) {
            SCOPED_TRACE(signal);
            stopped = 0;
            EXPECT_EQ(AllocationsOfSignalOnWorker(signal), 0);
            EXPECT_TRUE(ProcessEventsUntil([&] { return stopped == signal; }));
        }
    }
    // Gone with the object: the default disposition is back.
    struct sigaction now {};
    sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

} // namespace
