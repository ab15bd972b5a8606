#include "Store.h"

#include "ClientDataSet.h"
#include "Errors.h"
#include "PgStatements.h"
#include "RecentTexts.h"
#include "StoredDates.h"
#include "Variants.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlDriver>
#include <QSqlRecord>
#include <QThread>
#include <QUrl>
#include <QUuid>

#include <atomic>
#include <cstring>
#include <list>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace {

std::atomic<quint64> stores{0};

// SQLite counts the memory it allocates under one mutex of the whole process, taken at every
// allocation; with several workers reading at once they queue for it. The counts are never
// read here. It can only be turned off before SQLite's first use in the process, so the first
// store does it; later calls change nothing.
void NoSqliteMemoryStatistics()
{
    static const int once = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    Q_UNUSED(once);
}

} // namespace

TStore::TStore(const QString& url) : m_url(url), m_id(++stores)
{
    if (url.startsWith(QLatin1String("sqlite:"))) {
        m_dialect = SQLite;
        NoSqliteMemoryStatistics();
        m_file = url.mid(7);
        if (m_file.isEmpty())
            throw EHostError(QStringLiteral("--db sqlite:ARQUIVO precisa do arquivo."));
    } else if (url.startsWith(QLatin1String("postgresql://")) || url.startsWith(QLatin1String("postgres://"))) {
        m_dialect = PostgreSQL;
        const QUrl u(url);
        m_host = u.host();
        m_port = u.port(5432);
        m_user = u.userName();
        m_password = u.password();
        m_database = u.path().mid(1);
        if (m_host.isEmpty() || m_database.isEmpty())
            throw EHostError(QStringLiteral("--db postgresql://usuario@host:porta/banco: falta o host ou o banco."));
    } else {
        throw EHostError(QStringLiteral("--db deve ser sqlite:ARQUIVO ou postgresql://usuario@host:porta/banco (recebido \"%1\").").arg(url));
    }
}

QString ForUpdate(const QSqlDatabase& db)
{
    return db.driverName() == QLatin1String("QPSQL") ? QStringLiteral(" FOR UPDATE") : QString();
}

QString TStore::displayUrl() const
{
    if (m_password.isEmpty())
        return m_url;
    QUrl shown(m_url);
    shown.setPassword(QStringLiteral("****"));
    return shown.toString();
}

QByteArray TStore::connectionInfo() const
{
    // Values quoted, with their quotes and backslashes escaped. A lost peer is noticed within
    // half a minute even when the network says nothing.
    const auto quoted = [](const QString& value) {
        QString v = value;
        v.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('\''), QStringLiteral("\\'"));
        return QLatin1Char('\'') + v + QLatin1Char('\'');
    };
    QString info = QStringLiteral("host=%1 port=%2 dbname=%3 connect_timeout=10 keepalives=1 keepalives_idle=10 keepalives_interval=5 keepalives_count=3")
                       .arg(quoted(m_host), QString::number(m_port), quoted(m_database));
    if (!m_user.isEmpty())
        info += QStringLiteral(" user=") + quoted(m_user);
    if (!m_password.isEmpty())
        info += QStringLiteral(" password=") + quoted(m_password);
    return info.toUtf8();
}

namespace {

// Statements kept by their SQL, at most KeptStatements: when another comes, the one used
// longest ago is let go (`release`).
template <class Statement>
class TKept {
public:
    explicit TKept(std::function<void(Statement&)> release = {}) : m_release(std::move(release)) {}
    TKept(const TKept&) = delete;
    TKept& operator=(const TKept&) = delete;
    ~TKept()
    {
        if (m_release)
            for (auto& [sql, statement] : m_recent)
                m_release(statement);
    }

    // The statement of `sql`, now the most recently used; null when none is kept.
    Statement* find(const QString& sql)
    {
        const auto found = m_bySql.find(sql);
        if (found == m_bySql.end())
            return nullptr;
        m_recent.splice(m_recent.begin(), m_recent, *found);
        return &(*found)->second;
    }

    Statement& add(const QString& sql, Statement statement)
    {
        m_recent.emplace_front(sql, std::move(statement));
        m_bySql.insert(sql, m_recent.begin());
        if (m_bySql.size() > KeptStatements) {
            auto& [oldest, released] = m_recent.back();
            m_bySql.remove(oldest);
            if (m_release)
                m_release(released);
            m_recent.pop_back();
        }
        m_count = int(m_bySql.size());
        return m_recent.front().second;
    }

    // Read by other threads (TStore::mostKeptStatements).
    int count() const { return m_count; }

private:
    std::list<std::pair<QString, Statement>> m_recent;   // the most recently used first
    QHash<QString, typename std::list<std::pair<QString, Statement>>::iterator> m_bySql;
    std::function<void(Statement&)> m_release;
    std::atomic<int> m_count{0};
};

// The statements prepared on one SQLite connection through Qt SQL; a statement is shared with
// the rows being read from it.
using TPreparedSet = TKept<std::shared_ptr<QSqlQuery>>;

// Where a PostgreSQL connection stands between transactions (see TStore::settle).
enum class TOpenRead {
    None,       // no transaction open
    Finished,   // a read transaction whose work is done, not yet committed
    Begun,      // a read-only transaction begun ahead, before its first statement
};

// SELECTs prepared through SQLite's own interface, by their SQL, and finalized when they are
// let go or with the state, before their connection closes. Select reads a statement's rows to
// the end before it returns, so a statement is never in use twice at once, nor when let go.
class TSqliteStatements {
public:
    // The statement of `sql`, prepared on first use.
    sqlite3_stmt* get(sqlite3* handle, const QString& sql)
    {
        if (sqlite3_stmt** kept = m_statements.find(sql))
            return *kept;
        const QByteArray text = sql.toUtf8();
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v3(handle, text.constData(), int(text.size()), SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) {
            const QString error = QString::fromUtf8(sqlite3_errmsg(handle));
            sqlite3_finalize(statement);
            throw EStoreError(QStringLiteral("SQL inválido (%1): %2").arg(error, sql.simplified()));
        }
        return m_statements.add(sql, statement);
    }
    int count() const { return m_statements.count(); }

private:
    TKept<sqlite3_stmt*> m_statements{[](sqlite3_stmt*& statement) { sqlite3_finalize(statement); }};
};

// What the store keeps on one connection; it hangs on the connection's driver and goes with
// the connection.
struct TConnectionState {
    TPreparedSet prepared;       // SQLite: Run's statements
    TSqliteStatements selects;   // SQLite: Select's statements
    std::unique_ptr<TPgStatements> pg;   // PostgreSQL: every statement
    // PostgreSQL: no statement of the transaction in course has reached the database yet
    bool untouched = false;
    TOpenRead openRead = TOpenRead::None;
    bool settled = false;   // its thread calls settle after each call
    bool queryOnly = false; // SQLite: the connection refuses writes (PRAGMA query_only)
};
const char* const StateProperty = "ore.state";

const QString BeginRead = QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");

} // namespace

Q_DECLARE_METATYPE(TConnectionState*)

namespace {

TConnectionState& StateOf(const QSqlDatabase& db) { return *db.driver()->property(StateProperty).value<TConnectionState*>(); }

// The name of the calling thread's connection to store `id`; empty before its first.
QString& ThreadConnectionName(quint64 id)
{
    thread_local QHash<quint64, QString> names;
    return names[id];
}

// A connection that the database ended or whose link is gone: it serves nothing more.
bool Lost(const QSqlDatabase& db)
{
    if (!db.isOpen())
        return true;
    const TConnectionState& state = StateOf(db);
    return state.pg && state.pg->broken();
}

// Runs a statement whose failure changes nothing for the caller (a ROLLBACK after a failure).
void Quietly(QSqlDatabase& db, const QString& sql)
{
    try {
        Run(db, sql);
    } catch (const EHostError&) {
        // the connection is lost, or has nothing to undo
    }
}

} // namespace

TStore::~TStore()
{
    // The statements go before their connections, and the connections with the store. No
    // thread uses them any more.
    for (auto& [name, statements] : m_connections) {
        statements.reset();
        QSqlDatabase::removeDatabase(name);
    }
}

QSqlDatabase TStore::connection()
{
    QSqlDatabase db = threadConnection();
    TConnectionState& state = StateOf(db);
    if (state.queryOnly) {
        Run(db, QStringLiteral("PRAGMA query_only = 0"));
        state.queryOnly = false;
    }
    return db;
}

QSqlDatabase TStore::threadConnection()
{
    // One connection per thread and store, under a name never used again.
    static std::atomic<quint64> serial{0};
    QString& name = ThreadConnectionName(m_id);
    if (name.isEmpty())
        name = QStringLiteral("ore-%1-%2").arg(m_id).arg(serial++);
    if (QSqlDatabase::contains(name)) {
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            if (!Lost(db))
                return db;
        }
        qWarning("ore-server: a conexão %s com o banco caiu; outra é aberta em seu lugar.", qPrintable(name));
        forget(name);
        name = QStringLiteral("ore-%1-%2").arg(m_id).arg(serial++);   // the new one under a new name
    }
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(m_dialect == SQLite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"), name);
        if (m_dialect == SQLite) {
            db.setDatabaseName(m_file);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        } else {
            db.setHostName(m_host);
            db.setPort(m_port);
            db.setUserName(m_user);
            db.setPassword(m_password);
            db.setDatabaseName(m_database);
            // As the listening channel's: an unreachable database fails the open within 10 s,
            // and a lost peer is noticed within half a minute even when the network says nothing.
            db.setConnectOptions(QStringLiteral("connect_timeout=10;keepalives=1;keepalives_idle=10;keepalives_interval=5;keepalives_count=3"));
        }
        if (db.open()) {
            try {
                prepare(db, name);
                return db;
            } catch (const EStoreError& e) {
                db.close();
                error = e.message();
            }
        } else {
            error = db.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(name);   // a failed open leaves nothing behind
    throw EStoreUnavailable(QStringLiteral("O banco %1 não pôde ser aberto: %2").arg(m_dialect == SQLite ? m_file : m_database, error));
}

void TStore::prepare(QSqlDatabase& db, const QString& name)
{
    // The connection's settings first; the connection is recorded only once they all hold.
    auto statements = std::make_shared<TConnectionState>();
    if (m_dialect == PostgreSQL) {
        const QVariant handle = db.driver()->handle();
        // Qt names the type by its struct, or by libpq's typedef
        if (!handle.isValid() || (qstrcmp(handle.typeName(), "pg_conn*") != 0 && qstrcmp(handle.typeName(), "PGconn*") != 0))
            throw EStoreError(QStringLiteral("o driver de PostgreSQL do Qt não dá acesso à sua conexão (%1)").arg(QString::fromLatin1(handle.typeName())));
        statements->pg = std::make_unique<TPgStatements>(*static_cast<PGconn* const*>(handle.constData()));
    }
    db.driver()->setProperty(StateProperty, QVariant::fromValue(statements.get()));
    if (m_dialect == SQLite) {
        Run(db, QStringLiteral("PRAGMA journal_mode=WAL"));
        Run(db, QStringLiteral("PRAGMA foreign_keys=ON"));
    } else {
        Run(db, QStringLiteral("SET lock_timeout = '10s'"));   // a writer waits for a row, within a limit
        // A statement that runs too long is cancelled by the database, its transaction undone.
        Run(db, QStringLiteral("SET statement_timeout = '%1s'").arg(m_statementTimeoutSeconds));
        // A read-only transaction begun ahead waits on the connection between calls (settle).
        Run(db, QStringLiteral("SET idle_in_transaction_session_timeout = 0"));
    }
    QMutexLocker lock(&m_mutex);
    m_connections.emplace_back(name, std::move(statements));
}

void TStore::forget(const QString& name)
{
    {
        QMutexLocker lock(&m_mutex);
        std::erase_if(m_connections, [&](const auto& connection) { return connection.first == name; });
    }
    QSqlDatabase::removeDatabase(name);
}

int TStore::connectionCount()
{
    QMutexLocker lock(&m_mutex);
    return int(m_connections.size());
}

int TStore::mostKeptStatements()
{
    QMutexLocker lock(&m_mutex);
    int most = 0;
    for (const auto& [name, kept] : m_connections) {
        const auto* state = static_cast<const TConnectionState*>(kept.get());
        most = std::max({most, state->prepared.count(), state->selects.count(), state->pg ? state->pg->keptCount() : 0});
    }
    return most;
}

void TStore::transaction(const std::function<void(QSqlDatabase&)>& work) { run(true, work); }
void TStore::readTransaction(const std::function<void(QSqlDatabase&)>& work) { run(false, work); }

void TStore::run(bool write, const std::function<void(QSqlDatabase&)>& work)
{
    for (int attempt = 1;; ++attempt) {
        QSqlDatabase db = threadConnection();   // let go before the next attempt opens another
        try {
            runOnce(db, write, work);
            return;
        } catch (const EStoreUnavailable& e) {
            // Lost before the database saw anything of the transaction (a connection idle
            // through a restart finds out only now): once more, on a new connection.
            if (attempt > 1 || !StateOf(db).untouched)
                throw;
            qWarning("ore-server: %s; a transação é refeita numa nova conexão.", qPrintable(e.message()));
        }
    }
}

void TStore::runOnce(QSqlDatabase& db, bool write, const std::function<void(QSqlDatabase&)>& work)
{
    TConnectionState& state = StateOf(db);
    state.untouched = true;
    if (m_dialect == SQLite) {
        // A read's connection refuses writes, as PostgreSQL's READ ONLY does: a write that a
        // read attempts fails loudly instead of being kept.
        if (state.queryOnly == write) {
            Run(db, write ? QStringLiteral("PRAGMA query_only = 0") : QStringLiteral("PRAGMA query_only = 1"));
            state.queryOnly = !write;
        }
        Run(db, write ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
    } else {
        beginOnPostgreSQL(db, write);
        state.untouched = true;   // a BEGIN alone is nothing of the transaction's work
    }
    try {
        work(db);
    } catch (...) {
        state.openRead = TOpenRead::None;
        Quietly(db, QStringLiteral("ROLLBACK"));
        throw;
    }
    state.untouched = false;
    if (m_dialect == PostgreSQL && !write && state.settled) {
        state.openRead = TOpenRead::Finished;   // committed by settle, or by the next transaction
        return;
    }
    Run(db, QStringLiteral("COMMIT"));
}

// One round trip in every case: what a connection left open is ended in the same message
// that begins the new transaction. A transaction begun ahead has taken no snapshot yet (it
// takes one at its first statement), so a read in it sees the store as it is now.
void TStore::beginOnPostgreSQL(QSqlDatabase& db, bool write)
{
    TOpenRead& open = StateOf(db).openRead;
    const TOpenRead was = open;
    open = TOpenRead::None;
    if (!write && was == TOpenRead::Begun)
        return;
    const QString begin = write ? QStringLiteral("BEGIN") : BeginRead;
    Run(db, was == TOpenRead::None ? begin : QStringLiteral("COMMIT; ") + begin);
}

void TStore::settle()
{
    if (m_dialect != PostgreSQL)
        return;
    // Only an open connection has anything to settle; one that is lost is replaced by the
    // thread's next call.
    const QString& name = ThreadConnectionName(m_id);
    if (name.isEmpty() || !QSqlDatabase::contains(name))
        return;
    try {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (Lost(db))
            return;
        TConnectionState& state = StateOf(db);
        state.settled = true;
        TOpenRead& open = state.openRead;
        if (open != TOpenRead::Finished)
            return;
        open = TOpenRead::None;
        try {
            Run(db, QStringLiteral("COMMIT; ") + BeginRead);
            open = TOpenRead::Begun;
        } catch (const EHostError& e) {
            // The reads were answered already; the connection starts afresh with the next call.
            Quietly(db, QStringLiteral("ROLLBACK"));
            qWarning("ore-server: uma transação de leitura não pôde ser encerrada: %s", qPrintable(e.message()));
        }
    } catch (const std::exception& e) {
        qWarning("ore-server: uma transação de leitura não pôde ser encerrada: %s", e.what());
    }
}

namespace {

QSqlQuery Prepare(QSqlDatabase& db, const QString& sql)
{
    // Not forward-only: a method may run other statements while it reads the rows, which a
    // forward-only result of PostgreSQL's driver would lose.
    QSqlQuery q(db);
    if (!q.prepare(sql))
        throw EStoreError(QStringLiteral("SQL inválido (%1): %2").arg(q.lastError().text(), sql.simplified()));
    return q;
}

// A value as SQLite takes it: a list of texts as a JSON array (InList).
QVariant SqliteValue(const QVariant& value)
{
    if (VarIsClear(value))
        return {};
    if (value.metaType().id() == QMetaType::QStringList || value.metaType().id() == QMetaType::QVariantList)
        return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(value.toStringList())).toJson(QJsonDocument::Compact));
    return value;
}

} // namespace

QString InList(const QSqlDatabase& db)
{
    return db.driverName() == QLatin1String("QPSQL") ? QStringLiteral(" = ANY(?)") : QStringLiteral(" IN (SELECT value FROM json_each(?))");
}

QString NotInList(const QSqlDatabase& db)
{
    return db.driverName() == QLatin1String("QPSQL") ? QStringLiteral(" <> ALL(?)") : QStringLiteral(" NOT IN (SELECT value FROM json_each(?))");
}

TRows Run(QSqlDatabase& db, const QString& sql, const QVariantList& params)
{
    TConnectionState& state = StateOf(db);
    if (state.pg) {
        TRows rows(params.isEmpty() ? state.pg->exec(sql) : state.pg->run(sql, params));
        state.untouched = false;
        return rows;
    }
    if (params.isEmpty()) {
        // Statements without values (the schema's, a transaction's) run as they are: some
        // databases prepare only queries and data changes.
        QSqlQuery q(db);
        if (!q.exec(sql))
            throw EStoreError(QStringLiteral("Erro do banco: %1 (%2)").arg(q.lastError().text(), sql.simplified().left(200)));
        return TRows(std::make_shared<QSqlQuery>(std::move(q)), false);
    }
    std::shared_ptr<QSqlQuery>* found = state.prepared.find(sql);
    std::shared_ptr<QSqlQuery>& kept = found ? *found : state.prepared.add(sql, std::make_shared<QSqlQuery>(Prepare(db, sql)));
    std::shared_ptr<QSqlQuery> q;
    if (kept.use_count() == 1)
        q = kept;   // nobody reads its rows now
    else
        q = std::make_shared<QSqlQuery>(Prepare(db, sql));   // the same statement while its rows are still read: a second one
    for (int i = 0; i < params.size(); ++i)
        q->bindValue(i, SqliteValue(params[i]));
    if (!q->exec())
        throw EStoreError(QStringLiteral("Erro do banco: %1 (%2)").arg(q->lastError().text(), sql.simplified().left(200)));
    const bool isKept = q == kept;
    return TRows(std::move(q), isKept);
}

TRows::~TRows()
{
    // The last reader lets the kept statement go back to rest (SQLite keeps no read open).
    if (m_kept && m_query.use_count() == 2)
        m_query->finish();
}

bool TRows::next()
{
    if (!m_result)
        return m_query->next();
    if (m_row < m_result->rowCount())
        ++m_row;
    return m_row < m_result->rowCount();
}

QVariant TRows::value(int column) const { return m_result ? m_result->value(m_row, column) : m_query->value(column); }

QVariant TRows::value(const QString& name) const
{
    if (!m_result)
        return m_query->value(name);
    for (int c = 0; c < m_result->columnCount(); ++c)
        if (m_result->columnName(c).compare(name, Qt::CaseInsensitive) == 0)
            return m_result->value(m_row, c);
    return {};
}

bool TRows::isNull(int column) const
{
    if (!m_result)
        return m_query->isNull(column);
    return column < 0 || column >= m_result->columnCount() || m_row < 0 || m_row >= m_result->rowCount() || m_result->isNull(m_row, column);
}

QSqlRecord TRows::record() const { return m_result ? m_result->record() : m_query->record(); }
int TRows::numRowsAffected() const { return m_result ? m_result->rowsAffected() : m_query->numRowsAffected(); }

QVariant Scalar(QSqlDatabase& db, const QString& sql, const QVariantList& params)
{
    TRows q = Run(db, sql, params);
    return q.next() ? q.value(0) : QVariant();
}

QList<TPacketField> Layout(const char* layout)
{
    static QHash<QByteArray, QList<TPacketField>> cache;   // layouts are constants of the methods
    static QMutex mutex;
    QMutexLocker lock(&mutex);
    if (auto it = cache.find(layout); it != cache.end())
        return *it;
    QList<TPacketField> fields;
    for (const QString& item : QString::fromLatin1(layout).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList parts = item.simplified().split(QLatin1Char(' '));
        const QString name = parts.value(0);
        QString type = parts.value(1);
        TPacketField f{name, TFieldType::String, 0};
        const qsizetype digits = type.indexOf(QRegularExpression(QStringLiteral("[0-9]")));
        if (digits > 0) {
            f.size = type.mid(digits).toInt();
            type = type.left(digits);
        }
        if (type == QLatin1String("s")) f.type = TFieldType::String;
        else if (type == QLatin1String("fs")) f.type = TFieldType::FixedString;
        else if (type == QLatin1String("i")) f.type = TFieldType::Integer;
        else if (type == QLatin1String("f")) f.type = TFieldType::Float;
        else if (type == QLatin1String("b")) f.type = TFieldType::Boolean;
        else if (type == QLatin1String("d")) f.type = TFieldType::Date;
        else if (type == QLatin1String("t")) f.type = TFieldType::DateTime;
        else if (type == QLatin1String("x")) f.type = TFieldType::Blob;
        else throw EHostError(QStringLiteral("Layout inválido: %1").arg(item));
        fields << f;
    }
    cache.insert(layout, fields);
    return fields;
}

namespace {

// The column of each field in a statement's result, by name in any case; -1 when absent.
template <class NameOf>
std::vector<int> ColumnsOf(const QList<TPacketField>& fields, int count, NameOf nameOf)
{
    std::vector<int> columns;
    for (const auto& f : fields) {
        int found = -1;
        for (int c = 0; c < count && found < 0; ++c)
            if (f.name.compare(nameOf(c), Qt::CaseInsensitive) == 0)
                found = c;
        columns.push_back(found);
    }
    return columns;
}

sqlite3* SqliteHandle(const QSqlDatabase& db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

// The SELECT through SQLite's own interface: each value goes from the statement into its
// cell; only an unusual pairing of stored kind and field type takes the dataset's conversion.
TDataPacket SelectSqlite(sqlite3* handle, TSqliteStatements& statements, const QList<TPacketField>& fields, const QString& sql,
                         const QVariantList& params)
{
    sqlite3_stmt* const raw = statements.get(handle, sql);
    // Back to rest after the rows, or an error: reset, it holds no read and no values.
    const auto rest = qScopeGuard([raw] {
        sqlite3_reset(raw);
        sqlite3_clear_bindings(raw);
    });
    for (int i = 0; i < params.size(); ++i) {
        const QVariant p = SqliteValue(params[i]);
        const int at = i + 1;
        if (VarIsClear(p)) {
            sqlite3_bind_null(raw, at);
            continue;
        }
        switch (p.metaType().id()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::Bool: sqlite3_bind_int64(raw, at, p.toLongLong()); break;
        case QMetaType::Double: sqlite3_bind_double(raw, at, p.toDouble()); break;
        default: {
            const QByteArray value = p.toString().toUtf8();
            sqlite3_bind_text(raw, at, value.constData(), int(value.size()), SQLITE_TRANSIENT);
        }
        }
    }
    const std::vector<int> columns = ColumnsOf(fields, sqlite3_column_count(raw), [&](int c) { return QString::fromUtf8(sqlite3_column_name(raw, c)); });
    std::vector<TRecentTexts> recent(size_t(fields.size()));
    std::vector<CellRow> rows;
    for (;;) {
        const int step = sqlite3_step(raw);
        if (step == SQLITE_DONE)
            break;
        if (step != SQLITE_ROW)
            throw EStoreError(QStringLiteral("Erro do banco: %1").arg(QString::fromUtf8(sqlite3_errmsg(handle))));
        CellRow row(size_t(fields.size()));
        for (int i = 0; i < fields.size(); ++i) {
            const int c = columns[size_t(i)];
            const int kind = c >= 0 ? sqlite3_column_type(raw, c) : SQLITE_NULL;
            if (kind == SQLITE_NULL)
                continue;
            const TPacketField& field = fields[i];
            const auto utf8 = [&] { return reinterpret_cast<const char*>(sqlite3_column_text(raw, c)); };
            Cell& cell = row[size_t(i)];
            switch (field.type) {
            case TFieldType::String:
            case TFieldType::FixedString:
                if (kind == SQLITE_TEXT) {
                    cell = FitText(recent[size_t(i)].get(utf8(), sqlite3_column_bytes(raw, c)), field.type, field.size);
                    continue;
                }
                break;
            case TFieldType::Integer:
                if (kind == SQLITE_INTEGER) {
                    cell = qint64(sqlite3_column_int64(raw, c));
                    continue;
                }
                break;
            case TFieldType::Float:
                if (kind == SQLITE_INTEGER || kind == SQLITE_FLOAT) {
                    cell = sqlite3_column_double(raw, c);
                    continue;
                }
                break;
            case TFieldType::Date:
            case TFieldType::DateTime:
                if (kind == SQLITE_TEXT) {
                    const char* value = utf8();
                    const auto length = size_t(sqlite3_column_bytes(raw, c));
                    const auto parsed = field.type == TFieldType::Date ? ParseStoredDate(value, length) : ParseStoredDateTime(value, length);
                    if (parsed) {
                        cell = *parsed;
                        continue;
                    }
                }
                break;
            default: break;
            }
            QVariant value;
            switch (kind) {
            case SQLITE_INTEGER: value = qlonglong(sqlite3_column_int64(raw, c)); break;
            case SQLITE_FLOAT: value = sqlite3_column_double(raw, c); break;
            case SQLITE_BLOB:
                value = QByteArray(static_cast<const char*>(sqlite3_column_blob(raw, c)), sqlite3_column_bytes(raw, c));
                if (field.type != TFieldType::Blob)
                    value = QString::fromUtf8(value.toByteArray());
                break;
            default: value = QString::fromUtf8(utf8(), sqlite3_column_bytes(raw, c)); break;
            }
            cell = ValueToCell(field, value);
        }
        rows.push_back(std::move(row));
    }
    return TDataPacket(fields, std::move(rows));
}

} // namespace

TDataPacket Select(QSqlDatabase& db, const char* layout, const QString& sql, const QVariantList& params)
{
    const QList<TPacketField> fields = Layout(layout);
    if (sqlite3* handle = SqliteHandle(db))
        return SelectSqlite(handle, StateOf(db).selects, fields, sql, params);
    if (TConnectionState& state = StateOf(db); state.pg) {
        const std::shared_ptr<TPgResult> result = params.isEmpty() ? state.pg->exec(sql) : state.pg->run(sql, params);
        state.untouched = false;
        return result->packet(fields);
    }

    // Values go through the dataset's own conversions to the layout's types.
    TRows q = Run(db, sql, params);
    const QSqlRecord record = q.record();
    const std::vector<int> columns = ColumnsOf(fields, record.count(), [&](int c) { return record.fieldName(c); });
    std::vector<CellRow> rows;
    while (q.next()) {
        CellRow row(size_t(fields.size()));
        for (int i = 0; i < fields.size(); ++i) {
            const int c = columns[size_t(i)];
            if (c >= 0 && !q.isNull(c))
                row[size_t(i)] = ValueToCell(fields[i], q.value(c));
        }
        rows.push_back(std::move(row));
    }
    return TDataPacket(fields, std::move(rows));
}
