// The approval's writes: halls and options kept, bookings, commercial approval, the approval
// itself, and the quote's payment mode, client and delivery address.
#include "Authorization.h"
#include "Quote.h"
#include "Sessions.h"
#include "Variants.h"

#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace {

void RequirePending(QSqlDatabase& db, const TQuoteKey& key)
{
    if (RequireQuote(db, key) != QLatin1String("1"))
        throw ERefusal(QStringLiteral("Orçamento %1 não está pendente. Operação bloqueada.").arg(key.text()));
}

// Drops the quote's rows of `table` whose `column` is not among the chosen keys; with no
// choice, every row stays. The keys go as one list, so any number of them takes one statement.
void DropUnchosen(QSqlDatabase& db, const char* table, const char* column, const TQuoteKey& key, const QStringList& chosen)
{
    if (chosen.isEmpty())
        return;
    const QVariantList params = key.params() << QVariant(chosen);
    // A choice that names nothing of the quote would drop all of it.
    if (Scalar(db, QStringLiteral("SELECT COUNT(*) FROM %1%2 AND %3").arg(QLatin1String(table), kWhereKey, QLatin1String(column)) + InList(db), params)
            .toInt()
        == 0)
        throw ERefusal(QStringLiteral("Nenhum dos escolhidos (%1) é do orçamento %2. Nada foi alterado.").arg(chosen.join(QStringLiteral(", ")), key.text()));
    Run(db, QStringLiteral("DELETE FROM %1%2 AND %3").arg(QLatin1String(table), kWhereKey, QLatin1String(column)) + NotInList(db), params);
}

} // namespace

void RegisterApproval(TServerObjects& o)
{
    TServerObjects::TObject aprova = o.Object(ServerObject::AprovaOrca);
    TServerObjects::TObject proc = o.Object(ServerObject::ProcOrca);
    TServerObjects::TObject fecha = o.Object(ServerObject::FechaOrca);

    // Keeps the chosen halls and drops the others; answers the halls left.
    aprova.Write(u"SetEscolhaSalao"_s, 2, u"Salões escolhidos"_s, {.right = "APROVAR", .quote = kQuoteInPacket}, [](TCall& c) {
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
    // The discount is measured first, over every option, as the approval measured it before
    // the operator chose: the approval's recording is held to that measure (Authorization.h).
    aprova.Write(u"SetOpcao"_s, 6, u"Opções escolhidas"_s, {.right = "APROVAR", .quote = kQuoteFirst, .changesSession = true}, [](TCall& c) {
        const TQuoteKey key = KeyOf(c);
        RequirePending(c.db, key);
        const QStringList chosen = TickedKeys(c.text(3));
        c.number(4);   // the salesperson's ceiling, checked as a number
        Sessions::RecordDiscountMeasure(c.db, *c.session, key.text(), DiscountAboveCeiling(c.db, key));
        DropUnchosen(c.db, "ITEMORCA", "NROPCAITOREV", key, chosen);
        return Pack(Select(c.db, kOpcao, OpcaoSql(), key.params()));
    });

    // Turns the reserved halls into bookings at the event's date and time: the check and the
    // booking are one step, so two quotes cannot both take the same hall.
    aprova.Write(u"SetSalao"_s, 4, u"Salões agendados"_s, {.right = "APROVAR", .quote = kQuoteFirst}, [](TCall& c) -> QVariant {
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

    aprova.Write(u"SetAprovComercial"_s, 5, u"Aprovação comercial"_s, {.right = "APROVAR", .quote = kQuoteFirst, .check = RequireCommercialAuthorised}, [](TCall& c) -> QVariant {
        const TQuoteKey key = KeyOf(c);
        RequirePending(c.db, key);
        Run(c.db, u"UPDATE ORCAEVENTO SET CDVENDAPROVCOM = ?, DTAPROVCOM = ?"_s + kWhereKey,
            {c.text(4), c.date(3).toString(Qt::ISODate) + QStringLiteral("T00:00:00"), key.branch, key.number, key.sequence});
        return true;
    });

    // Records the approval: the quote, its approving operator, its delivery address, client and
    // payment proposal (WireContract.h lays the arguments out). The supervisor's word it used,
    // and the discount measured for it, end with it.
    aprova.Write(u"SetAprova"_s, SetAprovaArg::Count, u"Aprovação"_s,
                 {.right = "APROVAR", .operatorArg = SetAprovaArg::Operator, .quote = {SetAprovaArg::Branch, SetAprovaArg::Number, SetAprovaArg::Sequence},
                  .changesSession = true, .check = RequireDiscountAuthorised},
                 [](TCall& c) -> QVariant {
                     using namespace SetAprovaArg;
                     const TQuoteKey key{c.text(Branch), c.text(Number), c.text(Sequence)};
                     RequirePending(c.db, key);
                     Run(c.db, u"UPDATE ORCAEVENTO SET IDSITUORCEVE = '2', CDOPERAPROV = ?, DTAPROV = ?, DSENDENTOREV = ?, CDPAIS = ?, SGESTADO = ?, "
                                "CDMUNICIPIO = ?, CDBAIRRO = ?, DSREFENDOREV = ?, IDENDENTOREV = ?, CDCLIENTE = ?, NRPROPOSTAPGTO = ?"_s + kWhereKey,
                         {c.text(Operator), Now(), c.text(Address), c.text(Country), c.text(State), c.text(City), c.text(District), c.text(Reference),
                          c.text(AddressKind), c.text(Client), c.text(Proposal).trimmed().remove(QLatin1Char('\'')), key.branch, key.number, key.sequence});
                     Sessions::EndApproval(c.db, *c.session);   // the supervisor's word served this approval
                     return true;
                 });

    proc.Write(u"SetVdCustoFixo"_s, 3, u"Custo fixo"_s, {.right = "APROVAR", .quote = kQuoteFirst}, [](TCall& c) -> QVariant {
        const TQuoteKey key = KeyOf(c);
        RequireQuote(c.db, key);
        const double percent = Scalar(c.db, QStringLiteral("SELECT VRCUSTOFIXOPERC FROM PARAMORCA WHERE CDFILIAL = ?"), {key.branch}).toDouble();
        const double cost = std::round(Totals(c.db, key).net() * percent) / 100.0;
        Run(c.db, u"UPDATE ORCAEVENTO SET VRCUSTOFIXO = ?"_s + kWhereKey, {cost, key.branch, key.number, key.sequence});
        return true;
    });

    // Payment mode and clients, on every sequence of the quote number.
    aprova.Write(u"SetModPgto"_s, 6, u"Forma de pagamento"_s, {.right = "APROVAR", .quote = {1, 2, -1}}, [](TCall& c) -> QVariant {
        UpdateEverySequence(c, QStringLiteral("UPDATE ORCAEVENTO SET CDMODPGTO = ?, CDCLICONTORC = ?, CDCLIENTE = ?, IDSITCLIOREV = ? "
                                              "WHERE CDFILIAL = ? AND NRORCAEVENTO = ?"),
                            {c.text(0), c.text(3), c.text(4), c.text(5)}, c.text(1), c.text(2));
        return true;
    });

    aprova.Write(u"SetEndCliente"_s, SetEndClienteArg::Count, u"Endereço de entrega"_s,
                 {.right = "APROVAR", .quote = {SetEndClienteArg::Branch, SetEndClienteArg::Number, SetEndClienteArg::Sequence}}, [](TCall& c) -> QVariant {
                     using namespace SetEndClienteArg;
                     const TQuoteKey key = KeyOf(c);
                     RequireQuote(c.db, key);
                     Run(c.db, u"UPDATE ORCAEVENTO SET DSENDENTOREV = ?, CDPAIS = ?, SGESTADO = ?, CDMUNICIPIO = ?, CDBAIRRO = ?, DSREFENDOREV = ?, "
                                "IDENDENTOREV = ?, DSCOMPENDORCEVE = ?"_s + kWhereKey,
                         {c.text(Address), c.text(Country), c.text(State), c.text(City), c.text(District), c.text(Reference), c.text(AddressKind),
                          c.text(Complement), key.branch, key.number, key.sequence});
                     return true;
                 });

    fecha.Write(u"SetClieContratante"_s, 3, u"Contratante"_s, {.right = "APROVAR FECHAR", .quote = {1, 2, -1}}, [](TCall& c) -> QVariant {
        UpdateEverySequence(c, QStringLiteral("UPDATE ORCAEVENTO SET CDCLICONTORC = ? WHERE CDFILIAL = ? AND NRORCAEVENTO = ?"), {c.text(0)},
                            c.text(1), c.text(2));
        return true;
    });

    // The newest proposal's number, ten digits; "" when the quote has none.
    aprova.Read(u"NrPropostaPgto"_s, 3, u"Número da proposta de pagamento"_s, {.quote = kQuoteFirst}, [](TCall& c) -> QVariant {
        const TQuoteKey key = KeyOf(c);
        RequireQuote(c.db, key);
        const QVariant newest = Scalar(c.db, u"SELECT MAX(NRPROPOSTAPGTO) FROM PROPOSTAPGTO"_s + kWhereKey, key.params());
        return newest.isNull() ? QString() : newest.toString().rightJustified(10, QLatin1Char('0'));
    });
}
