#pragma once
// A PostgreSQL connection's statements through libpq's extended protocol: every value travels
// apart from the SQL, as text the database reads as the type it infers for its place (a list of
// texts as an array), and each statement is prepared once, under a name of its own, and kept
// for the calls that follow. At most KeptStatements (Store.h) are kept per connection: the one
// used longest ago is let go (DEALLOCATE) when another comes. The rows come back whole, as libpq's
// text, converted by each column's type; a packet's cells are read straight from that text.

#include "DataPacket.h"

#include <QByteArray>
#include <QHash>
#include <QSqlRecord>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include <atomic>
#include <list>
#include <memory>

struct pg_conn;
struct pg_result;

// The rows one statement answered, all in memory; the statement may run again meanwhile.
class TPgResult {
public:
    explicit TPgResult(pg_result* result);
    ~TPgResult();
    TPgResult(const TPgResult&) = delete;
    TPgResult& operator=(const TPgResult&) = delete;

    int rowCount() const;
    int columnCount() const;
    QString columnName(int column) const;
    bool isNull(int row, int column) const;
    // The value as the column's type makes it: integers, floats (numeric too), booleans, dates
    // and times, bytes; text otherwise. A null is a null QVariant of that type.
    QVariant value(int row, int column) const;
    // The rows an INSERT, UPDATE or DELETE changed.
    int rowsAffected() const;
    // The columns' names and types.
    QSqlRecord record() const;
    // The rows laid out as `fields`, column by name in any case; a column the result lacks is null.
    TDataPacket packet(const QList<TPacketField>& fields) const;

private:
    pg_result* m_result;
};

class TPgStatements {
public:
    // `connection` stays its owner's; the statements kept on it go with it.
    explicit TPgStatements(pg_conn* connection) : m_connection(connection) {}
    TPgStatements(const TPgStatements&) = delete;
    TPgStatements& operator=(const TPgStatements&) = delete;

    // `sql` with positional parameters ("?"), prepared on first use. EStoreError with the
    // database's text; EStoreUnavailable when the connection is lost (broken() from then on).
    std::shared_ptr<TPgResult> run(const QString& sql, const QVariantList& params);
    // `sql` as it is, one or more statements without values (a transaction's, the schema's).
    std::shared_ptr<TPgResult> exec(const QString& sql);

    // The connection is lost, or the database ended it: it serves nothing more.
    bool broken() const;
    // The statements kept now; read by other threads too.
    int keptCount() const { return m_count; }

private:
    struct Statement {
        QString sql;
        QByteArray name;
    };
    const QByteArray& prepared(const QString& sql);
    std::shared_ptr<TPgResult> checked(pg_result* result, const QString& sql);

    pg_conn* m_connection;
    std::list<Statement> m_recent;   // the most recently used first
    QHash<QString, std::list<Statement>::iterator> m_byText;
    quint64 m_serial = 0;
    std::atomic<int> m_count{0};
    bool m_lost = false;
};

// `sql` with its "?" marks numbered as PostgreSQL takes them ($1, $2, ...); marks inside quoted
// texts, quoted names, dollar-quoted bodies and comments stay.
QByteArray NumberedParameters(const QString& sql);
