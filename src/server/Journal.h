#pragma once
// The journal of who did what: every change, login, logout, refused call and password check,
// appended in the transaction of the change it records (or in one of its own when nothing
// was changed). Nothing changes or deletes it; the store refuses it too.
//
// The entries form a chain: each holds a SHA-256 over its content, its place in the chain and
// the hash of the entry before it, and the table JORNALELO keeps, in one row, the count of
// entries, the last one's number and its hash. An entry is appended under that row's lock,
// held to the end of its transaction, so simultaneous appends (on any server of the store) are
// chained one after the other and never fork. Verify walks the chain: a rewritten entry, one
// deleted in the middle or at the end, one added by hand, or an emptied table breaks it.

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include <functional>
#include <optional>

struct TJournalEntry {
    QDateTime moment;
    QString operatorCode;
    QString branch;
    QString object;
    QString method;
    QString quoteBranch{}, quoteNumber{}, quoteSequence{};   // when the call names a quote
    QString outcome{};       // "ok", "fail", "exception", "refused", "wrong-password", "locked"
    QString message{};
    QString arguments{};     // in the wire encoding, passwords masked (a glimpse only, but for a change made)
    QString peer{};          // the caller's network address
};

namespace Journal {

// Appends an entry to the chain, in the caller's transaction, which then holds the link's row
// until it ends: append last, after every other lock the transaction takes, so that no two
// transactions wait for each other's locks through it.
void Append(QSqlDatabase& db, const TJournalEntry& entry);

// The arguments as the journal keeps them: their wire encoding, the arguments at `secret`
// masked.
QString Arguments(const QVariantList& arguments, const QList<int>& secret);
// A glimpse of them, for a call that changed nothing: a JSON array with short texts, numbers,
// booleans and nulls as they came, longer texts cut, and packets, lists and other values
// described ("um pacote de 3 linha(s)"); the arguments at `secret` masked, and only the first
// few arguments. However large the call, its glimpse is small.
QString Glimpse(const QVariantList& arguments, const QList<int>& secret);

// Entries in the order they were written, optionally of one quote number and from a day on.
void Read(QSqlDatabase& db, const QString& quoteNumber, const QDate& since, const std::function<void(const TJournalEntry&)>& each);

// One line of `ore-server journal`.
QString Line(const TJournalEntry& entry);

// What the walk of the chain found.
struct TVerification {
    qint64 verified = 0;           // entries whose link holds, from the first on
    std::optional<QString> broken; // what broke the chain, naming the first entry found broken
    QString lastHash;              // the last link's hash, when the chain holds
};
// Walks the whole chain (in a read transaction of its own, so that appends meanwhile do not
// count). Throws EHostError when the store cannot be read at all.
TVerification Verify(QSqlDatabase& db);

// The schema's migration that introduced the chain: links the entries already written, in
// their order, and writes the first state of JORNALELO. The journal's update trigger is set
// aside meanwhile, in the migration's transaction.
void ChainExisting(QSqlDatabase& db, bool sqlite);

} // namespace Journal
