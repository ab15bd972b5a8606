#include "DataPacket.h"

#include <QVariant>
#include <array>

namespace {
constexpr std::array<std::pair<TFieldType, const char*>, 8> typeNames{{
    {TFieldType::String, "string"},
    {TFieldType::FixedString, "fixedstring"},
    {TFieldType::Integer, "integer"},
    {TFieldType::Float, "float"},
    {TFieldType::Boolean, "boolean"},
    {TFieldType::Date, "date"},
    {TFieldType::DateTime, "datetime"},
    {TFieldType::Blob, "blob"},
}};
}

QString FieldTypeName(TFieldType type)
{
    for (const auto& [t, name] : typeNames)
        if (t == type)
            return QString::fromLatin1(name);
    return {};
}

std::optional<TFieldType> FieldTypeFromName(const QString& name)
{
    for (const auto& [t, n] : typeNames)
        if (name == QLatin1String(n))
            return t;
    return std::nullopt;
}

TDataPacket::TDataPacket() : d(std::make_shared<Data>()) {}

TDataPacket::TDataPacket(QList<TPacketField> fields, std::vector<CellRow> rows, std::vector<TRowState> states)
    : d(std::make_shared<Data>(Data{std::move(fields), std::move(rows), std::move(states)}))
{
}

int TDataPacket::fieldIndex(const QString& name) const
{
    for (int i = 0; i < d->fields.size(); ++i)
        if (d->fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

bool TDataPacket::operator==(const TDataPacket& other) const
{
    if (d == other.d)
        return true;
    if (d->fields.size() != other.d->fields.size() || d->rows != other.d->rows || d->states != other.d->states)
        return false;
    for (int i = 0; i < d->fields.size(); ++i) {
        const auto& a = d->fields[i];
        const auto& b = other.d->fields[i];
        if (a.name != b.name || a.type != b.type || a.size != b.size)
            return false;
    }
    return true;
}

bool VarIsPacket(const QVariant& v) { return v.metaType() == QMetaType::fromType<TDataPacket>(); }

QString FitText(QString text, TFieldType type, int size)
{
    if (size > 0 && text.size() > size)
        text.truncate(size);
    if (type == TFieldType::FixedString)
        while (text.endsWith(QLatin1Char(' ')))
            text.chop(1);
    return text;
}
