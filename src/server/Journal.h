#pragma once
// The journal of who did what: every change, login, logout, refused call and password check,
// appended in the transaction of the change it records (or in one of its own when nothing
// was changed). Nothing changes or deletes it; the store refuses it too.

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include <functional>

struct TJournalEntry {
    QDateTime moment;
    QString operatorCode;
    QString branch;
    QString object;
    QString method;
    QString quoteBranch{}, quoteNumber{}, quoteSequence{};   // when the call names a quote
    QString outcome{};       // "ok", "fail", "exception", "refused", "wrong-password", "locked"
    QString message{};
    QString arguments{};     // in the wire encoding, passwords masked
};

namespace Journal {

void Append(QSqlDatabase& db, const TJournalEntry& entry);

// The arguments as the journal keeps them: their wire encoding, the arguments at `secret`
// masked.
QString Arguments(const QVariantList& arguments, const QList<int>& secret);

// Entries in the order they were written, optionally of one quote number and from a day on.
void Read(QSqlDatabase& db, const QString& quoteNumber, const QDate& since, const std::function<void(const TJournalEntry&)>& each);

// One line of `ore-server journal`.
QString Line(const TJournalEntry& entry);

} // namespace Journal
