// CRV.rdmHost, and the methods about operators, rights and salespeople.
#include "Password.h"
#include "ServerObjects.h"
#include "Variants.h"

#include <QSqlQuery>

namespace {

constexpr const char* kOperControle = "CDOPERADOR s12, CDPROCHABLANOPE s30, CDPROCHABAPROPE s30, CDPROCHABFECOPE s30";
constexpr const char* kParamControle = "CDPROCHABLANORE s30, CDPROCHABAPRORE s30, CDPROCHABFECORE s30";
constexpr const char* kQuoteList = "CDFILIAL s4, NRORCAEVENTO s10, NRSEQORCAEVE fs2, IDSITUORCEVE s1, DSTITUORCEVE s100, "
                                   "NMCLIEORCEVE s50, NMFANTCLIE s50, DTEVENTO t, VRTOTALORCA f";

QVariant Pack(const TDataPacket& p) { return QVariant::fromValue(p); }

} // namespace

void RegisterHost(TServerObjects& o)
{
    o.Add("CRV.rdmHost", "ConfSenha", 2, [](TCall& c) -> QVariant {
        QSqlQuery q = Run(c.db, "SELECT DSSENHAHASH, DSSENHASAL FROM OPERADOR WHERE CDOPERADOR = ?", {c.text(0)});
        return q.next() && CheckPassword(c.text(1), q.value(0).toString(), q.value(1).toString());
    });
    o.Add("CRV.rdmHost", "ListaOrcamentos", 1, [](TCall& c) {
        // The total as GetGeral gives it: items, labour and halls, less the discounts.
        return Pack(Select(c.db, kQuoteList,
                           "SELECT O.CDFILIAL, O.NRORCAEVENTO, O.NRSEQORCAEVE, O.IDSITUORCEVE, O.DSTITUORCEVE, O.NMCLIEORCEVE, "
                           "COALESCE(C.NMFANTCLIE, N.NMFANTCLIE, O.NMCLIEORCEVE) AS NMFANTCLIE, O.DTEVENTO, "
                           "(SELECT COALESCE(SUM(I.QTITEMORCEVE * I.VRITEMORCEVE + COALESCE(I.VRACREITOREV, 0) - COALESCE(I.VRDESCITOREV, 0)), 0) FROM ITEMORCA I "
                           " WHERE I.CDFILIAL = O.CDFILIAL AND I.NRORCAEVENTO = O.NRORCAEVENTO AND I.NRSEQORCAEVE = O.NRSEQORCAEVE) + "
                           "(SELECT COALESCE(SUM(L.QTPRODMOBRA * L.VRCOBRMOBRA), 0) FROM MAOOBRA L "
                           " WHERE L.CDFILIAL = O.CDFILIAL AND L.NRORCAEVENTO = O.NRORCAEVENTO AND L.NRSEQORCAEVE = O.NRSEQORCAEVE) + "
                           "(SELECT COALESCE(SUM(S.VRCOBAGENSALAO), 0) FROM SALAOORCA S "
                           " WHERE S.CDFILIAL = O.CDFILIAL AND S.NRORCAEVENTO = O.NRORCAEVENTO AND S.NRSEQORCAEVE = O.NRSEQORCAEVE) "
                           "- COALESCE(O.VRDESCORCEVE, 0) AS VRTOTALORCA "
                           "FROM ORCAEVENTO O LEFT JOIN CLIENTE C ON C.CDCLIENTE = O.CDCLIENTE "
                           "LEFT JOIN ENDENOVOCLIE N ON N.CDFILIAL = O.CDFILIAL AND N.NRORCAEVENTO = O.NRORCAEVENTO AND N.NRSEQORCAEVE = O.NRSEQORCAEVE "
                           "WHERE O.CDFILIAL = ? ORDER BY O.NRORCAEVENTO, O.NRSEQORCAEVE",
                           {c.text(0)}));
    });

    // The operator's own rights (no row when he has none) and the branch's default rights.
    o.Add("ORE06400.rdmProcOrca", "GetOperControle", 1, [](TCall& c) {
        const TDataPacket own = Select(c.db, kOperControle,
                                       "SELECT CDOPERADOR, CDPROCHABLANOPE, CDPROCHABAPROPE, CDPROCHABFECOPE FROM OPERCONTROLE WHERE CDOPERADOR = ?",
                                       {c.text(0)});
        const TDataPacket defaults = Select(c.db, kParamControle,
                                            "SELECT CDPROCHABLANORE, CDPROCHABAPRORE, CDPROCHABFECORE FROM PARAMORCA WHERE CDFILIAL = ?",
                                            {c.request.branch});
        return VarArrayOf({Pack(own), Pack(defaults)});
    });
    o.Add("ORE06400.rdmProcOrca", "GetOperCadProd", 1, [](TCall& c) {
        return Pack(Select(c.db, "IDCADPRPROCEORE s1", "SELECT IDCADPRPROCEORE FROM OPERADOR WHERE CDOPERADOR = ?", {c.text(0)}));
    });

    // The salesperson record of an operator, and the supervisor of a salesperson.
    o.Add("ORE00400.rdmAprovaOrca", "GetOperadorAprov", 1, [](TCall& c) {
        return Pack(Select(c.db, "CDVENDEDOR s4", "SELECT CDVENDEDOR FROM OPERADOR WHERE CDOPERADOR = ? AND CDVENDEDOR IS NOT NULL", {c.text(0)}));
    });
    o.Add("ORE00400.rdmAprovaOrca", "GetSupervisor", 1, [](TCall& c) {
        return Pack(Select(c.db, "CDVENDEDOR s4, CDOPERADOR s12",
                           "SELECT S.CDVENDEDOR, O.CDOPERADOR FROM VENDEDOR V JOIN VENDEDOR S ON S.CDVENDEDOR = V.CDVENDEDORSUP "
                           "LEFT JOIN OPERADOR O ON O.CDVENDEDOR = S.CDVENDEDOR WHERE V.CDVENDEDOR = ?",
                           {c.text(0)}));
    });
    o.Add("ORE00400.rdmAprovaOrca", "GetVerifCargoOper", 1, [](TCall& c) {
        return Pack(Select(c.db, "CDVENDEDOR s4, NMFANVEN s50, IDCARGOVEND s1, CDVENDEDORSUP s4",
                           "SELECT V.CDVENDEDOR, V.NMFANVEN, V.IDCARGOVEND, V.CDVENDEDORSUP FROM OPERADOR O "
                           "JOIN VENDEDOR V ON V.CDVENDEDOR = O.CDVENDEDOR WHERE O.CDOPERADOR = ?",
                           {c.text(0)}));
    });
}
