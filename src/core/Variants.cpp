#include "Variants.h"

#include "DataPacket.h"
#include "Errors.h"

QVariant Null() { return QVariant::fromValue(nullptr); }
QVariant Unassigned() { return QVariant(); }

bool VarIsNull(const QVariant& v) { return v.isValid() && v.metaType().id() == QMetaType::Nullptr; }
bool VarIsEmpty(const QVariant& v) { return !v.isValid(); }
bool VarIsClear(const QVariant& v) { return VarIsEmpty(v) || VarIsNull(v); }
bool VarIsArray(const QVariant& v) { return v.metaType().id() == QMetaType::QVariantList; }

QVariant VarArrayOf(std::initializer_list<QVariant> values) { return QVariantList(values); }

QString VarToStr(const QVariant& v)
{
    if (VarIsClear(v))
        return {};
    return v.toString();
}

static QString describe(const QVariant& v)
{
    if (VarIsEmpty(v))
        return QStringLiteral("nada (Unassigned)");
    if (VarIsNull(v))
        return QStringLiteral("Null");
    if (v.canConvert<TDataPacket>() && v.metaType() == QMetaType::fromType<TDataPacket>())
        return QStringLiteral("um pacote de dados");
    return QStringLiteral("um valor do tipo %1").arg(QString::fromLatin1(v.typeName()));
}

QVariant VarElement(const QVariant& array, int index, const QString& context)
{
    if (!VarIsArray(array))
        throw EWireError(QStringLiteral("%1: esperava uma lista de valores e recebeu %2 (elemento %3 pedido).")
                             .arg(context, describe(array))
                             .arg(index));
    const QVariantList list = array.toList();
    if (index < 0 || index >= list.size())
        throw EWireError(QStringLiteral("%1: a lista recebida tem %2 elemento(s); o elemento %3 não existe.")
                             .arg(context)
                             .arg(list.size())
                             .arg(index));
    return list.at(index);
}

void* VarRefAddress(const QVariant& v, const char* what)
{
    const int id = v.metaType().id();
    if (id != QMetaType::LongLong && id != QMetaType::Int && id != QMetaType::ULongLong)
        throw EWireError(QStringLiteral("Referência esperada (%1), recebido %2.").arg(QString::fromLatin1(what), describe(v)));
    const auto address = static_cast<std::intptr_t>(v.toLongLong());
    if (address == 0)
        throw EWireError(QStringLiteral("Referência nula (%1).").arg(QString::fromLatin1(what)));
    return reinterpret_cast<void*>(address);
}
