#pragma once
// SIGTERM and SIGINT, received safely: the handler only writes the signal's number into a pipe,
// whichever thread the signal lands on (a worker inside the allocator included), and the
// thread that owns the object reads it from its event loop and calls `stop` there.

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

class TStopSignals : public QObject {
public:
    // Installs the handler for SIGTERM and SIGINT; one object at a time. EHostError when the
    // pipe cannot be made.
    explicit TStopSignals(std::function<void(int signal)> stop, QObject* parent = nullptr);
    // Restores the default disposition of both signals (the pipe itself stays open).
    ~TStopSignals() override;

private:
    void received();

    std::function<void(int)> m_stop;
    int m_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
};
