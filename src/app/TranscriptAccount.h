#pragma once
// A transcript (JSON lines, docs/scripting.md) told as an account of the operation, one
// sentence per event: the windows opened with the actions they offered, what the operator
// did in them, the messages with their answers, the lists, choices and passwords, the
// screens, the remote calls with their outcome, and how the run ended.

#include <QJsonObject>
#include <QList>
#include <QStringList>

// `brief` leaves out the remote calls: what the operator saw and answered, and the end.
QStringList TranscriptAccount(const QList<QJsonObject>& lines, bool brief);
