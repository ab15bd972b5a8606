#include "PgStatements.h"

#include "ClientDataSet.h"
#include "Field.h"
#include "RecentTexts.h"
#include "Store.h"
#include "StoredDates.h"
#include "Variants.h"

#include <QDateTime>
#include <QSqlField>
#include <QStringList>

#include <libpq-fe.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// The types whose text the store reads itself (pg_type's oids).
enum : Oid {
    BoolOid = 16,
    ByteaOid = 17,
    NameOid = 19,
    Int8Oid = 20,
    Int2Oid = 21,
    Int4Oid = 23,
    TextOid = 25,
    OidOid = 26,
    Float4Oid = 700,
    Float8Oid = 701,
    UnknownOid = 705,
    BpcharOid = 1042,
    VarcharOid = 1043,
    DateOid = 1082,
    TimeOid = 1083,
    TimestampOid = 1114,
    TimestampTzOid = 1184,
    NumericOid = 1700,
};

bool IsText(Oid type) { return type == TextOid || type == VarcharOid || type == BpcharOid || type == NameOid || type == UnknownOid; }
bool IsInteger(Oid type) { return type == Int2Oid || type == Int4Oid || type == Int8Oid || type == OidOid; }
bool IsFloat(Oid type) { return type == Float4Oid || type == Float8Oid || type == NumericOid; }

QMetaType MetaTypeOf(Oid type)
{
    switch (type) {
    case BoolOid: return QMetaType::fromType<bool>();
    case ByteaOid: return QMetaType::fromType<QByteArray>();
    case Int2Oid:
    case Int4Oid: return QMetaType::fromType<int>();
    case Int8Oid:
    case OidOid: return QMetaType::fromType<qlonglong>();
    case Float4Oid:
    case Float8Oid:
    case NumericOid: return QMetaType::fromType<double>();
    case DateOid: return QMetaType::fromType<QDate>();
    case TimeOid: return QMetaType::fromType<QTime>();
    case TimestampOid:
    case TimestampTzOid: return QMetaType::fromType<QDateTime>();
    default: return QMetaType::fromType<QString>();
    }
}

std::optional<qint64> ParseInteger(const char* text, int length)
{
    qint64 value = 0;
    const auto [end, error] = std::from_chars(text, text + length, value);
    if (error != std::errc() || end != text + length)
        return std::nullopt;
    return value;
}

std::optional<double> ParseFloat(const char* text, int length)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text, text + length, value);
    if (error == std::errc() && end == text + length)
        return value;
    // PostgreSQL's words for the values beyond numbers
    if (qstrcmp(text, "NaN") == 0)
        return std::nan("");
    if (qstrcmp(text, "Infinity") == 0)
        return HUGE_VAL;
    if (qstrcmp(text, "-Infinity") == 0)
        return -HUGE_VAL;
    return std::nullopt;
}

QByteArray Unescaped(const char* text)
{
    size_t length = 0;
    unsigned char* bytes = PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &length);
    if (!bytes)
        return {};
    QByteArray value(reinterpret_cast<const char*>(bytes), qsizetype(length));
    PQfreemem(bytes);
    return value;
}

QVariant Converted(Oid type, const char* text, int length)
{
    switch (type) {
    case BoolOid: return length > 0 && text[0] == 't';
    case ByteaOid: return Unescaped(text);
    case Int2Oid:
    case Int4Oid:
        if (const auto v = ParseInteger(text, length))
            return int(*v);
        break;
    case Int8Oid:
    case OidOid:
        if (const auto v = ParseInteger(text, length))
            return qlonglong(*v);
        break;
    case Float4Oid:
    case Float8Oid:
    case NumericOid:
        if (const auto v = ParseFloat(text, length))
            return *v;
        break;
    case DateOid: return QDate::fromString(QString::fromLatin1(text, length), Qt::ISODate);
    case TimeOid: return QTime::fromString(QString::fromLatin1(text, length), Qt::ISODateWithMs);
    case TimestampOid:
    case TimestampTzOid: {
        // "2027-03-20 19:00:00[.123456][+00]": milliseconds at most, the offset as ISO writes it
        QString iso = QString::fromLatin1(text, length);
        if (iso.size() > 10)
            iso[10] = QLatin1Char('T');
        const qsizetype offset = std::max(iso.lastIndexOf(QLatin1Char('+')), iso.lastIndexOf(QLatin1Char('-')));
        QString zone;
        if (type == TimestampTzOid && offset > 10) {
            zone = iso.mid(offset);
            iso.truncate(offset);
            if (zone.size() == 3)
                zone += QStringLiteral(":00");
        }
        if (const qsizetype point = iso.indexOf(QLatin1Char('.')); point > 0)
            iso.truncate(std::min(iso.size(), point + 4));
        return QDateTime::fromString(iso + zone, Qt::ISODateWithMs);
    }
    default: break;
    }
    return QString::fromUtf8(text, length);
}

// A value as the text PostgreSQL reads for a parameter of any type; bytes go as they are.
struct TParameter {
    QByteArray bytes;
    bool null = false;
    bool binary = false;
};

QByteArray ArrayLiteral(const QStringList& texts)
{
    QByteArray literal = "{";
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (i > 0)
            literal += ',';
        literal += '"';
        for (const char c : texts[i].toUtf8()) {
            if (c == '"' || c == '\\')
                literal += '\\';
            literal += c;
        }
        literal += '"';
    }
    return literal + '}';
}

QByteArray TextOf(const QString& text)
{
    // A parameter's text ends at its first zero byte: a text that holds one is refused, not cut.
    if (text.contains(QChar(0)))
        throw EStoreError(QStringLiteral("Um texto com o caractere U+0000 não pode ser gravado: \"%1\"").arg(text.left(60).replace(QChar(0), QLatin1Char('?'))));
    return text.toUtf8();
}

TParameter ParameterOf(const QVariant& value)
{
    if (VarIsClear(value) || VarIsNull(value) || value.isNull())
        return {{}, true};
    switch (value.metaType().id()) {
    case QMetaType::Bool: return {value.toBool() ? QByteArrayLiteral("true") : QByteArrayLiteral("false")};
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::LongLong: return {QByteArray::number(value.toLongLong())};
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::ULongLong: return {QByteArray::number(value.toULongLong())};
    case QMetaType::Float:
    case QMetaType::Double: {
        const double d = value.toDouble();
        if (std::isnan(d))
            return {QByteArrayLiteral("NaN")};
        if (std::isinf(d))
            return {d > 0 ? QByteArrayLiteral("Infinity") : QByteArrayLiteral("-Infinity")};
        return {QByteArray::number(d, 'g', QLocale::FloatingPointShortest)};
    }
    case QMetaType::QDate: return {value.toDate().toString(Qt::ISODate).toLatin1()};
    case QMetaType::QTime: return {value.toTime().toString(Qt::ISODateWithMs).toLatin1()};
    case QMetaType::QDateTime: return {value.toDateTime().toString(Qt::ISODateWithMs).toLatin1()};
    case QMetaType::QByteArray: return {value.toByteArray(), false, true};
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        const QStringList texts = value.toStringList();
        for (const QString& t : texts)
            TextOf(t);
        return {ArrayLiteral(texts)};
    }
    default: return {TextOf(value.toString())};
    }
}

QString ErrorText(PGconn* connection, const PGresult* result)
{
    const char* message = result ? PQresultErrorMessage(result) : nullptr;
    if (!message || !*message)
        message = PQerrorMessage(connection);
    return QString::fromUtf8(message).simplified();
}

// The database ended the session (shut down, restarting, or crashed), or the link is gone.
bool SessionEnded(const PGresult* result)
{
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    if (!state)
        return false;
    return std::strncmp(state, "08", 2) == 0 || std::strcmp(state, "57P01") == 0 || std::strcmp(state, "57P02") == 0
           || std::strcmp(state, "57P03") == 0;
}

} // namespace

QByteArray NumberedParameters(const QString& sql)
{
    const QByteArray text = sql.toUtf8();
    QByteArray numbered;
    numbered.reserve(text.size() + 16);
    int marks = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        const char c = text[i];
        const auto copyUntil = [&](const QByteArray& end, qsizetype from) {
            const qsizetype at = text.indexOf(end, from);
            const qsizetype stop = at < 0 ? n : at + end.size();
            numbered += text.mid(i, stop - i);
            i = stop;
        };
        if (c == '\'') {
            copyUntil("'", i + 1);   // a doubled quote inside is two texts in a row: the same
        } else if (c == '"') {
            copyUntil("\"", i + 1);
        } else if (c == '-' && i + 1 < n && text[i + 1] == '-') {
            copyUntil("\n", i + 2);
        } else if (c == '/' && i + 1 < n && text[i + 1] == '*') {
            copyUntil("*/", i + 2);
        } else if (c == '$' && (i == 0 || !(std::isalnum(static_cast<unsigned char>(text[i - 1])) || text[i - 1] == '_'))) {
            // a dollar-quoted text: $tag$ ... $tag$
            qsizetype j = i + 1;
            while (j < n && (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '_'))
                ++j;
            if (j < n && text[j] == '$') {
                const QByteArray tag = text.mid(i, j - i + 1);
                copyUntil(tag, j + 1);
            } else {
                numbered += c;
                ++i;
            }
        } else if (c == '?') {
            numbered += '$' + QByteArray::number(++marks);
            ++i;
        } else {
            numbered += c;
            ++i;
        }
    }
    return numbered;
}

// ---- TPgResult

TPgResult::TPgResult(pg_result* result) : m_result(result) {}
TPgResult::~TPgResult() { PQclear(m_result); }

int TPgResult::rowCount() const { return PQntuples(m_result); }
int TPgResult::columnCount() const { return PQnfields(m_result); }
QString TPgResult::columnName(int column) const { return QString::fromUtf8(PQfname(m_result, column)); }
bool TPgResult::isNull(int row, int column) const { return PQgetisnull(m_result, row, column) != 0; }

QVariant TPgResult::value(int row, int column) const
{
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return {};
    const Oid type = PQftype(m_result, column);
    if (PQgetisnull(m_result, row, column))
        return QVariant(MetaTypeOf(type));
    return Converted(type, PQgetvalue(m_result, row, column), PQgetlength(m_result, row, column));
}

int TPgResult::rowsAffected() const
{
    const char* affected = PQcmdTuples(m_result);
    return affected && *affected ? std::atoi(affected) : -1;
}

QSqlRecord TPgResult::record() const
{
    QSqlRecord record;
    for (int c = 0; c < columnCount(); ++c)
        record.append(QSqlField(columnName(c), MetaTypeOf(PQftype(m_result, c))));
    return record;
}

TDataPacket TPgResult::packet(const QList<TPacketField>& fields) const
{
    const int count = columnCount();
    std::vector<int> columns;
    std::vector<Oid> types;
    for (const TPacketField& f : fields) {
        int found = -1;
        for (int c = 0; c < count && found < 0; ++c)
            if (f.name.compare(QLatin1String(PQfname(m_result, c)), Qt::CaseInsensitive) == 0)
                found = c;
        columns.push_back(found);
        types.push_back(found >= 0 ? PQftype(m_result, found) : 0);
    }
    std::vector<TRecentTexts> recent(size_t(fields.size()));
    std::vector<CellRow> rows;
    const int rowTotal = rowCount();
    rows.reserve(size_t(rowTotal));
    for (int r = 0; r < rowTotal; ++r) {
        CellRow row(size_t(fields.size()));
        for (int i = 0; i < fields.size(); ++i) {
            const int c = columns[size_t(i)];
            if (c < 0 || PQgetisnull(m_result, r, c))
                continue;
            const Oid type = types[size_t(i)];
            const TPacketField& field = fields[i];
            const char* text = PQgetvalue(m_result, r, c);
            const int length = PQgetlength(m_result, r, c);
            Cell& cell = row[size_t(i)];
            switch (field.type) {
            case TFieldType::String:
            case TFieldType::FixedString:
                if (IsText(type)) {
                    cell = FitText(recent[size_t(i)].get(text, length), field.type, field.size);
                    continue;
                }
                break;
            case TFieldType::Integer:
                if (IsInteger(type))
                    if (const auto v = ParseInteger(text, length)) {
                        cell = *v;
                        continue;
                    }
                break;
            case TFieldType::Float:
                if (IsInteger(type) || IsFloat(type))
                    if (const auto v = ParseFloat(text, length)) {
                        cell = *v;
                        continue;
                    }
                break;
            case TFieldType::Boolean:
                if (type == BoolOid) {
                    cell = text[0] == 't';
                    continue;
                }
                break;
            case TFieldType::Date:
            case TFieldType::DateTime:
                if (IsText(type) || type == DateOid || type == TimestampOid) {
                    const auto parsed = field.type == TFieldType::Date ? ParseStoredDate(text, size_t(length)) : ParseStoredDateTime(text, size_t(length));
                    if (parsed) {
                        cell = *parsed;
                        continue;
                    }
                }
                break;
            default: break;
            }
            // An unusual pairing of column type and field type: the dataset's own conversion.
            QVariant value = Converted(type, text, length);
            if (value.metaType().id() == QMetaType::QByteArray && field.type != TFieldType::Blob)
                value = QString::fromUtf8(value.toByteArray());
            cell = ValueToCell(field, value);
        }
        rows.push_back(std::move(row));
    }
    return TDataPacket(fields, std::move(rows));
}

// ---- TPgStatements

bool TPgStatements::broken() const { return m_lost || PQstatus(m_connection) == CONNECTION_BAD; }

std::shared_ptr<TPgResult> TPgStatements::checked(pg_result* result, const QString& sql)
{
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_EMPTY_QUERY)
        return std::make_shared<TPgResult>(result);
    const QString error = ErrorText(m_connection, result);
    const bool ended = SessionEnded(result);
    PQclear(result);
    if (ended || PQstatus(m_connection) == CONNECTION_BAD) {
        m_lost = true;
        throw EStoreUnavailable(QStringLiteral("A conexão com o banco caiu: %1 (%2)").arg(error, sql.simplified().left(200)));
    }
    throw EStoreError(QStringLiteral("Erro do banco: %1 (%2)").arg(error, sql.simplified().left(200)));
}

const QByteArray& TPgStatements::prepared(const QString& sql)
{
    if (const auto found = m_byText.find(sql); found != m_byText.end()) {
        m_recent.splice(m_recent.begin(), m_recent, *found);   // now the most recently used
        return (*found)->name;
    }
    const QByteArray name = "ore_" + QByteArray::number(++m_serial);
    const QByteArray text = NumberedParameters(sql);
    checked(PQprepare(m_connection, name.constData(), text.constData(), 0, nullptr), sql);
    m_recent.push_front({sql, name});
    m_byText.insert(sql, m_recent.begin());
    if (m_byText.size() > KeptStatements) {
        const Statement oldest = m_recent.back();
        m_byText.remove(oldest.sql);
        m_recent.pop_back();
        m_count = int(m_byText.size());
        checked(PQexec(m_connection, ("DEALLOCATE " + oldest.name).constData()), QStringLiteral("DEALLOCATE"));
    }
    m_count = int(m_byText.size());
    return m_recent.front().name;
}

std::shared_ptr<TPgResult> TPgStatements::run(const QString& sql, const QVariantList& params)
{
    std::vector<TParameter> values;
    values.reserve(size_t(params.size()));
    for (const QVariant& p : params)
        values.push_back(ParameterOf(p));
    const QByteArray& name = prepared(sql);
    std::vector<const char*> texts;
    std::vector<int> lengths, formats;
    for (const TParameter& v : values) {
        texts.push_back(v.null ? nullptr : v.bytes.constData());
        lengths.push_back(int(v.bytes.size()));
        formats.push_back(v.binary ? 1 : 0);
    }
    return checked(PQexecPrepared(m_connection, name.constData(), int(values.size()), texts.data(), lengths.data(), formats.data(), 0), sql);
}

std::shared_ptr<TPgResult> TPgStatements::exec(const QString& sql)
{
    return checked(PQexec(m_connection, sql.toUtf8().constData()), sql);
}
