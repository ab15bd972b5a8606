#include "Field.h"

#include "ClientDataSet.h"
#include "Errors.h"
#include "FieldFormat.h"
#include "StoredDates.h"
#include "Variants.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <cmath>
#include <optional>

namespace {

QDate dateOfDay(qint64 julianDay) { return QDate::fromJulianDay(julianDay); }
QDateTime dateTimeOfMs(qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC); }
qint64 msOfDateTime(const QDateTime& dt)
{
    // The wall-clock reading counts, whatever zone the value came with.
    const QDate d = dt.date();
    const QTime t = dt.time();
    return (d.toJulianDay() - UnixEpochJulianDay) * MsPerDay + t.msecsSinceStartOfDay();
}

QString floatText(double d)
{
    if (d == std::floor(d) && std::fabs(d) < 1e15)
        return QString::number(qint64(d));
    return QString::number(d, 'g', 15);
}

// ---- dates typed or read as text
//
// Every form is read digit by digit, with no display format and no time zone: the wall-clock
// reading is the value, in milliseconds since 1970-01-01T00:00:00 as a date-time cell holds it.

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Two digits at p, or -1.
int twoDigits(const char* p) { return isDigit(p[0]) && isDigit(p[1]) ? (p[0] - '0') * 10 + (p[1] - '0') : -1; }

qint64 dayMs(qint64 julianDay) { return (julianDay - UnixEpochJulianDay) * MsPerDay; }

// "dd/MM/yyyy", "dd/MM/yyyy HH:mm" or "dd/MM/yyyy HH:mm:ss", as the lists show dates.
std::optional<qint64> parseDisplayDate(const char* p, size_t n)
{
    if ((n != 10 && n != 16 && n != 19) || p[2] != '/' || p[5] != '/')
        return std::nullopt;
    const int d = twoDigits(p), m = twoDigits(p + 3), y1 = twoDigits(p + 6), y2 = twoDigits(p + 8);
    if (d < 0 || m < 0 || y1 < 0 || y2 < 0)
        return std::nullopt;
    const QDate date(y1 * 100 + y2, m, d);
    if (!date.isValid())
        return std::nullopt;
    qint64 ms = dayMs(date.toJulianDay());
    if (n == 10)
        return ms;
    if (p[10] != ' ' || p[13] != ':')
        return std::nullopt;
    const int h = twoDigits(p + 11), mi = twoDigits(p + 14);
    int s = 0;
    if (n == 19 && (p[16] != ':' || (s = twoDigits(p + 17)) < 0))
        return std::nullopt;
    if (h < 0 || h > 23 || mi < 0 || mi > 59 || s > 59)
        return std::nullopt;
    return ms + h * 3600000LL + mi * 60000LL + s * 1000LL;
}

// "Z", "+hh", "+hhmm" or "+hh:mm" (or with -), the whole of the n characters at z.
bool isZoneDesignator(const char* z, size_t n)
{
    if (n == 1)
        return z[0] == 'Z' || z[0] == 'z';
    if (n < 3 || (z[0] != '+' && z[0] != '-'))
        return false;
    const int h = twoDigits(z + 1);
    const int m = n == 3 ? 0 : n == 5 ? twoDigits(z + 3) : n == 6 && z[3] == ':' ? twoDigits(z + 4) : -1;
    return h >= 0 && h <= 23 && m >= 0 && m <= 59;
}

// The other ISO 8601 readings of a date and time: the time to the hour or the minute only, a
// fraction of a second of any length (rounded to the millisecond), 24:00 for the end of the day,
// and a zone designator after the time (Z, +hh, +hhmm, +hh:mm, or with -), read and dropped.
std::optional<qint64> parseIsoDateTime(const char* p, size_t n)
{
    const auto day = ParseStoredDate(p, n);
    if (!day || n < 13 || (p[10] != 'T' && p[10] != 't' && p[10] != ' '))
        return std::nullopt;
    int parts[3] = {0, 0, 0};   // hours, minutes, seconds
    int read = 0;
    size_t i = 11;
    while (read < 3) {
        if (read > 0) {
            if (i >= n || p[i] != ':')
                break;
            ++i;
        }
        if (i + 2 > n || (parts[read] = twoDigits(p + i)) < 0)
            return std::nullopt;
        i += 2;
        ++read;
    }
    int msec = 0;
    if (read == 3 && i < n && (p[i] == '.' || p[i] == ',')) {
        // The fraction of a second: its first three digits, rounded by the fourth.
        const size_t start = ++i;
        while (i < n && isDigit(p[i]))
            ++i;
        if (i == start)
            return std::nullopt;
        for (size_t k = start; k < start + 3; ++k)
            msec = msec * 10 + (k < i ? p[k] - '0' : 0);
        if (i - start > 3 && p[start + 3] >= '5')
            ++msec;
    }
    if (i < n && !isZoneDesignator(p + i, n - i))
        return std::nullopt;
    const auto [h, mi, s] = parts;
    const bool endOfDay = h == 24 && mi == 0 && s == 0 && msec == 0;
    if (!endOfDay && (h > 23 || mi > 59 || s > 59))
        return std::nullopt;
    return dayMs(*day) + h * 3600000LL + mi * 60000LL + s * 1000LL + msec;
}

// A date as a person types it or a text column holds it, blanks around it ignored: the stored
// forms first ("YYYY-MM-DD", "YYYY-MM-DDThh:mm:ss[.zzz]"), then the display forms, then the other
// ISO 8601 readings. Nothing for text that is no date, an impossible date (2026-02-30) included.
std::optional<qint64> parseDateText(QStringView text)
{
    const QStringView t = text.trimmed();
    // Every form is ASCII and short; anything else is no date.
    char buffer[48];
    if (t.size() < 10 || t.size() > qsizetype(sizeof buffer))
        return std::nullopt;
    const size_t n = size_t(t.size());
    for (size_t i = 0; i < n; ++i) {
        const char16_t c = t[qsizetype(i)].unicode();
        if (c > 0x7f)
            return std::nullopt;
        buffer[i] = char(c);
    }
    if (auto ms = ParseStoredDateTime(buffer, n))
        return ms;
    if (auto ms = parseDisplayDate(buffer, n))
        return ms;
    return parseIsoDateTime(buffer, n);
}

qint64 julianDayOfMs(qint64 ms)
{
    const qint64 days = ms / MsPerDay - (ms % MsPerDay < 0 ? 1 : 0);   // rounded down, before 1970 too
    return days + UnixEpochJulianDay;
}

} // namespace

QVariant CellToVariant(TFieldType type, const Cell& c)
{
    if (CellIsNull(c))
        return Null();
    switch (type) {
    case TFieldType::String:
    case TFieldType::FixedString: return std::get<QString>(c);
    case TFieldType::Integer: return qlonglong(std::get<qint64>(c));
    case TFieldType::Float: return std::get<double>(c);
    case TFieldType::Boolean: return std::get<bool>(c);
    case TFieldType::Date: return dateOfDay(std::get<qint64>(c));
    case TFieldType::DateTime: return dateTimeOfMs(std::get<qint64>(c));
    case TFieldType::Blob: return std::get<QByteArray>(c);
    }
    return {};
}

// ============================================================================ TField

TField::TField(TClientDataSet* dataSet, int index, TFieldDef def) : m_dataSet(dataSet), m_index(index), m_def(std::move(def)) {}

bool TField::IsNull() const { return CellIsNull(m_dataSet->CellOf(m_index)); }
QVariant TField::Value() const { return FromCell(m_dataSet->CellOf(m_index)); }
QString TField::AsString() const { return CellText(m_dataSet->CellOf(m_index)); }

int TField::AsInteger() const
{
    const QVariant v = Value();
    if (VarIsNull(v))
        return 0;
    bool ok = false;
    const int i = m_def.type == TFieldType::Float ? int(std::llround(v.toDouble(&ok))) : v.toString().trimmed().toInt(&ok);
    if (!ok)
        throw EDataSetError(QStringLiteral("Campo %1: \"%2\" não é um número inteiro.").arg(m_def.name, AsString()));
    return i;
}

double TField::AsFloat() const
{
    const Cell& c = m_dataSet->CellOf(m_index);
    if (CellIsNull(c))
        return 0;
    if (std::holds_alternative<double>(c))
        return std::get<double>(c);
    if (m_def.type == TFieldType::Integer)
        return double(std::get<qint64>(c));
    bool ok = false;
    const double d = CellText(c).trimmed().toDouble(&ok);
    if (!ok)
        throw EDataSetError(QStringLiteral("Campo %1: \"%2\" não é um número.").arg(m_def.name, CellText(c)));
    return d;
}

bool TField::AsBoolean() const
{
    const Cell& c = m_dataSet->CellOf(m_index);
    if (CellIsNull(c))
        return false;
    if (std::holds_alternative<bool>(c))
        return std::get<bool>(c);
    return FromCell(c).toBool();
}

QDateTime TField::AsDateTime() const
{
    const Cell& c = m_dataSet->CellOf(m_index);
    if (CellIsNull(c))
        return {};
    if (m_def.type == TFieldType::Date)
        return QDateTime(dateOfDay(std::get<qint64>(c)), QTime(0, 0), Qt::UTC);
    if (m_def.type == TFieldType::DateTime)
        return dateTimeOfMs(std::get<qint64>(c));
    const QString text = CellText(c);
    const auto ms = parseDateText(text);
    if (!ms)
        throw EDataSetError(QStringLiteral("Campo %1: \"%2\" não é uma data.").arg(m_def.name, text));
    return dateTimeOfMs(*ms);
}

QDate TField::AsDate() const { return AsDateTime().date(); }

void TField::SetValue(const QVariant& value) { m_dataSet->SetCellOf(m_index, ToCell(value)); }
void TField::SetAsString(const QString& value) { SetValue(value); }
void TField::SetAsInteger(int value) { SetValue(value); }
void TField::SetAsFloat(double value) { SetValue(value); }
void TField::SetAsBoolean(bool value) { SetValue(value); }
void TField::SetAsDateTime(const QDateTime& value) { SetValue(value.isValid() ? QVariant(value) : Null()); }
void TField::Clear() { m_dataSet->SetCellOf(m_index, Cell{}); }

QString TField::DisplayText() const
{
    QString text;
    const Cell& c = m_dataSet->CellOf(m_index);
    if (!CellIsNull(c)) {
        if (m_def.type == TFieldType::Float || m_def.type == TFieldType::Integer) {
            const double d = std::holds_alternative<double>(c) ? std::get<double>(c) : double(std::get<qint64>(c));
            text = m_def.displayFormat.isEmpty() ? floatText(d).replace(QLatin1Char('.'), QLatin1Char(','))
                                                 : FormatFloat(m_def.displayFormat, d);
        } else if ((m_def.type == TFieldType::Date || m_def.type == TFieldType::DateTime) && !m_def.displayFormat.isEmpty()) {
            text = FormatDateTime(m_def.displayFormat, AsDateTime());
        } else {
            text = CellText(c);
        }
    }
    if (OnGetText)
        OnGetText(const_cast<TField&>(*this), text, true);
    return text;
}

QString TField::Text() const
{
    QString text = AsString();
    if (OnGetText)
        OnGetText(const_cast<TField&>(*this), text, false);
    return text;
}

QString TField::CellText(const Cell& c) const
{
    if (CellIsNull(c))
        return {};
    switch (m_def.type) {
    case TFieldType::String:
    case TFieldType::FixedString: return std::get<QString>(c);
    case TFieldType::Integer: return QString::number(std::get<qint64>(c));
    case TFieldType::Float: return floatText(std::get<double>(c));
    case TFieldType::Boolean: return std::get<bool>(c) ? QStringLiteral("True") : QStringLiteral("False");
    case TFieldType::Date: return dateOfDay(std::get<qint64>(c)).toString(QStringLiteral("dd/MM/yyyy"));
    case TFieldType::DateTime: {
        const QDateTime dt = dateTimeOfMs(std::get<qint64>(c));
        return dt.time() == QTime(0, 0) ? dt.toString(QStringLiteral("dd/MM/yyyy")) : dt.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    }
    case TFieldType::Blob: return QString::fromUtf8(std::get<QByteArray>(c));
    }
    return {};
}

QVariant TField::FromCell(const Cell& cell) const { return CellToVariant(m_def.type, cell); }

Cell TField::ToCell(const QVariant& value) const { return ValueToCell({m_def.name, m_def.type, m_def.size}, value); }

Cell ValueToCell(const TPacketField& field, const QVariant& value)
{
    if (VarIsClear(value))
        return {};
    auto mismatch = [&](const char* expected) -> EDataSetError {
        return EDataSetError(QStringLiteral("Campo %1: o valor \"%2\" não é %3.")
                                 .arg(field.name, value.toString(), QString::fromUtf8(expected)));
    };
    const int id = value.metaType().id();
    switch (field.type) {
    case TFieldType::String:
    case TFieldType::FixedString: {
        QString s;
        if (id == QMetaType::Double)
            s = floatText(value.toDouble());
        else if (id == QMetaType::QDate)
            s = value.toDate().toString(QStringLiteral("dd/MM/yyyy"));
        else if (id == QMetaType::QDateTime)
            s = value.toDateTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
        else
            s = value.toString();
        return FitText(std::move(s), field.type, field.size);
    }
    case TFieldType::Integer: {
        if (id == QMetaType::Double) {
            const double d = value.toDouble();
            if (d != std::floor(d))
                throw mismatch("um número inteiro");
            return qint64(d);
        }
        if (id == QMetaType::Bool)
            return qint64(value.toBool() ? 1 : 0);
        bool ok = false;
        const qint64 i = value.toString().trimmed().toLongLong(&ok);
        if (!ok)
            throw mismatch("um número inteiro");
        return i;
    }
    case TFieldType::Float: {
        bool ok = false;
        double d = 0;
        if (id == QMetaType::QString) {
            QString t = value.toString().trimmed();
            if (!t.contains(QLatin1Char('.')))
                t.replace(QLatin1Char(','), QLatin1Char('.'));
            d = t.toDouble(&ok);
        } else {
            d = value.toDouble(&ok);
        }
        if (!ok || !std::isfinite(d))
            throw mismatch("um número");
        return d;
    }
    case TFieldType::Boolean: {
        if (id == QMetaType::Bool)
            return value.toBool();
        const QString t = value.toString().trimmed().toLower();
        if (t == QLatin1String("true") || t == QLatin1String("1") || t == QLatin1String("s"))
            return true;
        if (t == QLatin1String("false") || t == QLatin1String("0") || t == QLatin1String("n"))
            return false;
        throw mismatch("um booleano");
    }
    case TFieldType::Date:
    case TFieldType::DateTime: {
        std::optional<qint64> ms;
        if (id == QMetaType::QDate) {
            const QDate d = value.toDate();
            if (d.isValid())
                ms = dayMs(d.toJulianDay());
        } else if (id == QMetaType::QDateTime) {
            const QDateTime dt = value.toDateTime();
            if (dt.isValid())
                ms = msOfDateTime(dt);
        } else if (id == QMetaType::QString) {
            ms = parseDateText(value.toString());
        }
        if (!ms)
            throw mismatch("uma data");
        if (field.type == TFieldType::Date)
            return julianDayOfMs(*ms);
        return *ms;
    }
    case TFieldType::Blob:
        if (id == QMetaType::QByteArray)
            return value.toByteArray();
        return value.toString().toUtf8();
    }
    return {};
}
