#include "Quote.h"

#include "Errors.h"

#include <QRegularExpression>
#include <QSqlQuery>

const char* const kOrcaEvento =
    "DTEVENTO t, VRDESCORCEVE f, VRPEMAXDESVE f, CDFILIAL s4, NRORCAEVENTO s10, IDSITCLIOREV s1, CDMODPGTO s5, CDCLIENTE s21, "
    "CDCLICONTORC s21, DSENDENTOREV s50, CDPAIS s4, SGESTADO s2, CDMUNICIPIO s4, CDBAIRRO s10, DSREFENDOREV s50, IDENDENTOREV s1, "
    "CDVENDEDOR s4, NRSEQORCAEVE fs2, IDMARCADO fs1";

const char* const kSalaoEven =
    "IDMARCADO fs1, CDSALAOEVEN s3, NMSALAOEVEN s50, VRCOBAGENSALAO f, IDSITAGENSAL s1, NRRESERSALAO s2, DTAGENDSALAO t, "
    "DTVALRESESAL t, CDFILIAL s4, NRORCAEVENTO s10, NRSEQORCAEVE fs2, CDOPERADOR s12, QTHRDURASALEVEN f, HRINIUTILSALAO s4, "
    "CDCLIENTE s21, VRPEACRSALEV f";

const char* const kOpcao = "IDMARCADO fs1, CDFILIAL s4, NRORCAEVENTO s10, NRSEQORCAEVE fs2, NROPCAITOREV s2, VRTOTALOPCAO f";

// The closing record (cdsOrcaEventoFech) and the execution packet (cdsOrcaEventoExec) share
// their columns; each dataset keeps those it defines.
const char* const kLongQuote =
    "CDFORMPGTO s2, NMFORMPGTO s30, IDTPFORMPGTOREV s1, NRDIAPGTOREV f, QTPARCPGTOREV f, IDMESINIPGTOREV s1, IDMARCADO s1, "
    "CDFILIAL s4, NRORCAEVENTO s10, NRSEQORCAEVE fs2, NMFANTCLIE s50, NMCLIEORCEVE s50, NMTPSERVEVEN s30, NMTIPOEVENTO s30, "
    "CDALTEORCEVE s30, DTINCLORCEVE t, CDOPEINCOREV s12, CDVENDEDOR s4, CDTIPOEVENTO s3, CDTPSERVEVEN s3, CDCLIENTE s21, "
    "IDSITCLIOREV s1, DTVALIORCEVE t, DSTITUORCEVE s100, QTCONVORCEVE f, QTADULORCEVE f, QTCRIAORCEVE f, DTEVENTO t, QTHREVENTO f, "
    "IDSITUORCEVE s1, IDENDENTOREV s1, CDPAIS s4, SGESTADO s2, CDMUNICIPIO s4, CDBAIRRO s10, DSENDENTOREV s50, NMBAIENTOREV s30, "
    "VRDESCORCEVE f, CDMODPGTO s5, CDPRECOBASE s2, CDESCOLA s10, CDCURSO s4, CDPREBAMOBRA s2, NMFILIAL s30, NRINSJURCLIE s20, "
    "NMRAZSOCCLIE s50, NMFANVEN s50, NMRAZSOCVEN s50, NMOPERADOR s40, NMPAIS s30, NMMUNICIPIO s30, NMESCOLA s40, NMCURSO s60, "
    "DSPRECOBASE s30, DSMODPGTO s100, DSPREMAOOBRA s30, IDTPIJURCLIE s1, IDTPORCAEVEN fs1, IDTPPGTOOREV s1, CDCLICONTORC s21, "
    "NRINSJURCONT s20, IDTPIJURCONT s1, NMFANTCONT s50, DSREFENDOREV s50, VRPEACREOREV f, CDTPRECEOREV s2, NMTPRECEOREV s50, "
    "VRTOTALOREV f";

TQuoteKey KeyOf(const TCall& call, int first)
{
    return {call.text(first), call.text(first + 1), call.text(first + 2)};
}

namespace {

QString SituationOf(QSqlDatabase& db, const TQuoteKey& key, const QString& lock)
{
    const QVariant situation = Scalar(db, QStringLiteral("SELECT IDSITUORCEVE FROM ORCAEVENTO WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ?") + lock,
                                      key.params());
    if (!situation.isValid() || situation.isNull())
        throw ERefusal(QStringLiteral("Orçamento %1 não encontrado.").arg(key.text()));
    return situation.toString();
}

} // namespace

QString RequireQuote(QSqlDatabase& db, const TQuoteKey& key) { return SituationOf(db, key, {}); }
QString HoldQuote(QSqlDatabase& db, const TQuoteKey& key) { return SituationOf(db, key, ForUpdate(db)); }

TQuoteTotals Totals(QSqlDatabase& db, const TQuoteKey& key)
{
    TQuoteTotals t;
    TRows items = Run(db, QStringLiteral("SELECT COALESCE(SUM(QTITEMORCEVE * VRITEMORCEVE), 0), COALESCE(SUM(VRACREITOREV), 0), "
                                             "COALESCE(SUM(VRDESCITOREV), 0) FROM ITEMORCA WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ?"),
                          key.params());
    if (items.next()) {
        t.items = items.value(0).toDouble();
        t.surcharges = items.value(1).toDouble();
        t.discounts = items.value(2).toDouble();
    }
    t.labour = Scalar(db, QStringLiteral("SELECT COALESCE(SUM(QTPRODMOBRA * VRCOBRMOBRA), 0) FROM MAOOBRA WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ?"),
                      key.params()).toDouble();
    t.halls = Scalar(db, QStringLiteral("SELECT COALESCE(SUM(VRCOBAGENSALAO), 0) FROM SALAOORCA WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ?"),
                     key.params()).toDouble();
    t.discounts += Scalar(db, QStringLiteral("SELECT COALESCE(VRDESCORCEVE, 0) FROM ORCAEVENTO WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ?"),
                          key.params()).toDouble();
    return t;
}

TDataPacket SelectByKey(TCall& call, const char* layout, const QString& sql)
{
    const TQuoteKey key = KeyOf(call);
    RequireQuote(call.db, key);
    return Select(call.db, layout, sql, key.params());
}

void UpdateEverySequence(TCall& call, const QString& sql, QVariantList params, const QString& branch, const QString& number)
{
    params << branch << number;
    if (Run(call.db, sql, params).numRowsAffected() == 0)
        throw ERefusal(QStringLiteral("Orçamento %1/%2 não encontrado.").arg(branch, number));
}

QStringList TickedKeys(const QString& text)
{
    QStringList keys;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        QString k = part.trimmed();
        if (k.startsWith(QLatin1Char('\'')))
            k.remove(0, 1);
        if (k.endsWith(QLatin1Char('\'')))
            k.chop(1);
        if (!k.trimmed().isEmpty())
            keys << k.trimmed();
    }
    return keys;
}

QString SalaoEvenSql()
{
    return QStringLiteral(
        "SELECT S.CDSALAOEVEN, H.NMSALAOEVEN, S.VRCOBAGENSALAO, S.IDSITAGENSAL, S.NRRESERSALAO, S.DTAGENDSALAO, S.DTVALRESESAL, "
        "S.CDFILIAL, S.NRORCAEVENTO, S.NRSEQORCAEVE, S.CDOPERADOR, S.QTHRDURASALEVEN, S.HRINIUTILSALAO, O.CDCLIENTE, S.VRPEACRSALEV "
        "FROM SALAOORCA S JOIN SALAO H ON H.CDFILIAL = S.CDFILIAL AND H.CDSALAOEVEN = S.CDSALAOEVEN "
        "JOIN ORCAEVENTO O ON O.CDFILIAL = S.CDFILIAL AND O.NRORCAEVENTO = S.NRORCAEVENTO AND O.NRSEQORCAEVE = S.NRSEQORCAEVE "
        "WHERE S.CDFILIAL = ? AND S.NRORCAEVENTO = ? AND S.NRSEQORCAEVE = ? ORDER BY S.CDSALAOEVEN");
}

QString PendingParentSql()
{
    return QStringLiteral(
        "SELECT P.NRORCAEVENTO FROM ORCAEVENTO O JOIN ORCAEVENTO P ON P.CDFILIAL = O.CDFILIAL "
        "AND P.NRORCAEVENTO = O.NRORCAPAI AND P.NRSEQORCAEVE = COALESCE(O.NRSEQPAI, '01') "
        "WHERE O.CDFILIAL = ? AND O.NRORCAEVENTO = ? AND O.NRSEQORCAEVE = ? AND P.IDSITUORCEVE = '1'");
}

QString OpcaoSql()
{
    return QStringLiteral(
        "SELECT CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NROPCAITOREV, "
        "SUM(QTITEMORCEVE * VRITEMORCEVE + COALESCE(VRACREITOREV, 0) - COALESCE(VRDESCITOREV, 0)) AS VRTOTALOPCAO "
        "FROM ITEMORCA WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ? "
        "GROUP BY CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NROPCAITOREV ORDER BY NROPCAITOREV");
}

QString LongQuoteSql(bool filterBySituation)
{
    return QStringLiteral(
               "SELECT O.CDFILIAL, O.NRORCAEVENTO, O.NRSEQORCAEVE, C.NMFANTCLIE, O.NMCLIEORCEVE, O.NMTPSERVEVEN, O.NMTIPOEVENTO, "
               "O.DTINCLORCEVE, O.CDOPEINCOREV, O.CDVENDEDOR, O.CDTIPOEVENTO, O.CDCLIENTE, O.IDSITCLIOREV, O.DTVALIORCEVE, "
               "O.DSTITUORCEVE, O.QTCONVORCEVE, O.DTEVENTO, O.QTHREVENTO, O.IDSITUORCEVE, O.IDENDENTOREV, O.CDPAIS, O.SGESTADO, "
               "O.CDMUNICIPIO, O.CDBAIRRO, O.DSENDENTOREV, B.NMBAIRRO AS NMBAIENTOREV, O.VRDESCORCEVE, O.CDMODPGTO, F.NMFILIAL, "
               "C.NRINSJURCLIE, C.NMRAZSOCCLIE, V.NMFANVEN, V.NMRAZSOCVEN, OP.NMOPERADOR, P.NMPAIS, M.NMMUNICIPIO, C.IDTPIJURCLIE, "
               "O.CDCLICONTORC, K.NRINSJURCLIE AS NRINSJURCONT, K.IDTPIJURCLIE AS IDTPIJURCONT, K.NMFANTCLIE AS NMFANTCONT, "
               "O.DSREFENDOREV, O.VRPEACREOREV "
               "FROM ORCAEVENTO O JOIN FILIAL F ON F.CDFILIAL = O.CDFILIAL "
               "LEFT JOIN CLIENTE C ON C.CDCLIENTE = O.CDCLIENTE LEFT JOIN CLIENTE K ON K.CDCLIENTE = O.CDCLICONTORC "
               "LEFT JOIN VENDEDOR V ON V.CDVENDEDOR = O.CDVENDEDOR LEFT JOIN OPERADOR OP ON OP.CDOPERADOR = O.CDOPEINCOREV "
               "LEFT JOIN PAIS P ON P.CDPAIS = O.CDPAIS "
               "LEFT JOIN MUNICIPIO M ON M.CDPAIS = O.CDPAIS AND M.SGESTADO = O.SGESTADO AND M.CDMUNICIPIO = O.CDMUNICIPIO "
               "LEFT JOIN BAIRRO B ON B.CDPAIS = O.CDPAIS AND B.SGESTADO = O.SGESTADO AND B.CDMUNICIPIO = O.CDMUNICIPIO AND B.CDBAIRRO = O.CDBAIRRO "
               "WHERE O.CDFILIAL = ? AND O.NRORCAEVENTO >= ? AND O.NRORCAEVENTO <= ?")
           + (filterBySituation ? QStringLiteral(" AND O.IDSITUORCEVE = ?") : QString())
           + QStringLiteral(" ORDER BY O.NRORCAEVENTO, O.NRSEQORCAEVE");
}

QString PacketText(const TCall& call, const TDataPacket& packet, size_t row, int column)
{
    const Cell& cell = packet.rows().at(row)[size_t(column)];
    if (CellIsNull(cell))
        return {};
    if (const QString* text = std::get_if<QString>(&cell))
        return *text;
    throw EWireError(QStringLiteral("%1: o campo %2 da linha %3 do pacote deve ser um texto.")
                         .arg(call.where(), packet.fields().at(column).name)
                         .arg(row + 1));
}
