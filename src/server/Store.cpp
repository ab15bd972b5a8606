#include "Store.h"

#include "ClientDataSet.h"
#include "Errors.h"
#include "Variants.h"

#include <QHash>
#include <QMutex>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <QUrl>
#include <QUuid>

#include <atomic>

namespace {
std::atomic<quint64> stores{0};
}

TStore::TStore(const QString& url) : m_url(url), m_id(++stores)
{
    if (url.startsWith(QLatin1String("sqlite:"))) {
        m_dialect = SQLite;
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

TStore::~TStore() = default;

QSqlDatabase TStore::connection()
{
    // One connection per thread and store, under a name never used again.
    static std::atomic<quint64> serial{0};
    thread_local QHash<quint64, QString> names;
    QString& name = names[m_id];
    if (name.isEmpty())
        name = QStringLiteral("ore-%1-%2").arg(m_id).arg(serial++);
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isOpen())
            return db;
    }
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
    }
    if (!db.open())
        throw EHostError(QStringLiteral("O banco %1 não pôde ser aberto: %2").arg(m_dialect == SQLite ? m_file : m_database, db.lastError().text()));
    if (m_dialect == SQLite) {
        Run(db, QStringLiteral("PRAGMA journal_mode=WAL"));
        Run(db, QStringLiteral("PRAGMA foreign_keys=ON"));
    }
    return db;
}

void TStore::transaction(const std::function<void(QSqlDatabase&)>& work)
{
    QSqlDatabase db = connection();
    if (m_dialect == SQLite)
        Run(db, QStringLiteral("BEGIN IMMEDIATE"));
    else if (!db.transaction())
        throw EHostError(QStringLiteral("Transação não iniciada: %1").arg(db.lastError().text()));
    try {
        work(db);
    } catch (...) {
        if (m_dialect == SQLite)
            QSqlQuery(QStringLiteral("ROLLBACK"), db).exec();
        else
            db.rollback();
        throw;
    }
    if (m_dialect == SQLite)
        Run(db, QStringLiteral("COMMIT"));
    else if (!db.commit())
        throw EHostError(QStringLiteral("Transação não confirmada: %1").arg(db.lastError().text()));
}

QSqlQuery Run(QSqlDatabase& db, const QString& sql, const QVariantList& params)
{
    // Not forward-only: a method may run other statements while it reads the rows, which a
    // forward-only result of PostgreSQL's driver would lose.
    QSqlQuery q(db);
    if (params.isEmpty()) {
        // Statements without values (the schema's, a transaction's) run as they are: some
        // databases prepare only queries and data changes.
        if (!q.exec(sql))
            throw EHostError(QStringLiteral("Erro do banco: %1 (%2)").arg(q.lastError().text(), sql.simplified().left(200)));
        return q;
    }
    if (!q.prepare(sql))
        throw EHostError(QStringLiteral("SQL inválido (%1): %2").arg(q.lastError().text(), sql.simplified()));
    for (const QVariant& p : params)
        q.addBindValue(VarIsClear(p) ? QVariant() : p);
    if (!q.exec())
        throw EHostError(QStringLiteral("Erro do banco: %1").arg(q.lastError().text()));
    return q;
}

QVariant Scalar(QSqlDatabase& db, const QString& sql, const QVariantList& params)
{
    QSqlQuery q = Run(db, sql, params);
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

TDataPacket Select(QSqlDatabase& db, const char* layout, const QString& sql, const QVariantList& params)
{
    const QList<TPacketField> fields = Layout(layout);
    // Values go through the dataset's own conversions to the layout's types.
    TClientDataSet converter;
    std::vector<TFieldDef> defs;
    for (const auto& f : fields)
        defs.push_back({f.name, f.type, f.size});
    converter.DefineFields(defs);

    QSqlQuery q = Run(db, sql, params);
    std::vector<int> columns;
    const QSqlRecord record = q.record();
    for (const auto& f : fields)
        columns.push_back(record.indexOf(f.name));
    std::vector<CellRow> rows;
    while (q.next()) {
        CellRow row;
        row.reserve(fields.size());
        for (int i = 0; i < fields.size(); ++i) {
            const QVariant v = columns[size_t(i)] >= 0 ? q.value(columns[size_t(i)]) : QVariant();
            row.push_back(v.isNull() ? Cell{} : converter.Fields(i)->ToCell(v));
        }
        rows.push_back(std::move(row));
    }
    return TDataPacket(fields, std::move(rows));
}
