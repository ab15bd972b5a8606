#include "Authorization.h"

#include "DiscountCeiling.h"
#include "Sessions.h"
#include "Variants.h"
#include "WireContract.h"

#include <QSqlQuery>


using namespace Qt::StringLiterals;

bool DiscountAboveCeiling(QSqlDatabase& db, const TQuoteKey& key)
{
    if (Scalar(db, QStringLiteral("SELECT IDTPTRATDESCORE FROM PARAMORCA WHERE CDFILIAL = ?"), {key.branch}).toString() != QLatin1String("A"))
        return false;
    TRows quote = Run(db, QStringLiteral("SELECT O.VRDESCORCEVE, V.VRPEMAXDESVE FROM ORCAEVENTO O LEFT JOIN VENDEDOR V ON V.CDVENDEDOR = O.CDVENDEDOR "
                                             "WHERE O.CDFILIAL = ? AND O.NRORCAEVENTO = ? AND O.NRSEQORCAEVE = ?"),
                          key.params());
    if (!quote.next())
        return false;
    std::vector<TDiscountedItem> items;
    TRows rows = Run(db, QStringLiteral("SELECT QTITEMORCEVE, VRITEMORCEVE, VRACREITOREV, VRDESCITOREV FROM ITEMORCA") + kWhereKey, key.params());
    while (rows.next())
        items.push_back({rows.value(0).toDouble(), rows.value(1).toDouble(), rows.value(2).toDouble(),
                         rows.isNull(3) ? std::nullopt : std::optional<double>(rows.value(3).toDouble())});
    return DiscountAboveCeiling(items, quote.value(0).toDouble(), quote.value(1).toDouble());
}

TJob JobOf(QSqlDatabase& db, const QString& operatorCode)
{
    TRows q = Run(db, QStringLiteral("SELECT O.CDVENDEDOR, V.IDCARGOVEND, V.CDVENDEDORSUP FROM OPERADOR O "
                                         "LEFT JOIN VENDEDOR V ON V.CDVENDEDOR = O.CDVENDEDOR WHERE O.CDOPERADOR = ?"),
                      {operatorCode});
    if (!q.next())
        return {};
    return {q.value(0).toString().trimmed(), q.value(1).toString().trimmed(), q.value(2).toString().trimmed()};
}

namespace {

// The processing rights as the dialog reads them: the operator's own row, otherwise the
// branch's defaults; every screen's rights together, since the server does not know the
// screen that launched the module.
QString RightsOf(QSqlDatabase& db, const QString& operatorCode, const QString& branch)
{
    TRows own = Run(db, QStringLiteral("SELECT CDPROCHABLANOPE, CDPROCHABAPROPE, CDPROCHABFECOPE FROM OPERCONTROLE WHERE CDOPERADOR = ?"), {operatorCode});
    if (own.next())
        return QStringList{own.value(0).toString(), own.value(1).toString(), own.value(2).toString()}.join(QLatin1Char(' '));
    TRows defaults = Run(db, QStringLiteral("SELECT CDPROCHABLANORE, CDPROCHABAPRORE, CDPROCHABFECORE FROM PARAMORCA WHERE CDFILIAL = ?"), {branch});
    if (defaults.next())
        return QStringList{defaults.value(0).toString(), defaults.value(1).toString(), defaults.value(2).toString()}.join(QLatin1Char(' '));
    return {};
}

// How long a supervisor's word holds on the branch: its parameter, 60 minutes without one.
int ConfirmationMinutes(QSqlDatabase& db, const QString& branch)
{
    const QVariant minutes = Scalar(db, QStringLiteral("SELECT QTMINAUTSUPORE FROM PARAMORCA WHERE CDFILIAL = ?"), {branch});
    return minutes.isNull() || minutes.toInt() <= 0 ? 60 : minutes.toInt();
}

// Whether the session holds a supervisor's word, recent enough and not used for another quote,
// from someone who may give it for this operator and this quote: a manager, the operator's
// supervisor, or the supervisor of the quote's salesperson (whose password the approval asks
// for).
bool Vouches(TCall& c, const TQuoteKey& key, const TJob& acting, const Sessions::TApprovalInProgress& approval)
{
    if (approval.confirmedBy.isEmpty() || !approval.confirmedAt.isValid() || approval.confirmedAt > c.now
        || approval.confirmedAt.secsTo(c.now) > qint64(ConfirmationMinutes(c.db, c.session->branch)) * 60)
        return false;
    if (!approval.confirmedFor.isEmpty() && approval.confirmedFor != key.text())
        return false;
    const TJob confirmer = JobOf(c.db, approval.confirmedBy);
    if (confirmer.job == QLatin1String("G"))
        return true;
    if (confirmer.salesperson.isEmpty())
        return false;
    const QString quoteSupervisor = Scalar(c.db, QStringLiteral("SELECT V.CDVENDEDORSUP FROM ORCAEVENTO O JOIN VENDEDOR V ON V.CDVENDEDOR = O.CDVENDEDOR "
                                                                "WHERE O.CDFILIAL = ? AND O.NRORCAEVENTO = ? AND O.NRSEQORCAEVE = ?"),
                                           key.params())
                                        .toString()
                                        .trimmed();
    return confirmer.salesperson == acting.supervisor || confirmer.salesperson == quoteSupervisor;
}

// The same; when it holds, the word goes to this quote (no other quote may use it until the
// approval ends), and the change's journal entry names who gave it, so that the quote's
// history shows it.
bool HoldsConfirmation(TCall& c, const TQuoteKey& key, const TJob& acting, const Sessions::TApprovalInProgress& approval)
{
    if (!Vouches(c, key, acting, approval))
        return false;
    if (approval.confirmedFor.isEmpty())
        Sessions::BindConfirmation(c.db, *c.session, key.text());
    c.journalNote = QStringLiteral("autorizado por %1 (senha confirmada em %2)")
                        .arg(approval.confirmedBy, approval.confirmedAt.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")));
    return true;
}

} // namespace

void RequireDiscountAuthorised(TCall& c)
{
    const TQuoteKey key{c.text(SetAprovaArg::Branch), c.text(SetAprovaArg::Number), c.text(SetAprovaArg::Sequence)};
    const TJob acting = JobOf(c.db, c.session->operatorCode);
    if (!acting.job.isEmpty() && !acting.plain())
        return;
    // Measured as the approval measures it: over the items as they stood before the approval
    // dropped the options not kept, when it did (SetOpcao); over the items as they are otherwise.
    const Sessions::TApprovalInProgress approval = Sessions::ApprovalInProgress(c.db, *c.session);
    const bool above = approval.measuredQuote == key.text() && approval.measuredAbove ? *approval.measuredAbove : DiscountAboveCeiling(c.db, key);
    if (!above || HoldsConfirmation(c, key, acting, approval))
        return;
    throw EDenied(QStringLiteral("O desconto do orçamento %1 está acima do permitido e precisa ser autorizado pelo gerente/supervisor "
                                 "(senha confirmada nos últimos %2 minutos). Operação recusada.")
                      .arg(key.text())
                      .arg(ConfirmationMinutes(c.db, c.session->branch)));
}

void RequireCommercialAuthorised(TCall& c)
{
    const TQuoteKey key = KeyOf(c);
    const TJob acting = JobOf(c.db, c.session->operatorCode);
    if (c.text(4).trimmed() != acting.salesperson)
        throw EDenied(QStringLiteral("%1: o vendedor informado (%2) não é o do operador %3. Operação recusada.")
                          .arg(c.where(), c.text(4).trimmed(), c.session->operatorCode));
    if (!acting.plain() || HoldsConfirmation(c, key, acting, Sessions::ApprovalInProgress(c.db, *c.session)))
        return;
    throw EDenied(QStringLiteral("A aprovação comercial do orçamento %1 precisa da senha do gerente/supervisor, confirmada nos últimos %2 minutos. "
                                 "Operação recusada.")
                      .arg(key.text())
                      .arg(ConfirmationMinutes(c.db, c.session->branch)));
}

void RequireProductRegistration(TCall& c)
{
    if (Scalar(c.db, QStringLiteral("SELECT IDCADPRPROCEORE FROM OPERADOR WHERE CDOPERADOR = ?"), {c.session->operatorCode}).toString().trimmed()
        != QLatin1String("S"))
        throw EDenied(QStringLiteral("O operador %1 não tem permissão para cadastrar produtos. Operação recusada.").arg(c.session->operatorCode));
}

void RequireManager(TCall& c)
{
    if (JobOf(c.db, c.session->operatorCode).job != QLatin1String("G"))
        throw EDenied(QStringLiteral("%1: só um gerente pode fazê-lo, e o operador %2 não é gerente. Operação recusada.").arg(c.where(), c.session->operatorCode));
}

namespace {

QString Verb(const QString& right)
{
    return right == QLatin1String("APROVAR") ? QStringLiteral("aprovar") : right == QLatin1String("FECHAR") ? QStringLiteral("fechar") : QStringLiteral("executar");
}

// Whether the operator holds one of the rights the rule names ("APROVAR FECHAR": either).
void RequireRight(TCall& c, const char* right)
{
    const QStringList wanted = QString::fromLatin1(right).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString held = RightsOf(c.db, c.session->operatorCode, c.session->branch);
    if (std::any_of(wanted.begin(), wanted.end(), [&](const QString& r) { return held.contains(r); }))
        return;
    QStringList verbs;
    for (const QString& r : wanted)
        verbs << Verb(r);
    throw EDenied(QStringLiteral("O operador %1 não tem permissão para %2 orçamentos. Operação recusada.")
                      .arg(c.session->operatorCode, verbs.join(QStringLiteral(" ou "))));
}

} // namespace

void Authorize(TCall& c, const TMethodRule& rule)
{
    const TSessionInfo& session = *c.session;
    if (rule.operatorArg >= 0 && c.text(rule.operatorArg).trimmed().compare(session.operatorCode, Qt::CaseInsensitive) != 0)
        throw EDenied(QStringLiteral("%1: o operador informado (%2) não é o da sessão (%3). Operação recusada.")
                          .arg(c.where(), c.text(rule.operatorArg).trimmed(), session.operatorCode));
    for (const QString& branch : BranchesNamed(c.request.params, rule))
        if (!branch.trimmed().isEmpty() && branch.trimmed() != session.branch)
            throw EDenied(QStringLiteral("%1: a filial informada (%2) não é a da sessão (%3). Operação recusada.")
                              .arg(c.where(), branch.trimmed(), session.branch));
    if (rule.right)
        RequireRight(c, rule.right);
    if (rule.check)
        rule.check(c);
}

QStringList BranchesNamed(const QVariantList& params, const TMethodRule& rule)
{
    QStringList named;
    const auto text = [&](int i) { return i >= 0 && i < params.size() && params[i].canConvert<QString>() ? params[i].toString() : QString(); };
    for (int at : {rule.branchArg, rule.quote.branch})
        if (at >= 0)
            named << text(at);
    if (rule.quote.packet >= 0 && rule.quote.packet < params.size() && VarIsPacket(params[rule.quote.packet])) {
        const TDataPacket packet = params[rule.quote.packet].value<TDataPacket>();
        if (const int branch = packet.fieldIndex(u"CDFILIAL"_s); branch >= 0)
            for (const CellRow& row : packet.rows())
                named << (std::holds_alternative<QString>(row[size_t(branch)]) ? std::get<QString>(row[size_t(branch)]) : QString());
    }
    return named;
}

TQuoteKey QuoteNamed(const QVariantList& params, const TMethodRule& rule)
{
    auto text = [&](int i) { return i >= 0 && i < params.size() && params[i].canConvert<QString>() ? params[i].toString() : QString(); };
    if (rule.quote.packet < 0)
        return {text(rule.quote.branch), text(rule.quote.number), text(rule.quote.sequence)};
    if (rule.quote.packet >= params.size() || !VarIsPacket(params[rule.quote.packet]))
        return {};
    const TDataPacket packet = params[rule.quote.packet].value<TDataPacket>();
    const int mark = packet.fieldIndex(u"IDMARCADO"_s), branch = packet.fieldIndex(u"CDFILIAL"_s), number = packet.fieldIndex(u"NRORCAEVENTO"_s),
              sequence = packet.fieldIndex(u"NRSEQORCAEVE"_s);
    if (branch < 0 || number < 0 || sequence < 0 || packet.rows().empty())
        return {};
    auto cell = [](const CellRow& row, int i) { return std::holds_alternative<QString>(row[size_t(i)]) ? std::get<QString>(row[size_t(i)]) : QString(); };
    const CellRow* chosen = &packet.rows().front();
    if (mark >= 0)
        for (const CellRow& row : packet.rows())
            if (cell(row, mark).trimmed() == QLatin1String("S")) {
                chosen = &row;
                break;
            }
    return {cell(*chosen, branch), cell(*chosen, number), cell(*chosen, sequence)};
}

bool MayVouch(QSqlDatabase& db, const QString& confirmer, const QString& actingOperator)
{
    if (confirmer.trimmed().compare(actingOperator, Qt::CaseInsensitive) == 0)
        return false;
    const TJob job = JobOf(db, confirmer);
    return !job.job.isEmpty() && !job.plain();
}
