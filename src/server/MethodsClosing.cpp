// Closing: the contracting clients and the closing itself.
#include "Quote.h"
#include "Variants.h"

#include <QSqlQuery>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr const char* kEndeCont =
    "CDCLIENTE s21, CDFILIAL s4, NRORCAEVENTO s10, NRSEQORCAEVE s2, NRINSJURCLIE s20, IDTPIJURCLIE s1, NMFANTCLIE s50, "
    "QTCONVCONTOREV f, IDSITUCONTOREV s10, CDPAIS s4, NMPAIS s30, SGESTADO s2, NMESTADO s30, CDMUNICIPIO s4, NMMUNICIPIO s30, "
    "CDBAIRRO s10, CDCLICONTSUBORE s21, VRRECECONTOREV f, CDCLIENCONTORCA s21, NRENDCLIORCEVE s21, DSENDECLIORE s50, "
    "DSCOENDCLORE s200, NRTELECLIORE s25, NRRAMACLIORE s4, NRTELECLIOR1 s25, NRRAMACLIOR1 s4, NMCONTCLIORE s30, NRCEPCLIEORE s15, "
    "NRTELERESOR1 s25, NRCELCLIORE1 s25, DSEMAILCLOR1 s50, DSEMAILCLOR2 s50, NRFAXCLIEORE s25, NMRAZSOCCLIE s50, NMFANTSUB s50, "
    "NMBAIRRO s50, IDCAMPONULL s1, IDQTPARCNULL s1, IDQTCONVNULL s1, IDVRRECENULL s1, QTEXTCONVOREV f, IDMARCADO fs1, "
    "VREXTCONVOREV f, IDFORMAPGCONT s1, NRDIAVENCONOREV f, QTPARCCONTOREV f, IDMESVENCONOREV s10";

int Cents(double value) { return int(std::llround(value * 100)); }

bool UnpricedContractors(QSqlDatabase& db, const TQuoteKey& key)
{
    return Scalar(db, u"SELECT COUNT(*) FROM CONTRATANTE"_s + kWhereKey + u" AND (VRRECECONTOREV IS NULL OR VRRECECONTOREV <= 0)"_s,
                  key.params())
               .toInt()
           > 0;
}

} // namespace

QString ClosingParameterError(QSqlDatabase& db, const TQuoteKey& key)
{
    TRows p = Run(db, QStringLiteral("SELECT IDTPPRODPEDOREV, CDTIPOOPER, CDSERIE, CDTPCTREC FROM PARAMORCA WHERE CDFILIAL = ?"), {key.branch});
    if (!p.next() || p.value(0).toString().isEmpty())
        return QStringLiteral("N_PARAM_PED|") + key.branch;
    if (p.value(1).toString().isEmpty())
        return QStringLiteral("N_PARAM_TIPOOPER");
    if (p.value(2).toString().isEmpty())
        return QStringLiteral("N_PARAM_SERIE");
    if (p.value(3).toString().isEmpty())
        return QStringLiteral("N_PARAM_TPCTREC|") + p.value(1).toString();
    return {};
}

QString ContractorValueProblem(QSqlDatabase& db, const TQuoteKey& key)
{
    if (UnpricedContractors(db, key))
        return QStringLiteral("N_PARAM_VRNOTA_ZERO");
    const double charged = Scalar(db, u"SELECT COALESCE(SUM(VRRECECONTOREV), 0) FROM CONTRATANTE"_s + kWhereKey, key.params()).toDouble();
    if (Cents(charged) != Cents(Totals(db, key).net()))
        return QStringLiteral("VALORSEQ_DIFER_VRORCA");
    return {};
}

QString GuestCountProblem(QSqlDatabase& db, const TQuoteKey& key)
{
    const double guests = Scalar(db, u"SELECT COALESCE(SUM(QTCONVCONTOREV), 0) FROM CONTRATANTE"_s + kWhereKey, key.params()).toDouble();
    const double expected = Scalar(db, u"SELECT COALESCE(QTCONVORCEVE, 0) FROM ORCAEVENTO"_s + kWhereKey, key.params()).toDouble();
    return guests <= 0 ? QStringLiteral("CONV_QTD_ZERO") : guests != expected ? QStringLiteral("CONV_DIF") : QString();
}

bool ContractorCountMatches(QSqlDatabase& db, const TQuoteKey& key)
{
    const int count = Scalar(db, u"SELECT COUNT(*) FROM CONTRATANTE"_s + kWhereKey, key.params()).toInt();
    const int expected = Scalar(db, u"SELECT QTCONTRATORC FROM ORCAEVENTO"_s + kWhereKey, key.params()).toInt();
    return count == expected;
}

void RegisterClosing(TServerObjects& o)
{
    TServerObjects::TObject cont = o.Object(ServerObject::Contratante);
    TServerObjects::TObject fecha = o.Object(ServerObject::FechaOrca);

    cont.Read(u"GetExisteContratante"_s, 3, u"Contratantes informados"_s, {.quote = kQuoteFirst}, [](TCall& c) {
        return Pack(SelectByKey(c, "CDCLIENCONTORCA s21, IDSITUCONTOREV s10, VRRECECONTOREV f",
                           u"SELECT CDCLIENCONTORCA, IDSITUCONTOREV, VRRECECONTOREV FROM CONTRATANTE"_s + kWhereKey +
                               u" ORDER BY CDCLIENCONTORCA"_s));
    });

    // Null when the contracting clients' values add up to the quote's, else the key that says why not.
    cont.Read(u"GetVdValor"_s, 3, u"Valor dos contratantes"_s, {.quote = kQuoteFirst}, [](TCall& c) {
        const TQuoteKey key = KeyOf(c);
        RequireQuote(c.db, key);
        const QString problem = ContractorValueProblem(c.db, key);
        return VarArrayOf({problem.isEmpty() ? Null() : QVariant(problem)});
    });

    // The guests of the contracting clients against the quote's.
    cont.Read(u"GetVdTipoEveCustEfet"_s, 3, u"Convidados dos contratantes"_s, {.quote = kQuoteFirst}, [](TCall& c) {
        const TQuoteKey key = KeyOf(c);
        RequireQuote(c.db, key);
        const QString note = GuestCountProblem(c.db, key);
        return VarArrayOf({true, note.isEmpty() ? Null() : QVariant(note)});
    });

    cont.Read(u"GetContratante"_s, 3, u"Contratantes"_s, {.quote = kQuoteFirst}, [](TCall& c) {
        const TQuoteKey key = KeyOf(c);
        RequireQuote(c.db, key);
        return VarArrayOf({Pack(Select(c.db, kEndeCont,
                                       u"SELECT K.CDCLIENCONTORCA AS CDCLIENTE, K.CDFILIAL, K.NRORCAEVENTO, K.NRSEQORCAEVE, C.NRINSJURCLIE, C.IDTPIJURCLIE, "
                                        "C.NMFANTCLIE, K.QTCONVCONTOREV, K.IDSITUCONTOREV, A.CDPAIS, P.NMPAIS, A.SGESTADO, E.NMESTADO, A.CDMUNICIPIO, "
                                        "M.NMMUNICIPIO, A.CDBAIRRO, K.VRRECECONTOREV, K.CDCLIENCONTORCA, A.DSENDECLIE AS DSENDECLIORE, "
                                        "A.DSCOMPENDCLI AS DSCOENDCLORE, C.NMRAZSOCCLIE, B.NMBAIRRO, K.IDFORMAPGCONT "
                                        "FROM CONTRATANTE K JOIN CLIENTE C ON C.CDCLIENTE = K.CDCLIENCONTORCA "
                                        "LEFT JOIN ENDECLIE A ON A.CDCLIENTE = K.CDCLIENCONTORCA AND A.IDTPENDECLIE = 'P' "
                                        "LEFT JOIN PAIS P ON P.CDPAIS = A.CDPAIS LEFT JOIN ESTADO E ON E.CDPAIS = A.CDPAIS AND E.SGESTADO = A.SGESTADO "
                                        "LEFT JOIN MUNICIPIO M ON M.CDPAIS = A.CDPAIS AND M.SGESTADO = A.SGESTADO AND M.CDMUNICIPIO = A.CDMUNICIPIO "
                                        "LEFT JOIN BAIRRO B ON B.CDPAIS = A.CDPAIS AND B.SGESTADO = A.SGESTADO AND B.CDMUNICIPIO = A.CDMUNICIPIO AND B.CDBAIRRO = A.CDBAIRRO "
                                        "WHERE K.CDFILIAL = ? AND K.NRORCAEVENTO = ? AND K.NRSEQORCAEVE = ? ORDER BY K.CDCLIENCONTORCA"_s,
                                       key.params()))});
    });

    // Whether the quote has as many contracting clients as it expects.
    cont.Read(u"GetQtContratantes"_s, 3, u"Quantidade de contratantes"_s, {.quote = kQuoteFirst}, [](TCall& c) -> QVariant {
        const TQuoteKey key = KeyOf(c);
        RequireQuote(c.db, key);
        return ContractorCountMatches(c.db, key);
    });

    // Closes the rows marked "S". A closing parameter missing for the branch is an exception
    // whose message is its key, with its argument after "|" where the text takes one.
    fecha.Write(u"FecharOrca"_s, 3, u"Fechamento"_s, {.right = "FECHAR", .operatorArg = 1, .quote = kQuoteInPacket}, [](TCall& c) -> QVariant {
        const TDataPacket packet = c.packet(0);
        const QString operatorCode = c.text(1);
        const int mark = packet.fieldIndex(u"IDMARCADO"_s), branch = packet.fieldIndex(u"CDFILIAL"_s), number = packet.fieldIndex(u"NRORCAEVENTO"_s),
                  sequence = packet.fieldIndex(u"NRSEQORCAEVE"_s);
        if (mark < 0 || branch < 0 || number < 0 || sequence < 0)
            throw ERefusal(QStringLiteral("O pacote de fechamento deve trazer IDMARCADO, CDFILIAL, NRORCAEVENTO e NRSEQORCAEVE."));
        QList<TQuoteKey> marked;
        for (size_t r = 0; r < packet.rows().size(); ++r) {
            auto text = [&](int i) { return PacketText(c, packet, r, i); };
            if (text(mark).trimmed() == QLatin1String("S"))
                marked << TQuoteKey{text(branch), text(number), text(sequence)};
        }
        if (marked.isEmpty())
            throw ERefusal(QStringLiteral("Nenhum orçamento marcado para fechamento."));
        for (const TQuoteKey& key : marked) {
            if (RequireQuote(c.db, key) != QLatin1String("2"))
                throw ERefusal(QStringLiteral("Orçamento %1 não está aprovado. Fechamento bloqueado.").arg(key.text()));
            if (const QString missing = ClosingParameterError(c.db, key); !missing.isEmpty())
                throw EServerError(missing);
            if (UnpricedContractors(c.db, key))
                throw EServerError(QStringLiteral("N_PARAM_VRNOTA_ZERO"));
            Run(c.db, u"UPDATE ORCAEVENTO SET IDSITUORCEVE = '3', CDOPERFECH = ?, DTFECH = ?"_s + kWhereKey,
                {operatorCode, Now(), key.branch, key.number, key.sequence});
        }
        return true;
    });
}
