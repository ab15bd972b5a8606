#pragma once
// ore-host's other commands.

#include <QStringList>

// What ore-host prints for `ore-host help`: its commands, options and exit statuses.
QString OreHostUsage();

// ore-host [list] [--server URL] [--operator O] [--branch B] [--db URL]: the login, then the
// branch's quotes. With ORE_PASSWORD set in the environment the login is made at once.
int RunListCommand(const QStringList& arguments);

// ore-host quotes --server URL --branch B: the branch's quotes and their situations, as text.
int RunQuotesCommand(const QStringList& arguments);

// ore-host check --branch B --quote N --seq S --operator OP [--server URL]: the quote's
// readiness report; exit status 0 when nothing blocks its next action, 4 when something does.
int RunCheckCommand(const QStringList& arguments);

// ore-host transcript FILE: a transcript as readable lines.
int RunTranscriptCommand(const QStringList& arguments);

// ore-host screenshots --server URL --out DIR: the quote list, its "Pendências" panel and the
// processing dialog as PNG.
int RunScreenshotsCommand(const QStringList& arguments);
