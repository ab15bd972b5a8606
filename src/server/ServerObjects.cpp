#include "ServerObjects.h"

#include "Errors.h"
#include "Variants.h"
#include "Wire.h"

#include <QSqlQuery>

namespace {
QString describe(const QVariant& v)
{
    try {
        return QString::fromUtf8(Wire::Encode(v)).left(60);
    } catch (const EHostError&) {
        return QString::fromLatin1(v.typeName());
    }
}
} // namespace

QString TCall::text(int i) const
{
    const QVariant& v = raw(i);
    switch (v.metaType().id()) {
    case QMetaType::QString: return v.toString();
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Double: return v.toString();
    default: break;
    }
    if (VarIsClear(v))
        return {};
    throw EWireError(QStringLiteral("%1: o argumento %2 deve ser um texto (recebido %3).").arg(where()).arg(i + 1).arg(describe(v)));
}

double TCall::number(int i) const
{
    const QVariant& v = raw(i);
    bool ok = false;
    const double d = v.metaType().id() == QMetaType::QString ? v.toString().toDouble(&ok) : v.toDouble(&ok);
    if (!ok || VarIsClear(v))
        throw EWireError(QStringLiteral("%1: o argumento %2 deve ser um número (recebido %3).").arg(where()).arg(i + 1).arg(describe(v)));
    return d;
}

TDataPacket TCall::packet(int i) const
{
    const QVariant& v = raw(i);
    if (!VarIsPacket(v))
        throw EWireError(QStringLiteral("%1: o argumento %2 deve ser um pacote de dados (recebido %3).").arg(where()).arg(i + 1).arg(describe(v)));
    return v.value<TDataPacket>();
}

QDate TCall::date(int i) const
{
    const QVariant& v = raw(i);
    QDate d = v.metaType().id() == QMetaType::QDate ? v.toDate()
              : v.metaType().id() == QMetaType::QDateTime ? v.toDateTime().date()
                                                           : QDate::fromString(v.toString(), Qt::ISODate);
    if (!d.isValid())
        throw EWireError(QStringLiteral("%1: o argumento %2 deve ser uma data (recebido %3).").arg(where()).arg(i + 1).arg(describe(v)));
    return d;
}

TServerObjects::TServerObjects(TStore& store) : m_store(store) {}

void TServerObjects::Add(const QString& object, const QString& method, int argumentCount, Method body)
{
    m_methods[object + QLatin1Char('.') + method] = {argumentCount, std::move(body)};
}

QStringList TServerObjects::Methods() const
{
    QStringList names;
    for (const auto& [name, entry] : m_methods)
        names << name;
    return names;
}

TRpcReply TServerObjects::Dispatch(const TRpcRequest& request)
{
    const QString name = request.object + QLatin1Char('.') + request.method;
    const auto it = m_methods.find(name);
    if (it == m_methods.end()) {
        const bool objectKnown = std::any_of(m_methods.begin(), m_methods.end(), [&](const auto& m) {
            return m.first.startsWith(request.object + QLatin1Char('.'));
        });
        return TRpcReply::Error(objectKnown ? QStringLiteral("Método desconhecido: %1").arg(name)
                                            : QStringLiteral("Objeto de servidor desconhecido: %1").arg(request.object));
    }
    if (request.params.size() != it->second.argumentCount)
        return TRpcReply::Error(QStringLiteral("%1 recebe %2 argumento(s) e recebeu %3.").arg(name).arg(it->second.argumentCount).arg(request.params.size()));
    TRpcReply reply;
    try {
        m_store.transaction([&](QSqlDatabase& db) {
            TCall call{db, m_store, request, {}};
            reply.result = it->second.body(call);
            reply.byref = call.byref;
        });
    } catch (const ERefusal& e) {
        return TRpcReply::Fail(QString::fromUtf8(e.what()));
    } catch (const EServerError& e) {
        return TRpcReply::Error(QString::fromUtf8(e.what()));
    } catch (const EHostError& e) {
        return TRpcReply::Error(e.message());
    }
    return reply;
}

QString Stamp(const QDateTime& moment) { return moment.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")); }
QString Now() { return Stamp(QDateTime::currentDateTime()); }

QString NextNumber(QSqlDatabase& db, const QString& counter, int width)
{
    // The counter's row is updated first, which locks it until the transaction ends.
    QSqlQuery updated = Run(db, QStringLiteral("UPDATE NUMERADOR SET NRULTIMO = NRULTIMO + 1 WHERE NMCHAVE = ?"), {counter});
    if (updated.numRowsAffected() == 0)
        Run(db, QStringLiteral("INSERT INTO NUMERADOR (NMCHAVE, NRULTIMO) VALUES (?, 1)"), {counter});
    const int number = Scalar(db, QStringLiteral("SELECT NRULTIMO FROM NUMERADOR WHERE NMCHAVE = ?"), {counter}).toInt();
    return QString::number(number).rightJustified(width, QLatin1Char('0'));
}

bool Truthy(const QVariant& v)
{
    if (v.metaType().id() == QMetaType::Bool)
        return v.toBool();
    const QString t = v.toString().trimmed().toUpper();
    return t == QLatin1String("S") || t == QLatin1String("1") || t == QLatin1String("TRUE");
}

void RegisterAll(TServerObjects& objects)
{
    RegisterHost(objects);
    RegisterQuote(objects);
    RegisterApproval(objects);
    RegisterClosing(objects);
    RegisterExecution(objects);
    RegisterScreens(objects);
}
