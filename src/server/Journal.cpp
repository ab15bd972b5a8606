#include "Journal.h"

#include "Errors.h"
#include "Sessions.h"
#include "Store.h"
#include "Variants.h"
#include "Wire.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlQuery>

namespace Journal {
namespace {

// The columns an entry's hash covers, in the order it covers them.
const QString kColumns = QStringLiteral("DTREGISTRO, CDOPERADOR, CDFILIAL, NMOBJETO, NMMETODO, CDFILIALORCA, NRORCAEVENTO, NRSEQORCAEVE, "
                                        "IDRESULTADO, DSMENSAGEM, DSARGUMENTOS, DSORIGEM");
constexpr int kColumnCount = 12;

// The hash before the first entry.
const QString kGenesis = QString(64, QLatin1Char('0'));

// An entry's link: SHA-256, in hex, over a tag, the previous entry's hash, the entry's place in
// the chain (1 for the first) and each column as written, a null told apart from an empty text.
QString Link(const QString& previous, qint64 position, const QVariantList& columns)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData("ore-jornal-1\n");
    hash.addData(previous.toLatin1());
    hash.addData("\n" + QByteArray::number(position) + "\n");
    for (const QVariant& column : columns) {
        if (column.isNull()) {
            hash.addData(QByteArrayView("-\n"));
            continue;
        }
        const QByteArray text = column.toString().toUtf8();
        hash.addData(QByteArray::number(text.size()) + ':');
        hash.addData(text);
        hash.addData(QByteArrayView("\n"));
    }
    return QString::fromLatin1(hash.result().toHex());
}

// The columns of the entries in NRJORNAL's order, in batches, with their number and stored
// hash; `each` answers false to stop.
void Walk(QSqlDatabase& db, const std::function<bool(qint64 number, const QVariantList& columns, const QVariant& stored)>& each)
{
    qint64 after = -1;
    for (;;) {
        std::vector<std::tuple<qint64, QVariantList, QVariant>> batch;
        {
            TRows q = Run(db, QStringLiteral("SELECT NRJORNAL, DSHASH, %1 FROM JORNAL WHERE NRJORNAL > ? ORDER BY NRJORNAL LIMIT 2000").arg(kColumns), {after});
            while (q.next()) {
                QVariantList columns;
                columns.reserve(kColumnCount);
                for (int i = 0; i < kColumnCount; ++i)
                    columns << (q.isNull(2 + i) ? QVariant() : QVariant(q.value(2 + i).toString()));
                batch.emplace_back(q.value(0).toLongLong(), std::move(columns), q.isNull(1) ? QVariant() : QVariant(q.value(1).toString()));
            }
        }
        if (batch.empty())
            return;
        for (const auto& [number, columns, stored] : batch) {
            after = number;
            if (!each(number, columns, stored))
                return;
        }
    }
}

QVariant OrNull(const QString& text) { return text.isEmpty() ? QVariant() : QVariant(text); }

QJsonValue GlimpseOf(const QVariant& v)
{
    if (VarIsNull(v))
        return QJsonValue::Null;
    if (VarIsClear(v))
        return QStringLiteral("um valor não atribuído");
    if (VarIsPacket(v))
        return QStringLiteral("um pacote de %1 linha(s)").arg(v.value<TDataPacket>().rows().size());
    switch (v.metaType().id()) {
    case QMetaType::QVariantList: return QStringLiteral("uma lista de %1 valor(es)").arg(v.toList().size());
    case QMetaType::QString: {
        const QString text = v.toString();
        return text.size() > 60 ? text.left(60) + QStringLiteral("… (%1 caracteres)").arg(text.size()) : text;
    }
    case QMetaType::Bool: return v.toBool();
    case QMetaType::Int:
    case QMetaType::LongLong: return v.toLongLong();
    case QMetaType::Double: return v.toDouble();
    case QMetaType::QDate: return v.toDate().toString(Qt::ISODate);
    case QMetaType::QDateTime: return v.toDateTime().toString(Qt::ISODate);
    default: return QString::fromLatin1(v.typeName());
    }
}

} // namespace

void Append(QSqlDatabase& db, const TJournalEntry& e)
{
    // The link's row, locked to the end of the transaction: an append of another transaction
    // waits here for this one to end, and then chains to it.
    qint64 position = 0;
    QString previous;
    {
        TRows link = Run(db, QStringLiteral("SELECT QTREGISTROS, DSHASH FROM JORNALELO WHERE IDELO = 1") + ForUpdate(db));
        if (!link.next())
            throw EStoreError(QStringLiteral("O jornal não tem seu elo (tabela JORNALELO): nenhum registro pode ser acrescentado."));
        position = link.value(0).toLongLong() + 1;
        previous = link.value(1).toString();
    }
    const QVariantList columns{PreciseStamp(e.moment), OrNull(e.operatorCode.left(40)), OrNull(e.branch.left(10)), e.object, e.method,
                               OrNull(e.quoteBranch.left(4)), OrNull(e.quoteNumber.left(10)), OrNull(e.quoteSequence.left(2)), e.outcome,
                               OrNull(e.message), OrNull(e.arguments), OrNull(e.peer.left(64))};
    const QString hash = Link(previous, position, columns);
    const QVariant number = Scalar(db, QStringLiteral("INSERT INTO JORNAL (%1, DSHASH) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING NRJORNAL").arg(kColumns),
                                   columns + QVariantList{hash});
    Run(db, QStringLiteral("UPDATE JORNALELO SET NRJORNAL = ?, QTREGISTROS = ?, DSHASH = ? WHERE IDELO = 1"), {number, position, hash});
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

QString Glimpse(const QVariantList& arguments, const QList<int>& secret)
{
    constexpr qsizetype kShown = 16;
    QJsonArray shown;
    for (qsizetype i = 0; i < std::min(arguments.size(), kShown); ++i)
        shown.append(secret.contains(int(i)) ? QJsonValue(QStringLiteral("********")) : GlimpseOf(arguments[i]));
    if (arguments.size() > kShown)
        shown.append(QStringLiteral("… e mais %1 argumento(s)").arg(arguments.size() - kShown));
    return QString::fromUtf8(QJsonDocument(shown).toJson(QJsonDocument::Compact));
}

void Read(QSqlDatabase& db, const QString& quoteNumber, const QDate& since, const std::function<void(const TJournalEntry&)>& each)
{
    QString sql = QStringLiteral("SELECT DTREGISTRO, CDOPERADOR, CDFILIAL, NMOBJETO, NMMETODO, CDFILIALORCA, NRORCAEVENTO, NRSEQORCAEVE, "
                                 "IDRESULTADO, DSMENSAGEM, DSARGUMENTOS, DSORIGEM FROM JORNAL WHERE 1 = 1");
    QVariantList params;
    if (!quoteNumber.isEmpty()) {
        sql += QStringLiteral(" AND NRORCAEVENTO = ?");
        params << quoteNumber;
    }
    if (since.isValid()) {
        sql += QStringLiteral(" AND DTREGISTRO >= ?");
        params << PreciseStamp(QDateTime(since, QTime(0, 0)));   // the day begins at the server's local midnight
    }
    TRows q = Run(db, sql + QStringLiteral(" ORDER BY NRJORNAL"), params);
    while (q.next()) {
        auto text = [&](int i) { return q.value(i).toString(); };
        each({ParseStamp(text(0)), text(1), text(2), text(3), text(4), text(5), text(6), text(7), text(8), text(9),
              text(10), text(11)});
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
    if (!e.peer.isEmpty())
        line += QStringLiteral("  (de %1)").arg(e.peer);
    return line;
}

TVerification Verify(QSqlDatabase& db)
{
    TVerification result;
    qint64 linkedCount = 0, linkedNumber = 0;
    QString linkedHash;
    try {
        TRows link = Run(db, QStringLiteral("SELECT QTREGISTROS, NRJORNAL, DSHASH FROM JORNALELO WHERE IDELO = 1"));
        if (!link.next()) {
            result.broken = QStringLiteral("o elo do jornal (a linha da tabela JORNALELO) foi apagado.");
            return result;
        }
        linkedCount = link.value(0).toLongLong();
        linkedNumber = link.value(1).toLongLong();
        linkedHash = link.value(2).toString();
    } catch (const EHostError&) {
        result.broken = QStringLiteral("a tabela JORNALELO, que guarda o elo do jornal, não pode ser lida: foi apagada ou alterada.");
        return result;
    }
    QString previous = kGenesis;
    qint64 lastNumber = 0;
    try {
        Walk(db, [&](qint64 number, const QVariantList& columns, const QVariant& stored) {
            const QString hash = Link(previous, result.verified + 1, columns);
            if (stored.isNull() || stored.toString() != hash) {
                result.broken = result.verified + 1 > linkedCount
                                    ? QStringLiteral("o registro %1 está além do último elo (o jornal registra %2 registro(s), até o %3): foi incluído por "
                                                     "fora do servidor.")
                                          .arg(number)
                                          .arg(linkedCount)
                                          .arg(linkedNumber)
                                    : QStringLiteral("o registro %1 (o %2º da cadeia) não confere com seu elo: foi alterado, incluído por fora do servidor, "
                                                     "ou um registro anterior a ele foi apagado.")
                                          .arg(number)
                                          .arg(result.verified + 1);
                return false;
            }
            previous = hash;
            lastNumber = number;
            ++result.verified;
            return true;
        });
    } catch (const EHostError&) {
        result.broken = QStringLiteral("a tabela JORNAL não pode ser lida: foi apagada ou alterada.");
        return result;
    }
    if (result.broken)
        return result;
    if (result.verified != linkedCount || previous != linkedHash || (linkedCount > 0 && lastNumber != linkedNumber)) {
        result.broken = result.verified < linkedCount
                            ? QStringLiteral("faltam registros no fim do jornal: o elo registra %1 registro(s), até o %2, e o jornal tem %3, até o %4.")
                                  .arg(linkedCount)
                                  .arg(linkedNumber)
                                  .arg(result.verified)
                                  .arg(lastNumber)
                            : QStringLiteral("o elo do jornal (tabela JORNALELO) não confere com o último registro (%1): foi alterado.").arg(lastNumber);
        return result;
    }
    result.lastHash = previous;
    return result;
}

void ChainExisting(QSqlDatabase& db, bool sqlite)
{
    // The journal refuses updates; the migration sets its trigger aside for its own, in its
    // transaction, and puts it back as it was.
    if (sqlite)
        Run(db, QStringLiteral("DROP TRIGGER JORNAL_SEM_ALTERACAO"));
    else
        Run(db, QStringLiteral("ALTER TABLE JORNAL DISABLE TRIGGER JORNAL_SEM_ALTERACAO"));
    QString previous = kGenesis;
    qint64 position = 0, last = 0;
    Walk(db, [&](qint64 number, const QVariantList& columns, const QVariant&) {
        previous = Link(previous, ++position, columns);
        last = number;
        Run(db, QStringLiteral("UPDATE JORNAL SET DSHASH = ? WHERE NRJORNAL = ?"), {previous, number});
        return true;
    });
    if (sqlite)
        Run(db, QStringLiteral("CREATE TRIGGER JORNAL_SEM_ALTERACAO BEFORE UPDATE ON JORNAL BEGIN SELECT RAISE(ABORT, 'O jornal não pode ser alterado.'); END"));
    else
        Run(db, QStringLiteral("ALTER TABLE JORNAL ENABLE TRIGGER JORNAL_SEM_ALTERACAO"));
    Run(db, QStringLiteral("INSERT INTO JORNALELO (IDELO, NRJORNAL, QTREGISTROS, DSHASH) VALUES (1, ?, ?, ?)"), {last, position, previous});
}

} // namespace Journal
