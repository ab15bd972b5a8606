#include "ClientDataSet.h"

#include "DataSetFilter.h"
#include "Errors.h"
#include "FieldFormat.h"
#include "StoredDates.h"
#include "Variants.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

struct TClientDataSet::FilterExpr {
    std::unique_ptr<FilterNode> root;
};

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

bool isString(TFieldType t) { return t == TFieldType::String || t == TFieldType::FixedString; }

QString floatText(double d)
{
    if (d == std::floor(d) && std::fabs(d) < 1e15)
        return QString::number(qint64(d));
    return QString::number(d, 'g', 15);
}

QVariant cellToVariant(TFieldType type, const Cell& c)
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

const Cell& nullCell()
{
    static const Cell c;
    return c;
}

} // namespace

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

QVariant TField::FromCell(const Cell& cell) const { return cellToVariant(m_def.type, cell); }

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

// ============================================================================ TClientDataSet

TClientDataSet::TClientDataSet(QObject* parent, const QString& name) : QObject(parent) { setObjectName(name); }
TClientDataSet::~TClientDataSet() = default;

void TClientDataSet::DefineFields(const std::vector<TFieldDef>& defs)
{
    if (Active())
        throw EDataSetError(QStringLiteral("%1: os campos só podem ser definidos com o dataset fechado.").arg(objectName()));
    m_fields.clear();
    for (const auto& def : defs) {
        if (FindField(def.name))
            throw EDataSetError(QStringLiteral("%1: campo %2 definido duas vezes.").arg(objectName(), def.name));
        m_fields.push_back(std::make_unique<TField>(this, int(m_fields.size()), def));
    }
}

void TClientDataSet::DefineFields(const QJsonArray& layout)
{
    std::vector<TFieldDef> defs;
    for (const auto& v : layout)
        defs.push_back(FieldDefFromJson(v.toObject(), objectName()));
    DefineFields(defs);
}

TField* TClientDataSet::Fields(int index) const
{
    if (index < 0 || index >= FieldCount())
        throw EDataSetError(QStringLiteral("%1: não há campo de índice %2.").arg(objectName()).arg(index));
    return m_fields[size_t(index)].get();
}

TField* TClientDataSet::FindField(const QString& name) const
{
    for (const auto& f : m_fields)
        if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

TField* TClientDataSet::FieldByName(const QString& name) const
{
    if (TField* f = FindField(name))
        return f;
    throw EDataSetError(QStringLiteral("%1: campo '%2' não encontrado.").arg(objectName(), name));
}

CellRow TClientDataSet::emptyRow() const { return CellRow(m_fields.size()); }

void TClientDataSet::setState(TDataSetState state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged();
}

void TClientDataSet::requireActive(const char* operation) const
{
    if (!Active())
        throw EDataSetError(QStringLiteral("%1: %2 com o dataset fechado.").arg(objectName(), QString::fromUtf8(operation)));
}

// Like the platform: moving away from a record being edited posts it when it was changed.
void TClientDataSet::requireBrowse(const char* operation)
{
    requireActive(operation);
    if (m_state == dsEdit || m_state == dsInsert) {
        if (m_modified)
            Post();
        else
            Cancel();
    }
}

void TClientDataSet::CreateDataSet()
{
    if (m_fields.empty())
        throw EDataSetError(QStringLiteral("%1: não há campos definidos.").arg(objectName()));
    m_records.clear();
    m_deletedChanges = 0;
    m_modified = false;
    setState(dsBrowse);
    rebuildView();
    emit dataReset();
    First();
}

void TClientDataSet::Close()
{
    m_records.clear();
    m_view.clear();
    m_deletedChanges = 0;
    m_modified = false;
    m_eof = m_bof = true;
    setState(dsInactive);
    emit dataReset();
}

void TClientDataSet::EmptyDataSet()
{
    requireActive("EmptyDataSet");
    if (m_state != dsBrowse)
        Cancel();
    m_records.clear();
    m_deletedChanges = 0;
    rebuildView();
    emit dataReset();
    First();
}

void TClientDataSet::SetData(const QVariant& packet)
{
    if (!VarIsPacket(packet))
        throw EWireError(QStringLiteral("%1: esperava um pacote de dados e recebeu %2.")
                             .arg(objectName(), VarIsNull(packet)      ? QStringLiteral("Null")
                                                : VarIsArray(packet) ? QStringLiteral("uma lista de valores")
                                                                     : QString::fromLatin1(packet.typeName() ? packet.typeName() : "nada")));
    LoadPacket(packet.value<TDataPacket>());
}

void TClientDataSet::LoadPacket(const TDataPacket& packet)
{
    if (m_state == dsEdit || m_state == dsInsert)
        Cancel();
    if (m_fields.empty()) {
        // A dataset without a layout takes the packet's.
        std::vector<TFieldDef> defs;
        for (const auto& f : packet.fields())
            defs.push_back(TFieldDef{f.name, f.type, f.size});
        DefineFields(defs);
    }

    struct Column {
        int source;        // packet column, -1 when absent
        bool sameType;
    };
    std::vector<Column> columns;
    columns.reserve(m_fields.size());
    for (const auto& f : m_fields) {
        const int source = f->Calculated() ? -1 : packet.fieldIndex(f->FieldName());
        const bool same = source >= 0
                          && (packet.fields()[source].type == f->DataType()
                              || (isString(packet.fields()[source].type) && isString(f->DataType())));
        columns.push_back({source, same});
    }

    std::vector<Record> records;
    records.reserve(size_t(packet.rowCount()));
    const auto& states = packet.states();
    const size_t width = m_fields.size();
    for (size_t r = 0; r < packet.rows().size(); ++r) {
        const CellRow& in = packet.rows()[r];
        Record rec;
        rec.values.resize(width);
        for (size_t c = 0; c < width; ++c) {
            const Column& col = columns[c];
            if (col.source < 0)
                continue;
            const Cell& cell = in[size_t(col.source)];
            if (CellIsNull(cell))
                continue;
            const TField& f = *m_fields[c];
            if (col.sameType) {
                if (isString(f.DataType())) {
                    const QString& s = std::get<QString>(cell);
                    const bool cut = f.Size() > 0 && s.size() > f.Size();
                    const bool trim = f.DataType() == TFieldType::FixedString && s.endsWith(QLatin1Char(' '));
                    rec.values[c] = (cut || trim) ? f.ToCell(s) : cell;
                } else {
                    rec.values[c] = cell;
                }
            } else {
                try {
                    rec.values[c] = f.ToCell(cellToVariant(packet.fields()[col.source].type, cell));
                } catch (const EDataSetError& e) {
                    throw EWireError(QStringLiteral("%1, linha %2: %3").arg(objectName()).arg(r + 1).arg(e.message()));
                }
            }
        }
        rec.state = states.empty() ? TRowState::Unchanged : states[r];
        if (rec.state == TRowState::Modified)
            rec.original = rec.values;
        records.push_back(std::move(rec));
    }

    m_records = std::move(records);
    m_deletedChanges = 0;
    m_modified = false;
    rebuildView();
    m_pos = 0;
    setState(dsBrowse);   // whoever hears of the new state reads the new records
    emit dataReset();
    First();
}

TDataPacket TClientDataSet::Data() const
{
    QList<TPacketField> fields;
    std::vector<int> source;
    for (const auto& f : m_fields) {
        if (f->Calculated())
            continue;
        fields.append(TPacketField{f->FieldName(), f->DataType(), f->Size()});
        source.push_back(f->Index());
    }
    std::vector<CellRow> rows;
    std::vector<TRowState> states;
    bool anyChange = false;
    for (const Record& rec : m_records) {
        if (rec.deleted)
            continue;
        CellRow row;
        row.reserve(source.size());
        for (int i : source)
            row.push_back(rec.values[size_t(i)]);
        rows.push_back(std::move(row));
        states.push_back(rec.state);
        anyChange = anyChange || rec.state != TRowState::Unchanged;
    }
    if (!anyChange)
        states.clear();
    return TDataPacket(std::move(fields), std::move(rows), std::move(states));
}

QVariant TClientDataSet::DataVariant() const { return QVariant::fromValue(Data()); }

// ---- view and cursor

bool TClientDataSet::passesFilter(const Record& r)
{
    if (r.deleted)
        return false;
    if (!m_filtered || !m_filterExpr)
        return true;
    return EvalFilter(*m_filterExpr->root, r.values);
}

void TClientDataSet::rebuildView()
{
    m_view.clear();
    for (int i = 0; i < int(m_records.size()); ++i)
        if (passesFilter(m_records[size_t(i)]))
            m_view.push_back(i);
    if (m_pos >= int(m_view.size()))
        m_pos = std::max(0, int(m_view.size()) - 1);
}

void TClientDataSet::moveTo(int pos, bool fireScroll)
{
    m_pos = m_view.empty() ? 0 : std::clamp(pos, 0, int(m_view.size()) - 1);
    if (!m_view.empty())
        ensureCalc(m_view[size_t(m_pos)]);
    emit recordChanged();
    if (fireScroll && AfterScroll)
        AfterScroll(*this);
}

void TClientDataSet::First()
{
    requireBrowse("First");
    m_bof = true;
    m_eof = m_view.empty();
    moveTo(0);
}

void TClientDataSet::Last()
{
    requireBrowse("Last");
    m_eof = true;
    m_bof = m_view.empty();
    moveTo(int(m_view.size()) - 1);
}

void TClientDataSet::Next()
{
    requireBrowse("Next");
    if (m_pos + 1 < int(m_view.size())) {
        m_bof = false;
        m_eof = false;
        moveTo(m_pos + 1);
    } else {
        m_eof = true;
    }
}

void TClientDataSet::Prior()
{
    requireBrowse("Prior");
    if (m_pos > 0 && !m_view.empty()) {
        m_eof = false;
        m_bof = false;
        moveTo(m_pos - 1);
    } else {
        m_bof = true;
    }
}

void TClientDataSet::SetRecNo(int recNo)
{
    requireBrowse("RecNo");
    if (recNo < 1 || recNo > int(m_view.size()))
        return;
    m_bof = recNo == 1;
    m_eof = false;
    moveTo(recNo - 1);
}

// ---- calculated fields

namespace {
struct Restore {
    std::function<void()> f;
    ~Restore() { f(); }
};
} // namespace

void TClientDataSet::ensureCalc(int recordIndex)
{
    Record& rec = m_records[size_t(recordIndex)];
    if (rec.calcValid)
        return;
    rec.calcValid = true;
    if (!OnCalcFields)
        return;
    for (const auto& f : m_fields)
        if (f->Calculated())
            rec.values[size_t(f->Index())] = Cell{};
    const TDataSetState saved = m_state;
    const int savedOverride = m_readOverride;
    m_readOverride = recordIndex;
    m_state = dsCalcFields;
    Restore restore{[&] {
        m_state = saved;
        m_readOverride = savedOverride;
    }};
    OnCalcFields(*this);
}

void TClientDataSet::calcEditBuffer()
{
    if (!OnCalcFields)
        return;
    const TDataSetState saved = m_state;
    m_state = dsCalcFields;
    Restore restore{[&] { m_state = saved; }};
    OnCalcFields(*this);
}

const Cell& TClientDataSet::CellOf(int i)
{
    if (m_state == dsInactive)
        throw EDataSetError(QStringLiteral("%1: leitura do campo %2 com o dataset fechado.").arg(objectName(), m_fields[size_t(i)]->FieldName()));
    if (m_readOverride >= 0)
        return m_records[size_t(m_readOverride)].values[size_t(i)];
    if (m_state == dsEdit || m_state == dsInsert || (m_state == dsCalcFields && m_readOverride < 0)) {
        if (m_state != dsCalcFields && m_fields[size_t(i)]->Calculated())
            calcEditBuffer();
        return m_edit[size_t(i)];
    }
    if (m_view.empty())
        return nullCell();
    const int r = m_view[size_t(m_pos)];
    if (m_fields[size_t(i)]->Calculated())
        ensureCalc(r);
    return m_records[size_t(r)].values[size_t(i)];
}

void TClientDataSet::SetCellOf(int i, Cell cell)
{
    const TField& f = *m_fields[size_t(i)];
    if (m_state == dsCalcFields) {
        if (!f.Calculated())
            throw EDataSetError(QStringLiteral("%1: o campo %2 não pode ser alterado no cálculo.").arg(objectName(), f.FieldName()));
        if (m_readOverride >= 0)
            m_records[size_t(m_readOverride)].values[size_t(i)] = std::move(cell);
        else
            m_edit[size_t(i)] = std::move(cell);
        return;
    }
    if (m_state != dsEdit && m_state != dsInsert)
        throw EDataSetError(QStringLiteral("%1: o registro não está em edição (campo %2).").arg(objectName(), f.FieldName()));
    if (f.Calculated())
        throw EDataSetError(QStringLiteral("%1: o campo calculado %2 só é preenchido pelo cálculo.").arg(objectName(), f.FieldName()));
    if (m_edit[size_t(i)] == cell)
        return;
    m_edit[size_t(i)] = std::move(cell);
    m_modified = true;
    emit recordChanged();
}

template <class F>
auto TClientDataSet::withRecord(int recordIndex, F&& read)
{
    ensureCalc(recordIndex);
    const int saved = m_readOverride;
    m_readOverride = recordIndex;
    Restore restore{[&] { m_readOverride = saved; }};
    return read();
}

QString TClientDataSet::DisplayTextAt(int row, int fieldIndex)
{
    if (row == m_pos && (m_state == dsEdit))
        return Fields(fieldIndex)->DisplayText();
    return withRecord(m_view.at(size_t(row)), [&] { return Fields(fieldIndex)->DisplayText(); });
}

QVariant TClientDataSet::ValueAt(int row, int fieldIndex)
{
    return withRecord(m_view.at(size_t(row)), [&] { return Fields(fieldIndex)->Value(); });
}

// ---- editing

void TClientDataSet::Edit()
{
    requireActive("Edit");
    if (m_state == dsEdit || m_state == dsInsert)
        return;
    if (m_view.empty()) {
        Insert();
        return;
    }
    m_edit = m_records[size_t(m_view[size_t(m_pos)])].values;
    m_modified = false;
    setState(dsEdit);
}

void TClientDataSet::Insert()
{
    requireBrowse("Insert");
    m_edit = emptyRow();
    m_insertAt = m_view.empty() ? 0 : m_pos;
    m_modified = false;
    setState(dsInsert);
    if (OnNewRecord)
        OnNewRecord(*this);
    emit recordChanged();
}

void TClientDataSet::Append()
{
    requireBrowse("Append");
    m_edit = emptyRow();
    m_insertAt = int(m_view.size());
    m_modified = false;
    setState(dsInsert);
    if (OnNewRecord)
        OnNewRecord(*this);
    emit recordChanged();
}

void TClientDataSet::Post()
{
    if (m_state != dsEdit && m_state != dsInsert)
        throw EDataSetError(QStringLiteral("%1: Post sem registro em edição.").arg(objectName()));
    if (BeforePost)
        BeforePost(*this);   // an abort here leaves the record in edit, with its values
    for (const auto& f : m_fields)
        if (f->Calculated())
            m_edit[size_t(f->Index())] = Cell{};

    int recordIndex;
    if (m_state == dsEdit) {
        recordIndex = m_view[size_t(m_pos)];
        Record& rec = m_records[size_t(recordIndex)];
        if (rec.values != m_edit) {
            if (rec.state == TRowState::Unchanged) {
                rec.original = rec.values;
                rec.state = TRowState::Modified;
            }
            rec.values = std::move(m_edit);
        }
        rec.calcValid = false;
    } else {
        Record rec;
        rec.values = std::move(m_edit);
        rec.state = TRowState::Inserted;
        recordIndex = m_insertAt < int(m_view.size()) ? m_view[size_t(m_insertAt)] : int(m_records.size());
        m_records.insert(m_records.begin() + recordIndex, std::move(rec));
    }
    m_edit.clear();
    m_modified = false;
    setState(dsBrowse);
    rebuildView();
    const auto it = std::find(m_view.begin(), m_view.end(), recordIndex);
    m_bof = m_eof = false;
    emit dataReset();
    moveTo(it == m_view.end() ? m_pos : int(it - m_view.begin()), false);
    if (AfterPost)
        AfterPost(*this);
}

void TClientDataSet::Cancel()
{
    if (m_state != dsEdit && m_state != dsInsert)
        return;
    m_edit.clear();
    m_modified = false;
    setState(dsBrowse);
    emit recordChanged();
}

void TClientDataSet::Delete()
{
    requireBrowse("Delete");
    if (m_view.empty())
        throw EDataSetError(QStringLiteral("%1: não há registro para excluir.").arg(objectName()));
    const int r = m_view[size_t(m_pos)];
    if (m_records[size_t(r)].state == TRowState::Inserted) {
        m_records.erase(m_records.begin() + r);
    } else {
        m_records[size_t(r)].deleted = true;
        ++m_deletedChanges;
    }
    rebuildView();
    m_eof = m_view.empty();
    emit dataReset();
    moveTo(m_pos);
}

// ---- change log

int TClientDataSet::ChangeCount() const
{
    int count = m_deletedChanges;
    for (const Record& r : m_records)
        if (!r.deleted && r.state != TRowState::Unchanged)
            ++count;
    return count;
}

void TClientDataSet::MergeChangeLog()
{
    std::erase_if(m_records, [](const Record& r) { return r.deleted; });
    for (Record& r : m_records) {
        r.state = TRowState::Unchanged;
        r.original.clear();
    }
    m_deletedChanges = 0;
    rebuildView();
}

void TClientDataSet::CancelUpdates()
{
    Cancel();
    std::erase_if(m_records, [](const Record& r) { return r.state == TRowState::Inserted; });
    for (Record& r : m_records) {
        r.deleted = false;
        if (r.state == TRowState::Modified)
            r.values = r.original;
        r.state = TRowState::Unchanged;
        r.original.clear();
        r.calcValid = false;
    }
    m_deletedChanges = 0;
    rebuildView();
    emit dataReset();
    if (Active())
        First();
}

// ---- filter and Locate

void TClientDataSet::SetFilter(const QString& filter)
{
    auto expr = std::make_shared<FilterExpr>();
    if (!filter.trimmed().isEmpty())
        expr->root = ParseFilter(filter, *this);
    m_filter = filter;
    m_filterExpr = expr->root ? expr : nullptr;
    if (m_filtered && Active()) {
        requireBrowse("Filter");
        rebuildView();
        emit dataReset();
        First();
    }
}

void TClientDataSet::SetFiltered(bool filtered)
{
    if (m_filtered == filtered)
        return;
    m_filtered = filtered;
    if (Active()) {
        requireBrowse("Filtered");
        rebuildView();
        emit dataReset();
        First();
    }
}

bool TClientDataSet::Locate(const QString& keyFields, const QVariant& keyValues, TLocateOptions options)
{
    requireBrowse("Locate");
    const QStringList names = keyFields.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    std::vector<TField*> fields;
    for (const QString& n : names)
        fields.push_back(FieldByName(n.trimmed()));
    QVariantList values;
    if (fields.size() == 1 && !VarIsArray(keyValues))
        values = {keyValues};
    else
        values = keyValues.toList();
    if (values.size() != qsizetype(fields.size()))
        throw EDataSetError(QStringLiteral("%1: Locate com %2 campo(s) e %3 valor(es).").arg(objectName()).arg(fields.size()).arg(values.size()));

    const Qt::CaseSensitivity cs = (options & loCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
    for (int pos = 0; pos < int(m_view.size()); ++pos) {
        const Record& rec = m_records[size_t(m_view[size_t(pos)])];
        bool match = true;
        for (size_t k = 0; k < fields.size() && match; ++k) {
            const Cell& cell = rec.values[size_t(fields[k]->Index())];
            const QVariant& wanted = values[qsizetype(k)];
            if (VarIsClear(wanted)) {
                match = CellIsNull(cell);
                continue;
            }
            const QString have = fields[k]->CellText(cell);
            const QString want = fields[k]->CellText(fields[k]->ToCell(wanted));
            match = (options & loPartialKey) ? have.startsWith(want, cs) : have.compare(want, cs) == 0;
        }
        if (match) {
            m_bof = m_eof = false;
            moveTo(pos);
            return true;
        }
    }
    return false;
}

// ============================================================================ TDataSource

TDataSource::TDataSource(QObject* parent, const QString& name, TClientDataSet* dataSet) : QObject(parent)
{
    setObjectName(name);
    SetDataSet(dataSet);
}

void TDataSource::SetDataSet(TClientDataSet* dataSet)
{
    for (const auto& c : m_links)
        disconnect(c);
    m_links.clear();
    m_dataSet = dataSet;
    // What the controls and lists show has changed with the dataset.
    emit dataReset();
    if (!dataSet)
        return;
    m_links << connect(dataSet, &TClientDataSet::stateChanged, this, [this] {
        if (OnStateChange)
            OnStateChange(*this);
        emit stateChanged();
    });
    m_links << connect(dataSet, &TClientDataSet::recordChanged, this, &TDataSource::recordChanged);
    m_links << connect(dataSet, &TClientDataSet::dataReset, this, &TDataSource::dataReset);
    m_links << connect(dataSet, &QObject::destroyed, this, [this] {
        m_dataSet = nullptr;
        emit dataReset();   // what showed its fields shows nothing now
    });
}

// ============================================================================ layouts

TFieldDef FieldDefFromJson(const QJsonObject& o, const QString& dataSetName)
{
    TFieldDef def;
    def.name = o.value(QLatin1String("name")).toString();
    if (def.name.isEmpty())
        throw EDataSetError(QStringLiteral("%1: campo sem nome no layout.").arg(dataSetName));
    const auto type = FieldTypeFromName(o.value(QLatin1String("type")).toString());
    if (!type)
        throw EDataSetError(QStringLiteral("%1: o campo %2 tem o tipo desconhecido \"%3\".")
                                .arg(dataSetName, def.name, o.value(QLatin1String("type")).toString()));
    def.type = *type;
    if (o.value(QLatin1String("fixed")).toBool() && def.type == TFieldType::String)
        def.type = TFieldType::FixedString;
    def.size = o.value(QLatin1String("size")).toInt();
    if (def.size < 0 || def.size > MaxFieldSize)
        throw EDataSetError(QStringLiteral("%1: o campo %2 tem tamanho inválido.").arg(dataSetName, def.name));
    def.kind = o.value(QLatin1String("calculated")).toBool() ? fkCalculated : fkData;
    def.displayLabel = o.value(QLatin1String("label")).toString();
    def.visible = o.value(QLatin1String("visible")).toBool(true);
    def.displayFormat = o.value(QLatin1String("displayFormat")).toString();
    def.editFormat = o.value(QLatin1String("editFormat")).toString();
    def.displayWidth = o.value(QLatin1String("displayWidth")).toInt();
    if (o.contains(QLatin1String("providerFlags"))) {
        def.providerFlags = 0;
        for (const auto& flag : o.value(QLatin1String("providerFlags")).toArray()) {
            const QString f = flag.toString();
            if (f == QLatin1String("inUpdate"))
                def.providerFlags |= pfInUpdate;
            else if (f == QLatin1String("inWhere"))
                def.providerFlags |= pfInWhere;
            else if (f == QLatin1String("inKey"))
                def.providerFlags |= pfInKey;
            else if (f == QLatin1String("hidden"))
                def.providerFlags |= pfHidden;
            else
                throw EDataSetError(QStringLiteral("%1: o campo %2 tem a marca de provedor desconhecida \"%3\".").arg(dataSetName, def.name, f));
        }
    }
    return def;
}

void DefineDataSets(QObject* owner, const QString& layoutPath)
{
    QFile file(layoutPath);
    if (!file.open(QIODevice::ReadOnly))
        throw EDataSetError(QStringLiteral("O layout de datasets %1 não pôde ser lido.").arg(layoutPath));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        throw EDataSetError(QStringLiteral("O layout de datasets %1 é inválido: %2").arg(layoutPath, error.errorString()));
    const QJsonObject layouts = doc.object();
    for (auto it = layouts.begin(); it != layouts.end(); ++it) {
        auto* ds = owner->findChild<TClientDataSet*>(it.key(), Qt::FindDirectChildrenOnly);
        if (!ds)
            ds = new TClientDataSet(owner, it.key());
        ds->DefineFields(it.value().toArray());
    }
}
