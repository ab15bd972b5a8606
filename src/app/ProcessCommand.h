#pragma once
// `ore-host process ...`: launches the module for one quote, in a window or headless.

#include <QStringList>

// Exit statuses of ore-host.
enum OreHostStatus {
    StatusOk = 0,          // the dialog was closed normally
    StatusError = 1,       // an error reached the host (server unreachable, entry refused, ...)
    StatusUsage = 2,       // the command line was wrong
    StatusUnscripted = 3,  // a script left an interaction unscripted, or steps unused
    StatusBlocked = 4,     // headless, an error was shown to the operator: the operation did not go through
};

// Runs the command; `arguments` are those after "process". A QApplication must exist.
int RunProcessCommand(const QStringList& arguments);

// Whether the arguments ask for a run without a person (so the application needs no display).
bool WantsHeadless(const QStringList& arguments);
