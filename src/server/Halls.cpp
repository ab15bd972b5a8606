// Hall scheduling: booking limits per day and time spans that may not overlap.
#include "Quote.h"

#include <QDateTime>
#include <QSqlQuery>

namespace {
QDateTime parse(const QString& text) { return QDateTime::fromString(text.left(19), Qt::ISODate); }
} // namespace

std::pair<QDateTime, QDateTime> HallSpan(QSqlDatabase& db, const TQuoteKey& key, const QString& hall)
{
    TRows q = Run(db, QStringLiteral("SELECT O.DTEVENTO, O.QTHREVENTO, S.HRINIUTILSALAO, S.QTHRDURASALEVEN FROM ORCAEVENTO O "
                                         "JOIN SALAOORCA S ON S.CDFILIAL = O.CDFILIAL AND S.NRORCAEVENTO = O.NRORCAEVENTO AND S.NRSEQORCAEVE = O.NRSEQORCAEVE "
                                         "WHERE O.CDFILIAL = ? AND O.NRORCAEVENTO = ? AND O.NRSEQORCAEVE = ? AND S.CDSALAOEVEN = ?"),
                      {key.branch, key.number, key.sequence, hall});
    if (!q.next())
        return {};
    QDateTime start = parse(q.value(0).toString());
    const QString hour = q.value(2).toString();
    if (hour.size() == 4 && start.isValid())
        start.setTime(QTime(hour.left(2).toInt(), hour.mid(2).toInt()));
    const double hours = q.value(3).isNull() ? q.value(1).toDouble() : q.value(3).toDouble();
    return {start, start.addSecs(qint64(std::max(hours, 0.0) * 3600))};
}

QStringList ReservedHalls(QSqlDatabase& db, const TQuoteKey& key)
{
    TRows q = Run(db, QStringLiteral("SELECT CDSALAOEVEN FROM SALAOORCA") + kWhereKey + QStringLiteral(" AND IDSITAGENSAL = 'R' ORDER BY CDSALAOEVEN"),
                      key.params());
    QStringList halls;
    while (q.next())
        halls << q.value(0).toString();
    return halls;
}

QString HallConflict(TCall& call, const TQuoteKey& key, const QString& hall, bool lock)
{
    TRows h = Run(call.db, QStringLiteral("SELECT NMSALAOEVEN, QTLIMAGENDIA FROM SALAO WHERE CDFILIAL = ? AND CDSALAOEVEN = ?") + (lock ? call.store.forUpdate() : QString()),
                      {key.branch, hall});
    if (!h.next())
        throw ERefusal(QStringLiteral("Salão %1 não cadastrado na filial %2.").arg(hall, key.branch));
    const QString name = h.value(0).toString();
    if (h.value(1).isNull())
        return QStringLiteral("N_LIMITE_DEF|") + name;
    const int limit = h.value(1).toInt();

    const auto [start, end] = HallSpan(call.db, key, hall);
    if (!start.isValid())
        return {};
    const QString day = start.date().toString(Qt::ISODate);
    const QVariantList others{key.branch, hall, day + QStringLiteral("T00:00:00"), day + QStringLiteral("T23:59:59"), key.number, key.sequence};
    const int sameDay = Scalar(call.db, QStringLiteral("SELECT COUNT(*) FROM AGENDASALAO WHERE CDFILIAL = ? AND CDSALAOEVEN = ? AND DTINICIO >= ? AND DTINICIO <= ? "
                                                       "AND NOT (NRORCAEVENTO = ? AND NRSEQORCAEVE = ?)"),
                               others).toInt();
    if (sameDay >= limit)
        return QStringLiteral("ACIMA_LIMITE|") + name;

    // Spans that touch do not overlap: one may end when the next begins.
    const QString from = Stamp(start);
    const QString to = Stamp(end);
    const int overlapping = Scalar(call.db, QStringLiteral("SELECT COUNT(*) FROM AGENDASALAO WHERE CDFILIAL = ? AND CDSALAOEVEN = ? "
                                                           "AND DTINICIO < ? AND DTFIM > ? AND NOT (NRORCAEVENTO = ? AND NRSEQORCAEVE = ?)"),
                                   {key.branch, hall, to, from, key.number, key.sequence}).toInt();
    if (overlapping > 0)
        return QStringLiteral("DTA_HRA_MARC|") + name;
    return {};
}
