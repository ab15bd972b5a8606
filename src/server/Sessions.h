#pragma once
// Who is calling. A session is opened by a login and known by its token, of which the store
// keeps only a hash, so that every server on one store accepts every session and a copy of
// the store opens none. A session ends by logout or after an idle time.
//
// Password checks (login and the supervisor's confirmation) are counted in the store per network
// address and per operator. An address that fails is slowed (from its second failure it waits
// 1, 2, 4… seconds before its next check is judged) and, after a run of failures, locked for a
// while, even with the right password: a guesser locks himself out, not the operator. The
// operator's own lock applies when his run of failures comes from several addresses, as a
// guesser who changes address makes it. A manager may lift both (Sessions::Unlock).

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>

#include <optional>

// The limits a server applies to sessions and password checks.
struct TSessionPolicy {
    int idleMinutes = 8 * 60;           // a session unused this long has expired
    int lockoutAfter = 5;               // failed checks in a row that lock an operator
    int lockoutMinutes = 5;             // how long the lock lasts
};

struct TSessionInfo {
    QString tokenHash;
    QString operatorCode;
    QString branch;
    QString confirmedBy;                // the last supervisor or manager who confirmed his password
    QDateTime confirmedAt;
    bool stale = false;                 // its last use, as stored, is over a minute old
};

// The PostgreSQL channel on which the store tells of each session changed or ended, by its
// token's hash ("*" when the table was emptied): the schema's triggers notify it.
inline constexpr char SessionChannel[] = "ore_sessao";

// A session's row as the store keeps it.
struct TStoredSession {
    TSessionInfo session;
    QDateTime lastUse;
};

namespace Sessions {

// Opens a session and answers its token (256 random bits, as hex). Sessions idle past the
// policy's limit are removed on the way.
QString Open(QSqlDatabase& db, const QString& operatorCode, const QString& branch, const QDateTime& now, const TSessionPolicy& policy);

// What the store keeps of a token: a hash of it.
QString TokenHash(const QString& token);

// The row of a token's hash, and the session it holds when it has not been idle longer than
// the policy allows. Both only read: a stale session's last use is written by Touch, in a
// transaction that may write.
std::optional<TStoredSession> Lookup(QSqlDatabase& db, const QString& tokenHash);
std::optional<TSessionInfo> Alive(const TStoredSession& stored, const QDateTime& now, const TSessionPolicy& policy);
void Touch(QSqlDatabase& db, const TSessionInfo& session, const QDateTime& now);

void Close(QSqlDatabase& db, const TSessionInfo& session);

// A supervisor's or manager's password confirmed in this session: a word that no quote has
// used yet.
void RecordConfirmation(QSqlDatabase& db, const TSessionInfo& session, const QString& confirmedBy, const QDateTime& now);

// The approval in progress in a session, as its writes left it: the quote the supervisor's
// word went to, and the discount measured before the approval dropped any option.
struct TApprovalInProgress {
    QString confirmedBy;                 // who gave the word, and when
    QDateTime confirmedAt;
    QString confirmedFor;                // "branch/number/sequence", empty while the word is unused
    QString measuredQuote;
    std::optional<bool> measuredAbove;   // above the ceiling, for measuredQuote
};
// Read under the session row's lock: two changes of one session at once are judged one after
// the other, so one word cannot serve two quotes.
TApprovalInProgress ApprovalInProgress(QSqlDatabase& db, const TSessionInfo& session);
void BindConfirmation(QSqlDatabase& db, const TSessionInfo& session, const QString& quote);
void RecordDiscountMeasure(QSqlDatabase& db, const TSessionInfo& session, const QString& quote, bool above);
// The approval is recorded, or the processing that asked for the word has ended: the word and
// the measure go.
void EndApproval(QSqlDatabase& db, const TSessionInfo& session);

} // namespace Sessions

// The outcome of a password check.
enum class TPasswordVerdict { Right, Wrong, Locked };

// A check as judged: Locked also when the address must still wait; then `lockedUntil` is when
// it may try again and `lockedText` what the caller is told.
struct TPasswordCheck {
    TPasswordVerdict verdict = TPasswordVerdict::Wrong;
    QDateTime lockedUntil{};
    QString lockedText{};
};

// Addresses an operator's run of failures must come from before the operator himself is locked.
inline constexpr int kLockingAddresses = 3;

// Whether `password` is the operator's, by his stored hash; for an operator who does not exist
// a dummy's hash is computed all the same, so that the time tells nothing. It takes tens of
// milliseconds: run it outside any transaction.
bool PasswordMatches(QSqlDatabase& db, const QString& operatorCode, const QString& password);

// Whether checks from `peer` are refused for now (its lock, or its wait after recent failures),
// asked before the password's hash is computed, which a refused check does not deserve. Only
// reads; RecordPasswordCheck judges again under the rows' locks.
std::optional<TPasswordCheck> PeerRefusal(QSqlDatabase& db, const QString& peer, const QDateTime& now, const TSessionPolicy& policy);

// Records a check from `peer` whose password was `right`, counting failures and honouring the
// locks: a locked address or operator is Locked even with the right password. An operator who
// does not exist is counted alike.
TPasswordCheck RecordPasswordCheck(QSqlDatabase& db, const QString& operatorCode, const QString& peer, bool right, const QDateTime& now,
                                   const TSessionPolicy& policy);

namespace Sessions {
// A manager's unlock: the operator's run of failures is forgotten with his lock, and so are the
// locks of the addresses it came from. False when the operator has nothing to lift.
bool Unlock(QSqlDatabase& db, const QString& operatorCode);
} // namespace Sessions

// The operator's text for his lock.
QString LockedText(const QString& operatorCode, const QDateTime& until, const QDateTime& now);

// "YYYY-MM-DDThh:mm:ss.zzzZ", in UTC: how sessions, locks and the journal keep moments, so that
// servers of one store in different time zones agree on them.
QString PreciseStamp(const QDateTime& moment);
// A moment as PreciseStamp keeps it, in this server's local time (for its messages and packets);
// a store's older moments, without the "Z", were their writer's local time.
QDateTime ParseStamp(const QString& stamp);
