// The approval's writes: halls and options kept, bookings, commercial approval, the approval
// itself, and the quote's payment mode, client and delivery address.
#include "Quote.h"
#include "Variants.h"

#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace {

void RequirePending(QSqlDatabase& db, const TQuoteKey& key)
{
    if (RequireQuote(db, key) != QLatin1String("1"))
        throw ERefusal(QStringLiteral("Orçamento %1 não está pendente. Operação bloqueada.").arg(key.text()));
}

// "IN (?, ?, ...)" for `count` values.
QString Placeholders(qsizetype count)
{
    QStringList marks;
    for (qsizetype i = 0; i < count; ++i)
        marks << QStringLiteral("?");
    return QStringLiteral("(") + marks.join(QStringLiteral(", ")) + QStringLiteral(")");
}

// Drops the quote's rows of `table` whose `column` is not among the chosen keys; with no
// choice, every row stays.
void DropUnchosen(QSqlDatabase& db, const char* table, const char* column, const TQuoteKey& key, const QStringList& chosen)
{
    if (chosen.isEmpty())
        return;
    QVariantList params = key.params();
    for (const QString& k : chosen)
        params << k;
    // A choice that names nothing of the quote would drop all of it.
    if (Scalar(db, QStringLiteral("SELECT COUNT(*) FROM %1%2 AND %3 IN ").arg(QLatin1String(table), kWhereKey, QLatin1String(column))
                       + Placeholders(chosen.size()),
               params)
            .toInt()
        == 0)
        throw ERefusal(QStringLiteral("Nenhum dos escolhidos (%1) é do orçamento %2. Nada foi alterado.").arg(chosen.join(QStringLiteral(", ")), key.text()));
    Run(db, QStringLiteral("DELETE FROM %1%2 AND %3 NOT IN ").arg(QLatin1String(table), kWhereKey, QLatin1String(column))
                + Placeholders(chosen.size()),
        params);
}

} // namespace

void RegisterApproval(TServerObjects& o)
{
    const QString aprova = QStringLiteral("ORE00400.rdmAprovaOrca");

    // Keeps the chosen halls and drops the others; answers the halls left.
    o.Add(aprova, u"SetEscolhaSalao"_s, 2, [](TCall& c) {
        const TDataPacket halls = c.packet(0);
        const int branch = halls.fieldIndex(u"CDFILIAL"_s), number = halls.fieldIndex(u"NRORCAEVENTO"_s), sequence = halls.fieldIndex(u"NRSEQORCAEVE"_s);
        if (halls.rows().empty() || branch < 0 || number < 0 || sequence < 0)
            throw ERefusal(QStringLiteral("A lista de salões não traz o orçamento (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE)."));
        const TQuoteKey key{PacketText(c, halls, 0, branch), PacketText(c, halls, 0, number), PacketText(c, halls, 0, sequence)};
        RequirePending(c.db, key);
        DropUnchosen(c.db, "SALAOORCA", "CDSALAOEVEN", key, TickedKeys(c.text(1)));
        return Pack(Select(c.db, kSalaoEven, SalaoEvenSql(), key.params()));
    });

    // Keeps the chosen options, with their items, and drops the others.
    o.Add(aprova, u"SetOpcao"_s, 6, [](TCall& c) {
        const TQuoteKey key = KeyOf(c);
        RequirePending(c.db, key);
        const QStringList chosen = TickedKeys(c.text(3));
        c.number(4);   // the salesperson's ceiling, checked as a number
        DropUnchosen(c.db, "ITEMORCA", "NROPCAITOREV", key, chosen);
        return Pack(Select(c.db, kOpcao, OpcaoSql(), key.params()));
    });

    // Turns the reserved halls into bookings at the event's date and time: the check and the
    // booking are one step, so two quotes cannot both take the same hall.
    o.Add(aprova, u"SetSalao"_s, 4, [](TCall& c) -> QVariant {
        const TQuoteKey key = KeyOf(c);
        RequireQuote(c.db, key);
        for (const QString& hall : ReservedHalls(c.db, key)) {
            const QString conflict = HallConflict(c, key, hall, true);
            if (!conflict.isEmpty()) {
                const QString name = conflict.mid(13);
                if (conflict.startsWith(QLatin1String("DTA_HRA_MARC")))
                    throw ERefusal(QStringLiteral("O salão %1 já possui evento marcado para a data e hora do orçamento. Operação bloqueada.").arg(name));
                if (conflict.startsWith(QLatin1String("ACIMA_LIMITE")))
                    throw ERefusal(QStringLiteral("Limite de agendamentos para o salão %1 foi atingido. Operação bloqueada.").arg(name));
                throw ERefusal(QStringLiteral("Não há limite de agendamento parametrizado para o salão %1. Operação bloqueada.").arg(name));
            }
            const auto [start, end] = HallSpan(c.db, key, hall);
            Run(c.db, QStringLiteral("INSERT INTO AGENDASALAO (CDFILIAL, CDSALAOEVEN, DTINICIO, DTFIM, NRORCAEVENTO, NRSEQORCAEVE) VALUES (?, ?, ?, ?, ?, ?)"),
                {key.branch, hall, Stamp(start), Stamp(end), key.number, key.sequence});
            Run(c.db, u"UPDATE SALAOORCA SET IDSITAGENSAL = 'A', DTAGENDSALAO = ?, CDOPERADOR = ?"_s + kWhereKey + u" AND CDSALAOEVEN = ?"_s,
                {Now(), c.request.operatorCode, key.branch, key.number, key.sequence, hall});
        }
        return true;
    });

    o.Add(aprova, u"SetAprovComercial"_s, 5, [](TCall& c) -> QVariant {
        const TQuoteKey key = KeyOf(c);
        RequirePending(c.db, key);
        Run(c.db, u"UPDATE ORCAEVENTO SET CDVENDAPROVCOM = ?, DTAPROVCOM = ?"_s + kWhereKey,
            {c.text(4), c.date(3).toString(Qt::ISODate) + QStringLiteral("T00:00:00"), key.branch, key.number, key.sequence});
        return true;
    });

    // Records the approval: number, sequence, branch, operator, delivery address (7),
    // client, payment proposal, and one argument kept empty.
    o.Add(aprova, u"SetAprova"_s, 14, [](TCall& c) -> QVariant {
        const TQuoteKey key{c.text(2), c.text(0), c.text(1)};
        RequirePending(c.db, key);
        Run(c.db, u"UPDATE ORCAEVENTO SET IDSITUORCEVE = '2', CDOPERAPROV = ?, DTAPROV = ?, DSENDENTOREV = ?, CDPAIS = ?, SGESTADO = ?, "
                   "CDMUNICIPIO = ?, CDBAIRRO = ?, DSREFENDOREV = ?, IDENDENTOREV = ?, CDCLIENTE = ?, NRPROPOSTAPGTO = ?"_s + kWhereKey,
            {c.text(3), Now(), c.text(4), c.text(5), c.text(6), c.text(7), c.text(8), c.text(9), c.text(10), c.text(11),
             c.text(12).trimmed().remove(QLatin1Char('\'')), key.branch, key.number, key.sequence});
        return true;
    });

    o.Add(QStringLiteral("ORE06400.rdmProcOrca"), u"SetVdCustoFixo"_s, 3, [](TCall& c) -> QVariant {
        const TQuoteKey key = KeyOf(c);
        RequireQuote(c.db, key);
        const double percent = Scalar(c.db, QStringLiteral("SELECT VRCUSTOFIXOPERC FROM PARAMORCA WHERE CDFILIAL = ?"), {key.branch}).toDouble();
        const double cost = std::round(Totals(c.db, key).net() * percent) / 100.0;
        Run(c.db, u"UPDATE ORCAEVENTO SET VRCUSTOFIXO = ?"_s + kWhereKey, {cost, key.branch, key.number, key.sequence});
        return true;
    });

    // Payment mode and clients, on every sequence of the quote number.
    o.Add(aprova, u"SetModPgto"_s, 6, [](TCall& c) -> QVariant {
        UpdateEverySequence(c, QStringLiteral("UPDATE ORCAEVENTO SET CDMODPGTO = ?, CDCLICONTORC = ?, CDCLIENTE = ?, IDSITCLIOREV = ? "
                                              "WHERE CDFILIAL = ? AND NRORCAEVENTO = ?"),
                            {c.text(0), c.text(3), c.text(4), c.text(5)}, c.text(1), c.text(2));
        return true;
    });

    o.Add(aprova, u"SetEndCliente"_s, 11, [](TCall& c) -> QVariant {
        const TQuoteKey key = KeyOf(c);
        RequireQuote(c.db, key);
        Run(c.db, u"UPDATE ORCAEVENTO SET DSENDENTOREV = ?, CDPAIS = ?, SGESTADO = ?, CDMUNICIPIO = ?, CDBAIRRO = ?, DSREFENDOREV = ?, "
                   "IDENDENTOREV = ?, DSCOMPENDORCEVE = ?"_s + kWhereKey,
            {c.text(3), c.text(4), c.text(5), c.text(6), c.text(7), c.text(8), c.text(9), c.text(10), key.branch, key.number, key.sequence});
        return true;
    });

    o.Add(QStringLiteral("ORE00800.rdmFechaOrca"), u"SetClieContratante"_s, 3, [](TCall& c) -> QVariant {
        UpdateEverySequence(c, QStringLiteral("UPDATE ORCAEVENTO SET CDCLICONTORC = ? WHERE CDFILIAL = ? AND NRORCAEVENTO = ?"), {c.text(0)},
                            c.text(1), c.text(2));
        return true;
    });

    // The newest proposal's number, ten digits; "" when the quote has none.
    o.Add(aprova, u"NrPropostaPgto"_s, 3, [](TCall& c) -> QVariant {
        const TQuoteKey key = KeyOf(c);
        RequireQuote(c.db, key);
        const QVariant newest = Scalar(c.db, u"SELECT MAX(NRPROPOSTAPGTO) FROM PROPOSTAPGTO"_s + kWhereKey, key.params());
        return newest.isNull() ? QString() : newest.toString().rightJustified(10, QLatin1Char('0'));
    });
}
