#pragma once
// Calls refused before any session vouched for them (no token, an unknown or expired one, a
// body too large for a caller without a session), counted per caller's network address and
// minute. The journal gets one entry per address and minute, with what was called, why it was
// refused and how many times, and never the calls' arguments or headers: a client that floods
// the server with refused calls costs the journal a line a minute.

#include "Journal.h"

#include <QDateTime>
#include <QMutex>
#include <QString>

#include <atomic>
#include <map>
#include <vector>

class TRefusalTally {
public:
    // Counts one refusal of `object`.`method` (the method may be unknown yet: empty) from `peer`.
    void Count(const QString& peer, const QString& object, const QString& method, const QString& reason, const QDateTime& now);

    // The entries of the minutes over by `now` (every minute counted, when `all`), taken out of
    // the tally: one per address and minute. Cheap when none is over.
    std::vector<TJournalEntry> Take(const QDateTime& now, bool all = false);

    // The most distinct calls and reasons an entry names; the rest are counted together.
    static constexpr int kNamed = 5;
    // The most addresses counted at once; refusals from further ones are counted together,
    // under kOtherPeers, until the tally is taken.
    static constexpr int kPeers = 10000;
    static const QString kOtherPeers;

private:
    struct TMinute {
        int total = 0;
        std::vector<std::pair<QString, int>> named;   // "object.method: reason" and its count, in order of appearance
        int others = 0;                                // refusals of calls beyond kNamed
    };
    QMutex m_mutex;
    std::map<std::pair<qint64, QString>, TMinute> m_minutes;   // by the minute's start (ms since the epoch) and address
    std::atomic<qint64> m_firstEnd{0};   // ms since the epoch when the earliest minute counted ends; 0: none
};
