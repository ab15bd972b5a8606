// CRV.rdmHost.VerificaOrcamento: everything that would stop each next action of a quote, in the
// words the workflows would use, and the orders an execution would make. It only reads.
// CRV.rdmHost.HistoricoOrcamento: the journal's entries about a quote.
#include "Authorization.h"
#include "MessageList.h"
#include "OrderPlan.h"
#include "Sessions.h"
#include "StoredDates.h"
#include "TextRoutines.h"
#include "Variants.h"

#include <QSqlQuery>

#include <algorithm>
#include <set>

using namespace Qt::StringLiterals;

namespace {

// The processing dialog's message lists, compiled into the server from the module's own files.
const TMessageList& List(const char* name)
{
    static const auto load = [](const char* file) {
        auto* list = new TMessageList(QString::fromLatin1(file));
        list->LoadFromFile(QStringLiteral(":/oreserver/") + QString::fromLatin1(file));
        return list;
    };
    static const TMessageList* const padrao = load("TfrmProcOrca.msgPadrao.txt");
    static const TMessageList* const padraoExec = load("TfrmProcOrca.msgPadraoExec.txt");
    return qstrcmp(name, "msgPadraoExec") == 0 ? *padraoExec : *padrao;
}

QString Msg(const char* key) { return List("msgPadrao").Msg(QString::fromLatin1(key)); }
QString MsgExec(const char* key) { return List("msgPadraoExec").Msg(QString::fromLatin1(key)); }

constexpr const char* kAprovar = "APROVAR";
constexpr const char* kFechar = "FECHAR";
constexpr const char* kExecutar = "EXECUTAR";

constexpr const char* kReport =
    "IDACAO s8, IDGRAVIDADE s1, IDPROXIMA s1, CDPENDENCIA s30, DSMENSAGEM s500, DSDETALHE s500, "
    "IDDEPTO s1, CDPRODUTO s10, CDARVPROD s20, NMPRODUTO s50, QTPEDIDO f, NRPEDIDOORIG s10";

// The report as it is gathered: findings that block ("B"), warnings ("A": the workflow asks,
// or stops unless the operator acts in it), and the orders an execution would make ("P").
class TReport {
public:
    explicit TReport(const char* next) : m_next(next) {}

    void Block(const char* action, const QString& code, const QString& text, const QString& detail = {}) { add(action, 'B', code, text, detail); }
    void Warn(const char* action, const QString& code, const QString& text, const QString& detail = {}) { add(action, 'A', code, text, detail); }
    void Order(const QString& text, const QString& department, const TProduct& product, double quantity, const QString& original)
    {
        CellRow& row = add(kExecutar, 'P', QStringLiteral("PEDIDO"), text,
                           original.isEmpty() ? QStringLiteral("pedido novo") : QStringLiteral("acréscimo ao pedido %1").arg(original));
        row[6] = department;
        row[7] = product.code;
        row[8] = product.tree;
        row[9] = product.name;
        row[10] = quantity;
        row[11] = original.isEmpty() ? Cell{} : Cell(original);
    }

    // Blocking findings first, then warnings, then the orders; each by action, as they came.
    TDataPacket Packet()
    {
        auto rank = [](const Entry& e) {
            const int severity = e.severity == 'B' ? 0 : e.severity == 'A' ? 1 : 2;
            const int action = e.action == kAprovar ? 0 : e.action == kFechar ? 1 : 2;
            return severity * 3 + action;
        };
        std::stable_sort(m_entries.begin(), m_entries.end(), [&](const Entry& a, const Entry& b) { return rank(a) < rank(b); });
        std::vector<CellRow> rows;
        rows.reserve(m_entries.size());
        for (Entry& e : m_entries)
            rows.push_back(std::move(e.row));
        return TDataPacket(Layout(kReport), std::move(rows));
    }

private:
    struct Entry {
        const char* action;
        char severity;
        CellRow row;
    };
    CellRow& add(const char* action, char severity, const QString& code, const QString& text, const QString& detail)
    {
        m_entries.push_back({action, severity,
                             CellRow{QString::fromLatin1(action), QString(QLatin1Char(severity)), QString::fromLatin1(action == m_next ? "S" : "N"),
                                     code, text, detail.isEmpty() ? Cell{} : Cell(detail), Cell{}, Cell{}, Cell{}, Cell{}, Cell{}, Cell{}}});
        return m_entries.back().row;
    }
    const char* m_next;
    std::vector<Entry> m_entries;
};

// What the report reads of the quote and of its branch's parameters.
struct TQuoteFacts {
    int situation = 0;
    QString clientState, seller;
    QStringList missingAddress;   // the delivery address's empty parts, named for the operator
};

struct TParameters {
    QString parentFirst, discountTreatment, commercialApproval, generation, productionKind, priceOrigin, basePrice, operationRequired, operation;
};

TQuoteFacts FactsOf(QSqlDatabase& db, const TQuoteKey& key)
{
    TRows q = Run(db, u"SELECT IDSITUORCEVE, IDSITCLIOREV, CDVENDEDOR, DSENDENTOREV, CDPAIS, SGESTADO, CDMUNICIPIO FROM ORCAEVENTO"_s + kWhereKey,
                  key.params());
    if (!q.next())
        throw ERefusal(QStringLiteral("Orçamento %1 não encontrado.").arg(key.text()));
    TQuoteFacts f{q.value(0).toString().toInt(), q.value(1).toString().trimmed(), q.value(2).toString().trimmed(), {}};
    const char* const parts[] = {"endereço", "país", "estado", "município"};
    for (int i = 0; i < 4; ++i)
        if (q.value(3 + i).toString().isEmpty())
            f.missingAddress << QString::fromUtf8(parts[i]);
    return f;
}

TParameters ParametersOf(QSqlDatabase& db, const QString& branch)
{
    TRows p = Run(db, QStringLiteral("SELECT IDAPROVORCFILANTPAI, IDTPTRATDESCORE, IDUTAPROVCOMORE, IDGERREQEXECORE, IDTPPRODPEDOREV, IDORIGPRUNITORE, "
                                     "CDPBASEITEM, IDOBRTPOPPED, CDTIPOOPER FROM PARAMORCA WHERE CDFILIAL = ?"),
                  {branch});
    if (!p.next())
        return {};
    auto v = [&](int i) { return p.value(i).toString().trimmed(); };
    return {v(0), v(1), v(2), v(3), v(4), v(5), p.value(6).toString(), v(7), v(8)};
}

int Count(QSqlDatabase& db, const char* table, const TQuoteKey& key, const char* condition = "")
{
    return Scalar(db, QStringLiteral("SELECT COUNT(*) FROM %1%2%3").arg(QLatin1String(table), kWhereKey, QLatin1String(condition)), key.params())
        .toInt();
}

// ---- approval

void Approval(TCall& c, const TQuoteKey& key, const TQuoteFacts& quote, const TParameters& parameters, TReport& report)
{
    QSqlDatabase& db = c.db;
    const TJob job = JobOf(db, c.session->operatorCode);
    if (parameters.parentFirst == QLatin1String("N")) {
        const QVariant parent = Scalar(db, PendingParentSql(), key.params());
        if (parent.isValid() && !parent.isNull())
            report.Block(kAprovar, QStringLiteral("Orc_Pai_Aprov"), Msg("Orc_Pai_Aprov"), QStringLiteral("orçamento original %1 pendente").arg(parent.toString()));
    }
    const int items = Count(db, "ITEMORCA", key);
    if (items == 0)
        report.Block(kAprovar, QStringLiteral("Item_N_Cad"), Msg("Item_N_Cad"));

    // The discount ceiling: a manager confirms it himself; a plain salesperson needs the
    // password of the supervisor of the quote's salesperson.
    if (items > 0 && parameters.discountTreatment == QLatin1String("A") && DiscountAboveCeiling(db, key)) {
        if (!job.job.isEmpty() && !job.plain()) {
            report.Warn(kAprovar, QStringLiteral("DESC_ACIMA"), Msg("DESC_ACIMA"));
        } else {
            const QString supervisor = Scalar(db, QStringLiteral("SELECT O.CDOPERADOR FROM VENDEDOR V JOIN VENDEDOR S ON S.CDVENDEDOR = V.CDVENDEDORSUP "
                                                                 "JOIN OPERADOR O ON O.CDVENDEDOR = S.CDVENDEDOR WHERE V.CDVENDEDOR = ?"),
                                              {quote.seller})
                                           .toString();
            if (!supervisor.isEmpty())
                report.Warn(kAprovar, QStringLiteral("PERMITE_DESCONTO"), Msg("PERMITE_DESCONTO"), QStringLiteral("senha de %1").arg(supervisor));
            else if (job.salesperson.isEmpty())
                report.Block(kAprovar, QStringLiteral("GRSUP_VAZIO"), Msg("GRSUP_VAZIO"));
            else
                report.Block(kAprovar, QStringLiteral("GERSUP_N_APROV"), Msg("GERSUP_N_APROV"),
                             QStringLiteral("o supervisor do vendedor %1 não tem operador").arg(quote.seller));
        }
    }
    if (Count(db, "MAOOBRA", key) == 0)
        report.Warn(kAprovar, QStringLiteral("Orc_N_MObra"), Msg("Orc_N_MObra"));

    // A new client is registered in the registration screen during the approval.
    if (quote.clientState == QLatin1String("N")
        && Scalar(db, QStringLiteral("SELECT COUNT(*) FROM ENDENOVOCLIE N JOIN CLIENTE C ON C.NRINSJURCLIE = N.NRINSJURORCA "
                                     "WHERE N.CDFILIAL = ? AND N.NRORCAEVENTO = ? AND N.NRSEQORCAEVE = ?"),
                  key.params())
                   .toInt()
               == 0)
        report.Warn(kAprovar, QStringLiteral("INS_N_INF"), Msg("INS_N_INF"), QStringLiteral("cliente a cadastrar na tela de cadastro de clientes"));

    // The delivery address is completed, and products registered, in the information dialog.
    if (!quote.missingAddress.isEmpty())
        report.Warn(kAprovar, QStringLiteral("End_Entrega_Inf"), Msg("End_Entrega_Inf"),
                    QStringLiteral("falta: %1").arg(quote.missingAddress.join(QStringLiteral(", "))));
    QStringList unregistered;
    TRows products = Run(db, u"SELECT NMPRODUTO FROM ITEMORCA"_s + kWhereKey + u" AND (CDPRODUTO IS NULL OR CDPRODUTO = '') ORDER BY NRITEMORCEVE"_s,
                         key.params());
    while (products.next())
        unregistered << products.value(0).toString();
    if (!unregistered.isEmpty()) {
        const bool mayRegister = Scalar(db, QStringLiteral("SELECT IDCADPRPROCEORE FROM OPERADOR WHERE CDOPERADOR = ?"), {c.session->operatorCode})
                                     .toString()
                                 == QLatin1String("S");
        const QString detail = unregistered.join(QStringLiteral(", "));
        if (mayRegister)
            report.Warn(kAprovar, QStringLiteral("BLOQ_ORCA_SEM_PROD_CAD"), Msg("BLOQ_ORCA_SEM_PROD_CAD"), detail);
        else
            report.Block(kAprovar, QStringLiteral("BLOQ_ORCA_SEM_PROD_CAD"), Msg("BLOQ_ORCA_SEM_PROD_CAD"),
                         detail + QStringLiteral(" (o operador não pode cadastrar produtos)"));
    }

    // The halls the approval books, as the hall check asks the server about them.
    struct HallRefusal {
        const char* code;
        const char* key;
    };
    constexpr HallRefusal refusals[] = {{"ACIMA_LIMITE", "Qt_Agen"}, {"N_LIMITE_DEF", "N_Limite_Param"}, {"DTA_HRA_MARC", "DtHr_Marc"}};
    for (const QString& hall : ReservedHalls(db, key)) {
        const QString conflict = HallConflict(c, key, hall, false);
        for (const HallRefusal& r : refusals)
            if (conflict.startsWith(QLatin1String(r.code)))
                report.Block(kAprovar, QString::fromLatin1(r.key), Format(Msg(r.key), {conflict.section(QLatin1Char('|'), 1)}), QStringLiteral("salão %1").arg(hall));
    }

    if (parameters.commercialApproval == QLatin1String("S") && job.plain())
        report.Warn(kAprovar, QStringLiteral("APROV_COMERC_REALI"), Msg("APROV_COMERC_REALI"), QStringLiteral("pede a senha do gerente/supervisor"));
}

// ---- closing

void Closing(QSqlDatabase& db, const TQuoteKey& key, TReport& report)
{
    if (const QString missing = ClosingParameterError(db, key); !missing.isEmpty())
        report.Block(kFechar, missing.section(QLatin1Char('|'), 0, 0), List("msgPadrao").KeyedMsg(missing));
    // The contracting clients are stated in their screen during the closing.
    const QString where = QStringLiteral("informe na tela de contratantes do fechamento");
    if (Count(db, "CONTRATANTE", key) == 0) {
        report.Warn(kFechar, QStringLiteral("CONTRATANTE_N_INF"), Msg("CONTRATANTE_N_INF"), where);
        return;
    }
    if (const QString problem = ContractorValueProblem(db, key); !problem.isEmpty())
        report.Warn(kFechar, problem, Msg(problem.toLatin1().constData()), where);
    if (!ContractorCountMatches(db, key))
        report.Warn(kFechar, QStringLiteral("QT_CONTR_DIF"), Msg("QT_CONTR_DIF"), where);
    const QString guests = GuestCountProblem(db, key);
    if (guests == QLatin1String("CONV_QTD_ZERO"))
        report.Warn(kFechar, guests, Msg("CONV_INV"), QStringLiteral("o fechamento não pára por isso"));
    else if (guests == QLatin1String("CONV_DIF"))
        report.Warn(kFechar, guests, QStringLiteral("Quantidade de convidados dos contratantes difere da do orçamento."),
                    QStringLiteral("o fechamento não pára por isso"));
}

// ---- execution

QString ProductList(const std::vector<CellRow>& rows, int tree, int name)
{
    QStringList products;
    for (const CellRow& row : rows)
        products << std::get<QString>(row[size_t(tree)]) + QLatin1Char(' ') + std::get<QString>(row[size_t(name)]);
    return products.join(QStringLiteral(", "));
}

void Execution(QSqlDatabase& db, const TQuoteKey& key, int situation, const TParameters& parameters, TReport& report)
{
    if (situation == 6) {
        report.Block(kExecutar, QStringLiteral("SITU_INV_ORC"), Msg("SITU_INV_ORC"));
        return;
    }
    if (situation > 6) {
        report.Block(kExecutar, QStringLiteral("Orca_N_Exec"), Msg("Orca_N_Exec"));
        return;
    }
    if (parameters.priceOrigin == QLatin1String("C") && parameters.basePrice.trimmed().isEmpty())
        report.Block(kExecutar, QStringLiteral("Inf_PreBase"), MsgExec("Inf_PreBase"));

    // The steps that would run: production (or the requisition) unless it is done, materials
    // unless they are.
    const bool byOrders = parameters.generation == QLatin1String("P");
    const bool production = situation != 4 && byOrders, requisition = situation != 4 && !byOrders, materials = situation != 5;
    if (production || materials) {
        if (const QString missing = ExecutionParameterError(db, key); !missing.isEmpty())
            report.Block(kExecutar, missing.section(QLatin1Char('|'), 0, 0), List("msgPadraoExec").KeyedMsg(missing));
        if (parameters.operationRequired == QLatin1String("S") && parameters.operation.isEmpty())
            report.Block(kExecutar, QStringLiteral("Inf_TpOperPed"), Msg("Inf_TpOperPed"));
        const QStringList kinds{QStringLiteral("O"), QStringLiteral("C"), QStringLiteral("A")};
        if (!kinds.contains(parameters.productionKind)) {
            report.Block(kExecutar, QStringLiteral("Inf_TpProdPed"), MsgExec("Inf_TpProdPed"));
            return;
        }
        // The questions of a quote whose orders went on: the first that applies is asked.
        const std::pair<const char*, const char*> added[] = {{"E", "Item_Ja_Exp"}, {"O", "Item_Ja_OP"}, {"R", "Item_Ja_MT"}};
        for (const auto& [state, question] : added)
            if (const double more = AddedSince(db, key, state); more > 0) {
                report.Warn(kExecutar, QString::fromLatin1(question), MsgExec(question), QStringLiteral("quantidade acrescida: %1").arg(more));
                break;
            }
    }

    std::set<QString> withoutDepartment;   // listed by each step; reported once
    auto noDepartment = [&](const TOrderPlan& plan) {
        std::vector<CellRow> fresh;
        for (const CellRow& row : plan.semDep)
            if (withoutDepartment.insert(std::get<QString>(row[0])).second)
                fresh.push_back(row);
        if (!fresh.empty())
            report.Block(kExecutar, QStringLiteral("Prod_Sem_Depto"), MsgExec("Prod_Sem_Depto"), ProductList(fresh, 1, 2));
    };
    // The orders listed for the operator only when the quote can be executed now.
    auto preview = [&](const TOrderPlan& plan, const QString& text, const QString& department) {
        if (situation < 3 || !plan.clear())
            return;
        for (const auto& [code, line] : plan.order)
            report.Order(text, department, line.first, line.second, plan.original);
    };

    if (requisition) {
        const TOrderPlan plan = PlanRequisition(db, key);
        noDepartment(plan);
        if (!plan.pendente.empty())
            report.Warn(kExecutar, QStringLiteral("ORCA_PENDENTE_PROD"), MsgExec("ORCA_PENDENTE_PROD"));
        preview(plan, QStringLiteral("Requisição de Produção"), QStringLiteral("P"));
    }
    const bool byComposition = ByComposition(db, key);
    struct Step {
        bool runs;
        const char* department;
        const char* pendingKey;
        const char* noItemKey;
        const char* text;
    };
    const Step steps[] = {{production, "P", "ORCA_PENDENTE_PROD", "PED_SEM_ITEM_EXEC_PROD", "Pedido de Produção"},
                          {materials, "M", "ORCA_PENDENTE_MAT", "PED_SEM_ITEM_EXEC_MAT", "Pedido de Materiais"}};
    for (const Step& step : steps) {
        if (!step.runs)
            continue;
        const QString department = QString::fromLatin1(step.department);
        if (InProduction(db, key, department))
            report.Warn(kExecutar, QStringLiteral("Orc_Ja_OP"), MsgExec("Orc_Ja_OP"));
        const TOrderPlan plan = PlanOrders(db, key, department, byComposition);
        noDepartment(plan);
        if (!plan.erroProd.empty())
            report.Block(kExecutar, QStringLiteral("PRODSEMPRECO"), MsgExec("PRODSEMPRECO"), ProductList(plan.erroProd, 0, 1));
        for (const CellRow& row : plan.erroFil)
            report.Block(kExecutar, std::get<QString>(row[0]), MsgExec("Erro_Exec"),
                         Msg("IDCUSEXP") + QLatin1Char(' ') + std::get<QString>(row[1]));
        if (!plan.pendente.empty())
            report.Warn(kExecutar, QString::fromLatin1(step.pendingKey), MsgExec(step.pendingKey));
        if (plan.clear() && !plan.withItems())
            report.Warn(kExecutar, QString::fromLatin1(step.noItemKey), Msg(step.noItemKey));
        preview(plan, QString::fromUtf8(step.text), department);
    }
}

const char* NextAction(int situation)
{
    return situation == 1 ? kAprovar : situation == 2 ? kFechar : kExecutar;
}

} // namespace

void RegisterReadiness(TServerObjects& o)
{
    TServerObjects::TObject host = o.Object(ServerObject::Host);
    
    host.Read(u"VerificaOrcamento"_s, 3, u"Verificação do orçamento"_s, {.branchArg = 0, .quote = kQuoteFirst}, [](TCall& c) {
        const TQuoteKey key = KeyOf(c);
        const TQuoteFacts quote = FactsOf(c.db, key);
        const TParameters parameters = ParametersOf(c.db, key.branch);
        TReport report(NextAction(quote.situation));
        if (quote.situation == 1)
            Approval(c, key, quote, parameters, report);
        if (quote.situation == 1 || quote.situation == 2)
            Closing(c.db, key, report);
        Execution(c.db, key, quote.situation, parameters, report);
        return Pack(report.Packet());
    });

    host.Read(u"HistoricoOrcamento"_s, 2, u"Histórico do orçamento"_s, {.branchArg = 0, .quote = {0, 1, -1}}, [](TCall& c) {
        TRows q = Run(c.db, QStringLiteral("SELECT DTREGISTRO, CDOPERADOR, NMOBJETO, NMMETODO, NRSEQORCAEVE, IDRESULTADO, DSMENSAGEM, DSARGUMENTOS FROM JORNAL "
                                           "WHERE CDFILIALORCA = ? AND NRORCAEVENTO = ? ORDER BY NRJORNAL"),
                      {c.text(0), c.text(1)});
        std::vector<CellRow> rows;
        auto text = [&](int i) { return q.isNull(i) ? Cell{} : Cell(q.value(i).toString()); };
        while (q.next()) {
            // Kept in UTC, shown in the server's local time.
            const QByteArray local = ParseStamp(q.value(0).toString()).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toLatin1();
            const auto moment = ParseStoredDateTime(local.constData(), size_t(local.size()));
            rows.push_back({moment ? Cell(*moment) : Cell{}, text(1), c.objects->LabelOf(q.value(2).toString(), q.value(3).toString(), q.value(7).toString()), text(4),
                            text(5), text(6), q.value(2).toString() + QLatin1Char('.') + q.value(3).toString()});
        }
        return Pack(TDataPacket(Layout("DTREGISTRO t, CDOPERADOR s40, DSACAO s60, NRSEQORCAEVE s2, IDRESULTADO s20, DSMENSAGEM s500, NMMETODO s100"),
                                std::move(rows)));
    });
}
