#include "Journal.h"

#include "Errors.h"
#include "Sessions.h"
#include "Store.h"
#include "Wire.h"

#include <QSqlQuery>

namespace Journal {

void Append(QSqlDatabase& db, const TJournalEntry& e)
{
    auto orNull = [](const QString& text) { return text.isEmpty() ? QVariant() : QVariant(text); };
    Run(db, QStringLiteral("INSERT INTO JORNAL (DTREGISTRO, CDOPERADOR, CDFILIAL, NMOBJETO, NMMETODO, CDFILIALORCA, NRORCAEVENTO, NRSEQORCAEVE, "
                           "IDRESULTADO, DSMENSAGEM, DSARGUMENTOS) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        {PreciseStamp(e.moment), orNull(e.operatorCode.left(40)), orNull(e.branch.left(10)), e.object, e.method, orNull(e.quoteBranch.left(4)),
         orNull(e.quoteNumber.left(10)), orNull(e.quoteSequence.left(2)), e.outcome, orNull(e.message), orNull(e.arguments)});
}

QString Arguments(const QVariantList& arguments, const QList<int>& secret)
{
    QVariantList shown = arguments;
    for (int i : secret)
        if (i >= 0 && i < shown.size())
            shown[i] = QStringLiteral("********");
    try {
        return QString::fromUtf8(Wire::Encode(shown));
    } catch (const EHostError& e) {
        return QStringLiteral("(argumentos não codificáveis: %1)").arg(e.message());
    }
}

void Read(QSqlDatabase& db, const QString& quoteNumber, const QDate& since, const std::function<void(const TJournalEntry&)>& each)
{
    QString sql = QStringLiteral("SELECT DTREGISTRO, CDOPERADOR, CDFILIAL, NMOBJETO, NMMETODO, CDFILIALORCA, NRORCAEVENTO, NRSEQORCAEVE, "
                                 "IDRESULTADO, DSMENSAGEM, DSARGUMENTOS FROM JORNAL WHERE 1 = 1");
    QVariantList params;
    if (!quoteNumber.isEmpty()) {
        sql += QStringLiteral(" AND NRORCAEVENTO = ?");
        params << quoteNumber;
    }
    if (since.isValid()) {
        sql += QStringLiteral(" AND DTREGISTRO >= ?");
        params << since.toString(Qt::ISODate);
    }
    TRows q = Run(db, sql + QStringLiteral(" ORDER BY NRJORNAL"), params);
    while (q.next()) {
        auto text = [&](int i) { return q.value(i).toString(); };
        each({QDateTime::fromString(text(0), Qt::ISODateWithMs), text(1), text(2), text(3), text(4), text(5), text(6), text(7), text(8), text(9),
              text(10)});
    }
}

QString Line(const TJournalEntry& e)
{
    const QString quote = e.quoteNumber.isEmpty() ? QStringLiteral("-") : QStringList{e.quoteBranch, e.quoteNumber, e.quoteSequence}.join(QLatin1Char('/'));
    QString line = QStringLiteral("%1  %2  %3  %4.%5  %6  %7")
                       .arg(e.moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")), e.operatorCode.isEmpty() ? QStringLiteral("-") : e.operatorCode,
                            e.branch.isEmpty() ? QStringLiteral("-") : e.branch, e.object, e.method, quote, e.outcome);
    if (!e.message.isEmpty())
        line += QStringLiteral("  \"%1\"").arg(e.message);
    if (!e.arguments.isEmpty())
        line += QStringLiteral("  %1").arg(e.arguments);
    return line;
}

} // namespace Journal
