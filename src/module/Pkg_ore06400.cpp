// Package Pkg_ore06400: its entry points and the module's entry, IniProc.
#include "Cli_ore06400.h"
#include "Cli_ore06401.h"
#include "Errors.h"
#include "ScreenLoader.h"
#include "Variants.h"
#include "Wire.h"

#include <QVariant>

#include <cmath>

namespace {

const TPackageUnit units[] = {
    {"Cli_ore06400", &Cli_ore06400::Initialization, &Cli_ore06400::Finalization},
    {"Cli_ore06401", &Cli_ore06401::Initialization, &Cli_ore06401::Finalization},
};
const TPackageInfoTable packageInfo{int(std::size(units)), units};
int references = 0;

[[noreturn]] void refuse(const QString& why)
{
    throw EConvertError(QStringLiteral("IniProc: %1").arg(why));
}

QString describe(const QVariant& v)
{
    try {
        return QString::fromUtf8(Wire::Encode(v));
    } catch (const EHostError&) {
        return QString::fromLatin1(v.typeName());
    }
}

qint32 toInteger(const QVariant& v, int index)
{
    bool ok = false;
    qint64 value = 0;
    switch (v.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        value = v.toLongLong(&ok);
        break;
    case QMetaType::Double: {
        const double d = v.toDouble();
        ok = std::isfinite(d) && d == std::floor(d);
        value = ok ? qint64(d) : 0;
        break;
    }
    case QMetaType::QString: value = v.toString().trimmed().toLongLong(&ok); break;
    default: break;
    }
    if (!ok || value < INT32_MIN || value > INT32_MAX)
        refuse(QStringLiteral("o elemento %1 (%2) não é um número inteiro.").arg(index).arg(describe(v)));
    return qint32(value);
}

QString toText(const QVariant& v, int index)
{
    if (VarIsEmpty(v))
        return {};
    switch (v.metaType().id()) {
    case QMetaType::QString:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::QChar: return v.toString();
    default: break;
    }
    refuse(QStringLiteral("o elemento %1 (%2) não é um texto.").arg(index).arg(describe(v)));
}

} // namespace

extern "C" {

const TPackageInfoTable* GetPackageInfoTable() { return &packageInfo; }
void Initialize() { InitializePackage(packageInfo, references); }
void Finalize() { FinalizePackage(packageInfo, references); }

// The entry: a variant array of the situation, branch, quote number, sequence, operator and
// calling screen. Everything is converted before any global is written.
void IniProc(QVariant Params)
{
    if (!VarIsArray(Params))
        refuse(QStringLiteral("esperava uma lista de seis valores e recebeu %1.").arg(describe(Params)));
    const QVariantList values = Params.toList();
    if (values.size() < 6)
        refuse(QStringLiteral("esperava seis valores (situação, filial, orçamento, sequência, operador, tela) e recebeu %1.")
                   .arg(values.size()));
    const qint32 situation = toInteger(values[0], 0);
    const QString branch = toText(values[1], 1);
    const QString quote = toText(values[2], 2);
    const QString sequence = toText(values[3], 3);
    const QString operatorCode = toText(values[4], 4);
    const QString screen = toText(values[5], 5);
    Cli_ore06400::CriaProcessaOrca(situation, branch, quote, sequence, operatorCode, screen);
}

} // extern "C"
