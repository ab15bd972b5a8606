#include "Authorization.h"

#include "Sessions.h"
#include "TextRoutines.h"
#include "Variants.h"

#include <QSqlQuery>

#include <map>

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
    const double discount = quote.value(0).toDouble(), ceiling = quote.value(1).toDouble();
    double gross = 0;
    bool itemAbove = false;
    TRows items = Run(db, QStringLiteral("SELECT QTITEMORCEVE, VRITEMORCEVE, VRACREITOREV, VRDESCITOREV FROM ITEMORCA") + kWhereKey,
                          key.params());
    while (items.next()) {
        const double line = RoundDec(items.value(0).toDouble() * items.value(1).toDouble() + items.value(2).toDouble(), 2);
        gross += line;
        const double itemDiscount = items.value(3).toDouble();
        if (!itemAbove && !items.value(3).isNull() && itemDiscount != 0 && line > 0 && RoundDec(itemDiscount * 100, 2) / line > ceiling)
            itemAbove = true;
    }
    if (itemAbove)
        return true;
    gross = gross == 0 ? 1 : std::abs(gross);
    return RoundDec(discount, 2) * 100 / RoundDec(gross, 2) > RoundDec(ceiling, 2);
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

// Whether the session holds a supervisor's word, recent enough, from someone who may give it
// for this operator and this quote: a manager, the operator's supervisor, or the supervisor
// of the quote's salesperson (whose password the approval asks for).
bool Vouches(TCall& c, const TQuoteKey& key, const TJob& acting)
{
    const TSessionInfo& s = *c.session;
    if (s.confirmedBy.isEmpty() || !s.confirmedAt.isValid() || s.confirmedAt > c.now
        || s.confirmedAt.secsTo(c.now) > qint64(c.policy->confirmationMinutes) * 60)
        return false;
    const TJob confirmer = JobOf(c.db, s.confirmedBy);
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

// The same, and when it holds, the change's journal entry names who gave his word, so that
// the quote's history shows it.
bool HoldsConfirmation(TCall& c, const TQuoteKey& key, const TJob& acting)
{
    if (!Vouches(c, key, acting))
        return false;
    c.journalNote = QStringLiteral("autorizado por %1 (senha confirmada em %2)")
                        .arg(c.session->confirmedBy, c.session->confirmedAt.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")));
    return true;
}

// SetAprova: a discount above the ceiling needs a supervisor's word, unless the operator is
// a supervisor or manager himself.
void RequireDiscountAuthorised(TCall& c)
{
    const TQuoteKey key{c.text(2), c.text(0), c.text(1)};
    const TJob acting = JobOf(c.db, c.session->operatorCode);
    if (!acting.job.isEmpty() && !acting.plain())
        return;
    if (!DiscountAboveCeiling(c.db, key) || HoldsConfirmation(c, key, acting))
        return;
    throw EDenied(QStringLiteral("O desconto do orçamento %1 está acima do permitido e precisa ser autorizado pelo gerente/supervisor "
                                 "(senha confirmada nos últimos %2 minutos). Operação recusada.")
                      .arg(key.text())
                      .arg(c.policy->confirmationMinutes));
}

// SetAprovComercial: given in the name of the operator's own salesperson record; a plain
// salesperson needs a supervisor's word.
void RequireCommercialAuthorised(TCall& c)
{
    const TQuoteKey key = KeyOf(c);
    const TJob acting = JobOf(c.db, c.session->operatorCode);
    if (c.text(4).trimmed() != acting.salesperson)
        throw EDenied(QStringLiteral("%1: o vendedor informado (%2) não é o do operador %3. Operação recusada.")
                          .arg(c.where(), c.text(4).trimmed(), c.session->operatorCode));
    if (!acting.plain() || HoldsConfirmation(c, key, acting))
        return;
    throw EDenied(QStringLiteral("A aprovação comercial do orçamento %1 precisa da senha do gerente/supervisor, confirmada nos últimos %2 minutos. "
                                 "Operação recusada.")
                      .arg(key.text())
                      .arg(c.policy->confirmationMinutes));
}

const std::map<QString, TMethodRule>& Rules()
{
    constexpr TQuoteAt key{0, 1, 2};
    constexpr TQuoteAt packet{.packet = 0};
    static const std::map<QString, TMethodRule> rules = {
        {u"CRV.rdmHost.Login"_s, {.journal = true, .secret = {1}, .checksPassword = true}},
        {u"CRV.rdmHost.Logout"_s, {.journal = true, .changesSession = true}},
        {u"CRV.rdmHost.ConfSenha"_s, {.journal = true, .secret = {1}, .checksPassword = true, .changesSession = true}},
        // Read-only, on the session's branch.
        {u"CRV.rdmHost.VerificaOrcamento"_s, {.branchArg = 0, .quote = key}},
        {u"CRV.rdmHost.HistoricoOrcamento"_s, {.branchArg = 0, .quote = {0, 1, -1}}},

        {u"ORE06400.rdmProcOrca.GetOperControle"_s, {.operatorArg = 0}},
        {u"ORE06400.rdmProcOrca.GetOperCadProd"_s, {.operatorArg = 0}},
        {u"ORE00400.rdmAprovaOrca.GetOperadorAprov"_s, {.operatorArg = 0}},
        {u"ORE00400.rdmAprovaOrca.GetVerifCargoOper"_s, {.operatorArg = 0}},

        {u"ORE00400.rdmAprovaOrca.SetEscolhaSalao"_s, {.journal = true, .right = "APROVAR", .quote = packet}},
        {u"ORE00400.rdmAprovaOrca.SetOpcao"_s, {.journal = true, .right = "APROVAR", .quote = key}},
        {u"ORE00400.rdmAprovaOrca.SetSalao"_s, {.journal = true, .right = "APROVAR", .quote = key}},
        {u"ORE00400.rdmAprovaOrca.SetAprovComercial"_s, {.journal = true, .right = "APROVAR", .quote = key, .check = RequireCommercialAuthorised}},
        {u"ORE00400.rdmAprovaOrca.SetAprova"_s,
         {.journal = true, .right = "APROVAR", .operatorArg = 3, .quote = {2, 0, 1}, .check = RequireDiscountAuthorised}},
        {u"ORE06400.rdmProcOrca.SetVdCustoFixo"_s, {.journal = true, .right = "APROVAR", .quote = key}},
        {u"ORE00400.rdmAprovaOrca.SetModPgto"_s, {.journal = true, .quote = {1, 2, -1}}},
        {u"ORE00400.rdmAprovaOrca.SetEndCliente"_s, {.journal = true, .quote = key}},
        {u"ORE00800.rdmFechaOrca.SetClieContratante"_s, {.journal = true, .quote = {1, 2, -1}}},

        {u"ORE00800.rdmFechaOrca.FecharOrca"_s, {.journal = true, .right = "FECHAR", .operatorArg = 1, .quote = packet}},
        {u"ORE02900.rdmExecProc.FecharOrca"_s, {.journal = true, .right = "EXECUTAR", .operatorArg = 1, .branchArg = 4, .quote = packet}},
        {u"ORE02900.rdmExecProc.ExecOrcaComposicao"_s, {.journal = true, .right = "EXECUTAR", .operatorArg = 1, .branchArg = 4, .quote = packet}},
        {u"ORE02900.rdmExecProc.ExecOrcaComposicaoMat"_s, {.journal = true, .right = "EXECUTAR", .operatorArg = 1, .branchArg = 4, .quote = packet}},
        {u"ORE02900.rdmExecProc.GeraReqOrcaEve"_s, {.journal = true, .right = "EXECUTAR", .operatorArg = 2, .branchArg = 1, .quote = packet}},

        {u"ORE00105.rdmCliente.CadastraCliente"_s, {.journal = true, .quote = key}},
        {u"ORE00406.rdmProposta.GravaProposta"_s, {.journal = true, .quote = key}},
        {u"ORE09000.rdmContratante.GravaContratante"_s, {.journal = true, .quote = key}},
        {u"ORE09000.rdmContratante.ExcluiContratante"_s, {.journal = true, .quote = key}},
        {u"ORE06700.rdmProduto.VinculaProduto"_s, {.journal = true, .quote = key}},
        {u"ORE06700.rdmProduto.CriaProduto"_s, {.journal = true}},
    };
    return rules;
}

QString Verb(const char* right)
{
    const QString r = QString::fromLatin1(right);
    return r == QLatin1String("APROVAR") ? QStringLiteral("aprovar") : r == QLatin1String("FECHAR") ? QStringLiteral("fechar") : QStringLiteral("executar");
}

} // namespace

const TMethodRule& RuleOf(const QString& name)
{
    static const TMethodRule readOnly;
    const auto& rules = Rules();
    const auto it = rules.find(name);
    return it == rules.end() ? readOnly : it->second;
}

void Authorize(TCall& c, const TMethodRule& rule)
{
    const TSessionInfo& session = *c.session;
    if (rule.operatorArg >= 0 && c.text(rule.operatorArg).trimmed().compare(session.operatorCode, Qt::CaseInsensitive) != 0)
        throw EDenied(QStringLiteral("%1: o operador informado (%2) não é o da sessão (%3). Operação recusada.")
                          .arg(c.where(), c.text(rule.operatorArg).trimmed(), session.operatorCode));
    if (rule.branchArg >= 0 && c.text(rule.branchArg).trimmed() != session.branch)
        throw EDenied(QStringLiteral("%1: a filial informada (%2) não é a da sessão (%3). Operação recusada.")
                          .arg(c.where(), c.text(rule.branchArg).trimmed(), session.branch));
    if (rule.right && !RightsOf(c.db, session.operatorCode, session.branch).contains(QLatin1String(rule.right)))
        throw EDenied(QStringLiteral("O operador %1 não tem permissão para %2 orçamentos. Operação recusada.").arg(session.operatorCode, Verb(rule.right)));
    if (rule.check)
        rule.check(c);
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
