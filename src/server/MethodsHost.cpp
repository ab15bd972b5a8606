// CRV.rdmHost, and the methods about operators, rights and salespeople.
#include "Authorization.h"
#include "ServerObjects.h"
#include "Sessions.h"
#include "Variants.h"

#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace {

constexpr const char* kOperControle = "CDOPERADOR s12, CDPROCHABLANOPE s30, CDPROCHABAPROPE s30, CDPROCHABFECOPE s30";
constexpr const char* kParamControle = "CDPROCHABLANORE s30, CDPROCHABAPRORE s30, CDPROCHABFECORE s30";
constexpr const char* kQuoteList = "CDFILIAL s4, NRORCAEVENTO s10, NRSEQORCAEVE fs2, IDSITUORCEVE s1, DSTITUORCEVE s100, "
                                   "NMCLIEORCEVE s50, NMFANTCLIE s50, DTEVENTO t, VRTOTALORCA f, CDVENDEDOR s4, NMFANVEN s50";

// The check of the password in the call's second argument (checked and counted before the
// call's transaction), told to the journal when it was wrong or the operator or the caller's
// address is locked. When locked, `refusal` is the failed result to answer.
TPasswordVerdict CheckPasswordOfCall(TCall& c, QVariant& refusal)
{
    const TPasswordVerdict verdict = c.password.verdict;
    if (verdict == TPasswordVerdict::Locked) {
        c.journalOutcome = QStringLiteral("locked");
        refusal = FailResult(c.password.lockedText);
    } else if (verdict == TPasswordVerdict::Wrong) {
        c.journalOutcome = QStringLiteral("wrong-password");
    }
    return verdict;
}

} // namespace

QString QuoteListSql()
{
    return QStringLiteral("SELECT O.CDFILIAL, O.NRORCAEVENTO, O.NRSEQORCAEVE, O.IDSITUORCEVE, O.DSTITUORCEVE, O.NMCLIEORCEVE, "
                           "COALESCE(C.NMFANTCLIE, N.NMFANTCLIE, O.NMCLIEORCEVE) AS NMFANTCLIE, O.DTEVENTO, "
                           "(SELECT COALESCE(SUM(I.QTITEMORCEVE * I.VRITEMORCEVE + COALESCE(I.VRACREITOREV, 0) - COALESCE(I.VRDESCITOREV, 0)), 0) FROM ITEMORCA I "
                           " WHERE I.CDFILIAL = O.CDFILIAL AND I.NRORCAEVENTO = O.NRORCAEVENTO AND I.NRSEQORCAEVE = O.NRSEQORCAEVE) + "
                           "(SELECT COALESCE(SUM(L.QTPRODMOBRA * L.VRCOBRMOBRA), 0) FROM MAOOBRA L "
                           " WHERE L.CDFILIAL = O.CDFILIAL AND L.NRORCAEVENTO = O.NRORCAEVENTO AND L.NRSEQORCAEVE = O.NRSEQORCAEVE) + "
                           "(SELECT COALESCE(SUM(S.VRCOBAGENSALAO), 0) FROM SALAOORCA S "
                           " WHERE S.CDFILIAL = O.CDFILIAL AND S.NRORCAEVENTO = O.NRORCAEVENTO AND S.NRSEQORCAEVE = O.NRSEQORCAEVE) "
                           "- COALESCE(O.VRDESCORCEVE, 0) AS VRTOTALORCA, O.CDVENDEDOR, V.NMFANVEN "
                           "FROM ORCAEVENTO O LEFT JOIN CLIENTE C ON C.CDCLIENTE = O.CDCLIENTE "
                           "LEFT JOIN VENDEDOR V ON V.CDVENDEDOR = O.CDVENDEDOR "
                           "LEFT JOIN ENDENOVOCLIE N ON N.CDFILIAL = O.CDFILIAL AND N.NRORCAEVENTO = O.NRORCAEVENTO AND N.NRSEQORCAEVE = O.NRSEQORCAEVE "
                           "WHERE O.CDFILIAL = ? ORDER BY O.NRORCAEVENTO, O.NRSEQORCAEVE");
}

void RegisterHost(TServerObjects& o)
{
    TServerObjects::TObject host = o.Object(ServerObject::Host);
    TServerObjects::TObject proc = o.Object(ServerObject::ProcOrca);
    TServerObjects::TObject aprova = o.Object(ServerObject::AprovaOrca);
    
    // Opens a session for the operator on the branch; the answer is its token.
    host.Write(u"Login"_s, 3, u"Entrada no sistema"_s, {.secret = {1}, .checksPassword = true}, [](TCall& c) -> QVariant {
        const QString operatorCode = c.text(0).trimmed(), branch = c.text(2).trimmed();
        QVariant refusal;
        switch (CheckPasswordOfCall(c, refusal)) {
        case TPasswordVerdict::Locked: return refusal;
        case TPasswordVerdict::Wrong: return FailResult(QStringLiteral("Operador ou senha inválidos."));
        case TPasswordVerdict::Right: break;
        }
        if (Scalar(c.db, QStringLiteral("SELECT COUNT(*) FROM FILIAL WHERE CDFILIAL = ?"), {branch}).toInt() == 0)
            return FailResult(QStringLiteral("Filial %1 não cadastrada.").arg(branch));
        if (Scalar(c.db, QStringLiteral("SELECT COUNT(*) FROM OPERADORFILIAL WHERE CDOPERADOR = ? AND CDFILIAL = ?"), {operatorCode, branch}).toInt() == 0)
            return FailResult(QStringLiteral("O operador %1 não tem acesso à filial %2.").arg(operatorCode, branch));
        if (Scalar(c.db, QStringLiteral("SELECT IDATIVO FROM OPERADOR WHERE CDOPERADOR = ?"), {operatorCode}).toString() == QLatin1String("N"))
            return FailResult(QStringLiteral("O operador %1 está desativado.").arg(operatorCode));
        return Sessions::Open(c.db, operatorCode, branch, c.now, *c.policy);
    });
    host.Write(u"Logout"_s, 0, u"Saída do sistema"_s, {.changesSession = true}, [](TCall& c) -> QVariant {
        Sessions::Close(c.db, *c.session);
        return true;
    });

    // Whether the password is the operator's. A supervisor's or manager's confirmed password
    // is his word for the session's operator for a while (Authorization.h).
    host.Write(u"ConfSenha"_s, 2, u"Confirmação de senha"_s, {.secret = {1}, .checksPassword = true, .changesSession = true}, [](TCall& c) -> QVariant {
        const QString operatorCode = c.text(0).trimmed();
        QVariant refusal;
        switch (CheckPasswordOfCall(c, refusal)) {
        case TPasswordVerdict::Locked: return refusal;
        case TPasswordVerdict::Wrong:
            c.journalNote = QStringLiteral("senha de %1 não confirmada").arg(operatorCode);
            return false;
        case TPasswordVerdict::Right: break;
        }
        if (MayVouch(c.db, operatorCode, c.session->operatorCode)) {
            Sessions::RecordConfirmation(c.db, *c.session, operatorCode, c.now);
            c.journalNote = QStringLiteral("senha de %1 confirmada: autorização de gerente/supervisor").arg(operatorCode);
        } else {
            c.journalNote = QStringLiteral("senha de %1 confirmada").arg(operatorCode);
        }
        return true;
    });
    // The processing dialog has ended: the supervisor's word it asked for, and the discount its
    // approval measured, serve no other.
    host.Write(u"FimProcessamento"_s, 0, u"Fim do processamento"_s, {.changesSession = true}, [](TCall& c) -> QVariant {
        Sessions::EndApproval(c.db, *c.session);
        return true;
    });
    // A manager lifts the lock of an operator of his branch, and of the addresses the operator's
    // failures came from.
    host.Write(u"DesbloqueiaOperador"_s, 1, u"Desbloqueio de operador"_s, {.check = RequireManager}, [](TCall& c) -> QVariant {
        const QString target = c.text(0).trimmed();
        if (Scalar(c.db, QStringLiteral("SELECT COUNT(*) FROM OPERADORFILIAL WHERE CDOPERADOR = ? AND CDFILIAL = ?"), {target, c.session->branch}).toInt() == 0)
            throw ERefusal(QStringLiteral("O operador %1 não é da filial %2.").arg(target, c.session->branch));
        const bool lifted = Sessions::Unlock(c.db, target);
        c.journalNote = lifted ? QStringLiteral("tentativas de senha de %1 esquecidas e bloqueio retirado").arg(target)
                               : QStringLiteral("%1 não estava bloqueado").arg(target);
        return lifted;
    });
    host.Read(u"ListaOrcamentos"_s, 1, u"Lista de orçamentos"_s, {.branchArg = 0}, [](TCall& c) {
        // The total as GetGeral gives it: items, labour and halls, less the discounts.
        return Pack(Select(c.db, kQuoteList, QuoteListSql(), {c.text(0)}));
    });

    // The operator's own rights (no row when he has none) and the branch's default rights.
    proc.Read(u"GetOperControle"_s, 1, u"Permissões do operador"_s, {.operatorArg = 0}, [](TCall& c) {
        const TDataPacket own = Select(c.db, kOperControle,
                                       u"SELECT CDOPERADOR, CDPROCHABLANOPE, CDPROCHABAPROPE, CDPROCHABFECOPE FROM OPERCONTROLE WHERE CDOPERADOR = ?"_s,
                                       {c.text(0)});
        const TDataPacket defaults = Select(c.db, kParamControle,
                                            u"SELECT CDPROCHABLANORE, CDPROCHABAPRORE, CDPROCHABFECORE FROM PARAMORCA WHERE CDFILIAL = ?"_s,
                                            {c.request.branch});
        return VarArrayOf({Pack(own), Pack(defaults)});
    });
    proc.Read(u"GetOperCadProd"_s, 1, u"Cadastro de produtos pelo operador"_s, {.operatorArg = 0}, [](TCall& c) {
        return Pack(Select(c.db, "IDCADPRPROCEORE s1", u"SELECT IDCADPRPROCEORE FROM OPERADOR WHERE CDOPERADOR = ?"_s, {c.text(0)}));
    });

    // The salesperson record of an operator, and the supervisor of a salesperson.
    aprova.Read(u"GetOperadorAprov"_s, 1, u"Vendedor do operador"_s, {.operatorArg = 0}, [](TCall& c) {
        return Pack(Select(c.db, "CDVENDEDOR s4", u"SELECT CDVENDEDOR FROM OPERADOR WHERE CDOPERADOR = ? AND CDVENDEDOR IS NOT NULL"_s, {c.text(0)}));
    });
    aprova.Read(u"GetSupervisor"_s, 1, u"Supervisor do vendedor"_s, {}, [](TCall& c) {
        return Pack(Select(c.db, "CDVENDEDOR s4, CDOPERADOR s12",
                           u"SELECT S.CDVENDEDOR, O.CDOPERADOR FROM VENDEDOR V JOIN VENDEDOR S ON S.CDVENDEDOR = V.CDVENDEDORSUP "
                            "LEFT JOIN OPERADOR O ON O.CDVENDEDOR = S.CDVENDEDOR WHERE V.CDVENDEDOR = ?"_s,
                           {c.text(0)}));
    });
    aprova.Read(u"GetVerifCargoOper"_s, 1, u"Cargo do operador"_s, {.operatorArg = 0}, [](TCall& c) {
        return Pack(Select(c.db, "CDVENDEDOR s4, NMFANVEN s50, IDCARGOVEND s1, CDVENDEDORSUP s4",
                           u"SELECT V.CDVENDEDOR, V.NMFANVEN, V.IDCARGOVEND, V.CDVENDEDORSUP FROM OPERADOR O "
                            "JOIN VENDEDOR V ON V.CDVENDEDOR = O.CDVENDEDOR WHERE O.CDOPERADOR = ?"_s,
                           {c.text(0)}));
    });
}
