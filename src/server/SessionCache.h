#pragma once
// The sessions a server has lately found in the store, so that a call that only reads need
// not look its session up there again. A session's row changes rarely (a supervisor's word,
// its last use once a minute) and ends by logout or expiry, and the store tells every server
// of each such change (see TChannelListener): the change forgets the session here, and the
// next read looks it up again.
//
// The cache serves only while it hears the store. When hearing stops (the listening
// connection is lost), it forgets everything and serves nothing until hearing resumes, since
// changes may be missed meanwhile. An entry is trusted for a short while at most, so that a
// connection lost without a word still bounds how long a change elsewhere goes unseen.
//
// Calls that change the store never use it: they read their session in their own transaction.

#include "Sessions.h"

#include <QHash>
#include <QMutex>

#include <chrono>
#include <optional>

class TSessionCache {
public:
    static constexpr std::chrono::seconds Trust{30};

    // The changes heard so far, counted: a lookup remembers what it read only if none was heard
    // meanwhile, since the change might be the one its row missed.
    quint64 Heard() const;
    bool Hearing() const;
    void SetHearing(bool hearing);
    // The session of a token's hash changed or ended somewhere; "*": every session did.
    void Changed(const QString& tokenHash);
    // A lookup found the session gone or changed: what was kept of it is forgotten.
    void Forget(const QString& tokenHash);

    std::optional<TStoredSession> Find(const QString& tokenHash) const;
    // Keeps what a lookup read, when nothing was heard since `heardBefore`.
    void Remember(const TStoredSession& stored, quint64 heardBefore);

private:
    struct TEntry {
        TStoredSession stored;
        std::chrono::steady_clock::time_point until;
    };
    static constexpr qsizetype MaxEntries = 10000;

    mutable QMutex m_mutex;
    bool m_hearing = false;
    quint64 m_heard = 0;
    QHash<QString, TEntry> m_entries;
};
