// Execution: orders for the production and the materials departments, by item or by
// composition, requisitions in their place, and what stood in the way.
#include "OrderPlan.h"
#include "Variants.h"

#include <QSqlQuery>

#include <map>

using namespace Qt::StringLiterals;

namespace {

const char* const kErro = "CDTABELA s20, CDERRO s500";
const char* const kProdSemDep = "CDPRODUTO s10, CDARVPROD s20, NMPRODUTO s50, CDDEPTPEDORC s3, CDFILIPEDORC s4";
const char* const kPedidoOp = "NRORDPROD s10, CDARVPROD s20, NMPRODUTO s50, NRPEDIDO s10, CDPRODUTO s10, NRSUBORDPROD s1, CDFILIAL s4, NRORCAEVENTO s10";
const char* const kMsgPedExp = "MSG s30, NRORCAEVENTO s10";
const char* const kOrcaPendente = "NRORCAEVENTO s10, IDTIPODEPTO s1";
const char* const kErroProd = "CDARVPROD s15, NMPRODUTO s30";
const char* const kErroFil = "CDERRO s100, CDFILIAL s10";

TQuoteKey MarkedQuote(const TCall& c, const TDataPacket& packet)
{
    const int mark = packet.fieldIndex(u"IDMARCADO"_s), branch = packet.fieldIndex(u"CDFILIAL"_s), number = packet.fieldIndex(u"NRORCAEVENTO"_s),
              sequence = packet.fieldIndex(u"NRSEQORCAEVE"_s);
    if (mark >= 0 && branch >= 0 && number >= 0 && sequence >= 0)
        for (size_t r = 0; r < packet.rows().size(); ++r) {
            auto text = [&](int i) { return PacketText(c, packet, r, i); };
            if (text(mark).trimmed() == QLatin1String("S"))
                return {text(branch), text(number), text(sequence)};
        }
    throw ERefusal(QStringLiteral("%1: nenhum orçamento marcado no pacote.").arg(c.where()));
}

// The quote's products with their quantities, by item or broken into their compositions. A
// composed product is split into its components for the departments that make them; the
// product itself stays too when none of its components is of its own department (a cake the
// kitchen makes from materials the store sends).
TProductLines Needs(QSqlDatabase& db, const TQuoteKey& key, bool byComposition)
{
    TProductLines needs;
    auto product = [&](const QString& code) {
        TRows q = Run(db, QStringLiteral("SELECT CDPRODUTO, CDARVPROD, NMPRODUTO, IDDEPTO, VRPRECO FROM PRODUTO WHERE CDPRODUTO = ?"), {code});
        q.next();
        return TProduct{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString(), q.value(4)};
    };
    auto add = [&](const QString& code, double quantity) {
        auto& need = needs[code];
        need.first = product(code);
        need.second += quantity;
    };
    TRows items = Run(db, u"SELECT CDPRODUTO, SUM(QTITEMORCEVE) FROM ITEMORCA"_s + kWhereKey +
                                  u" AND CDPRODUTO IS NOT NULL GROUP BY CDPRODUTO ORDER BY CDPRODUTO"_s,
                          key.params());
    while (items.next()) {
        const QString code = items.value(0).toString();
        const double quantity = items.value(1).toDouble();
        std::vector<std::pair<QString, double>> components;
        if (byComposition) {
            TRows parts = Run(db, QStringLiteral("SELECT CDPRODCOMP, QTCOMPOSICAO FROM COMPOSICAO WHERE CDPRODUTO = ? ORDER BY CDPRODCOMP"), {code});
            while (parts.next())
                components.emplace_back(parts.value(0).toString(), quantity * parts.value(1).toDouble());
        }
        const TProduct composed = product(code);
        bool madeOfItsOwn = false;
        for (const auto& [part, partQuantity] : components) {
            add(part, partQuantity);
            madeOfItsOwn = madeOfItsOwn || needs[part].first.department == composed.department;
        }
        if (components.empty() || !madeOfItsOwn)
            add(code, quantity);
    }
    return needs;
}

// What the quote's orders of a department already hold, by product.
std::map<QString, double> Ordered(QSqlDatabase& db, const TQuoteKey& key, const QString& department)
{
    std::map<QString, double> ordered;
    TRows q = Run(db, QStringLiteral("SELECT I.CDPRODUTO, SUM(I.QTITEM) FROM ITEMPEDIDO I JOIN PEDIDO P ON P.NRPEDIDO = I.NRPEDIDO "
                                         "WHERE P.CDFILIAL = ? AND P.NRORCAEVENTO = ? AND P.NRSEQORCAEVE = ? AND P.IDDEPTO = ? GROUP BY I.CDPRODUTO"),
                      {key.branch, key.number, key.sequence, department});
    while (q.next())
        ordered[q.value(0).toString()] = q.value(1).toDouble();
    return ordered;
}

// What the quote's orders of `department` lack of `lines`: everything when it has none.
TProductLines Missing(QSqlDatabase& db, const TQuoteKey& key, const QString& department, const TProductLines& lines)
{
    const auto ordered = Ordered(db, key, department);
    TProductLines missing;
    for (const auto& [code, line] : lines) {
        const double more = line.second - (ordered.count(code) ? ordered.at(code) : 0.0);
        if (more > 0)
            missing[code] = {line.first, more};
    }
    return missing;
}

// The first order of the quote for a department: the one a later order adds to.
QString FirstOrder(QSqlDatabase& db, const TQuoteKey& key, const QString& department)
{
    return Scalar(db, QStringLiteral("SELECT MIN(NRPEDIDO) FROM PEDIDO WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ? AND IDDEPTO = ?"),
                  {key.branch, key.number, key.sequence, department})
        .toString();
}

} // namespace

bool ByComposition(QSqlDatabase& db, const TQuoteKey& key)
{
    const QString mode = Scalar(db, QStringLiteral("SELECT IDTPPRODPEDOREV FROM PARAMORCA WHERE CDFILIAL = ?"), {key.branch}).toString();
    return mode == QLatin1String("C") || mode == QLatin1String("A");
}

double AddedSince(QSqlDatabase& db, const TQuoteKey& key, const char* state)
{
    TRows q = Run(db, QStringLiteral("SELECT DISTINCT IDDEPTO FROM PEDIDO WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ? AND IDSITUPED = ?"),
                      {key.branch, key.number, key.sequence, QString::fromLatin1(state)});
    double added = 0;
    // Like with like: the needs in the form the orders were made.
    const bool byComposition = ByComposition(db, key);
    while (q.next()) {
        const QString department = q.value(0).toString();
        const auto ordered = Ordered(db, key, department);
        for (const auto& [code, need] : Needs(db, key, byComposition))
            if (need.first.department == department)
                added += std::max(0.0, need.second - (ordered.count(code) ? ordered.at(code) : 0.0));
    }
    return added;
}

bool InProduction(QSqlDatabase& db, const TQuoteKey& key, const QString& department)
{
    return Scalar(db, QStringLiteral("SELECT COUNT(*) FROM ORDEMPROD R JOIN PEDIDO P ON P.NRPEDIDO = R.NRPEDIDO "
                                     "WHERE P.CDFILIAL = ? AND P.NRORCAEVENTO = ? AND P.NRSEQORCAEVE = ? AND P.IDDEPTO = ?"),
                  {key.branch, key.number, key.sequence, department})
               .toInt()
           > 0;
}

QString ExecutionParameterError(QSqlDatabase& db, const TQuoteKey& key)
{
    TRows p = Run(db, QStringLiteral("SELECT CDTIPOOPER, CDSERIE FROM PARAMORCA WHERE CDFILIAL = ?"), {key.branch});
    if (!p.next())
        return QStringLiteral("N_PARAM_PED|") + key.branch;
    if (p.value(0).toString().isEmpty())
        return QStringLiteral("N_PARAM_TIPOOPER");
    if (p.value(1).toString().isEmpty())
        return QStringLiteral("N_PARAM_SERIE|") + key.branch;
    return {};
}

TOrderPlan PlanOrders(QSqlDatabase& db, const TQuoteKey& key, const QString& department, bool byComposition)
{
    TOrderPlan plan;
    TProductLines lines;
    for (const auto& [code, need] : Needs(db, key, byComposition)) {
        const TProduct& product = need.first;
        if (product.department.isEmpty()) {
            plan.semDep.push_back({product.code, product.tree, product.name, Cell{}, key.branch});
            continue;
        }
        if (product.department != department)
            continue;
        if (product.price.isNull()) {
            plan.erroProd.push_back({product.tree.left(15), product.name.left(30)});
            continue;
        }
        lines[code] = need;
    }
    if (!plan.erroProd.empty())
        plan.erro.push_back({QStringLiteral("PRODUTO"), QStringLiteral("VRPREUNITPED")});
    if (department == QLatin1String("M")
        && Scalar(db, QStringLiteral("SELECT CDTPCUSTEXP FROM PARAMORCA WHERE CDFILIAL = ?"), {key.branch}).toString().isEmpty())
        plan.erroFil.push_back({QStringLiteral("IDCUSEXP"), key.branch});
    if (plan.erro.empty() && plan.semDep.empty() && plan.erroFil.empty() && lines.empty())
        plan.pendente.push_back({key.number, department});
    if (plan.clear()) {
        // The first order holds everything; a later one only what was added since.
        plan.original = FirstOrder(db, key, department);
        plan.order = Missing(db, key, department, lines);
    }
    return plan;
}

TOrderPlan PlanRequisition(QSqlDatabase& db, const TQuoteKey& key)
{
    TOrderPlan plan;
    TProductLines lines;
    for (const auto& [code, need] : Needs(db, key, false)) {
        if (need.first.department.isEmpty())
            plan.semDep.push_back({need.first.code, need.first.tree, need.first.name, Cell{}, key.branch});
        else if (need.first.department == QLatin1String("P"))
            lines[code] = need;
    }
    if (lines.empty()) {
        plan.pendente.push_back({key.number, QStringLiteral("P")});
    } else if (plan.semDep.empty()) {
        // A second run adds only what the quote gained since the requisitions made.
        plan.original = FirstOrder(db, key, QStringLiteral("P"));
        plan.order = Missing(db, key, QStringLiteral("P"), lines);
    }
    return plan;
}

namespace {

// A generation run of the quote: its number is kept on the quote and on the orders it makes.
int NewRun(TCall& c, const TQuoteKey& key)
{
    const int run = NextNumber(c.db, QStringLiteral("GERACAO"), 10).toInt();
    Run(c.db, u"UPDATE ORCAEVENTO SET NRGERACAO = ?"_s + kWhereKey, {run, key.branch, key.number, key.sequence});
    return run;
}

QString NewOrder(TCall& c, const TQuoteKey& key, int run, const QString& department, const char* kind, const QString& original,
                 const TProductLines& lines)
{
    const QString number = NextNumber(c.db, QStringLiteral("PEDIDO"), 10);
    Run(c.db, QStringLiteral("INSERT INTO PEDIDO (NRPEDIDO, CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDDEPTO, IDSITUPED, NRPEDIDOORIG, IDTIPOGER, CDOPERADOR, "
                             "DTPEDIDO, NRGERACAO) VALUES (?, ?, ?, ?, ?, 'A', ?, ?, ?, ?, ?)"),
        {number, key.branch, key.number, key.sequence, department, original.isEmpty() ? QVariant() : QVariant(original), QString::fromLatin1(kind),
         c.request.operatorCode, Now(), run});
    for (const auto& [code, line] : lines)
        Run(c.db, QStringLiteral("INSERT INTO ITEMPEDIDO (NRPEDIDO, CDPRODUTO, QTITEM, VRITEM) VALUES (?, ?, ?, ?)"),
            {number, code, line.second, line.first.price});
    return number;
}

// The order that the quote's last generation run made in place of an original in `state`:
// an earlier run's, or another department's, is not announced again.
QVariant Replacement(TCall& c, const char* state)
{
    const TQuoteKey key = KeyOf(c);
    return Pack(Select(c.db, "PEDIDO_NOVO s10",
                       u"SELECT MAX(N.NRPEDIDO) AS PEDIDO_NOVO FROM PEDIDO N JOIN PEDIDO O ON O.NRPEDIDO = N.NRPEDIDOORIG "
                        "JOIN ORCAEVENTO Q ON Q.CDFILIAL = N.CDFILIAL AND Q.NRORCAEVENTO = N.NRORCAEVENTO AND Q.NRSEQORCAEVE = N.NRSEQORCAEVE "
                        "WHERE N.CDFILIAL = ? AND N.NRORCAEVENTO = ? AND N.NRSEQORCAEVE = ? AND O.IDSITUPED = ? AND N.NRGERACAO = Q.NRGERACAO "
                        "HAVING MAX(N.NRPEDIDO) IS NOT NULL"_s,
                       {key.branch, key.number, key.sequence, QString::fromLatin1(state)}));
}

// Keeps a new client's data that the module sends along, once.
void KeepNewClient(TCall& c, const TQuoteKey& key)
{
    if (!VarIsPacket(c.raw(2)))
        return;
    const TDataPacket client = c.packet(2);
    const int registration = client.fieldIndex(u"NRINSJURORCA"_s), kind = client.fieldIndex(u"IDTPINJUORCA"_s);
    if (!client.rows().empty() && registration >= 0 && kind >= 0) {
        const CellRow& row = client.rows().front();
        auto text = [&](int i) { return CellIsNull(row[size_t(i)]) ? QVariant() : QVariant(PacketText(c, client, 0, i)); };
        Run(c.db, u"UPDATE ENDENOVOCLIE SET NRINSJURORCA = ?, IDTPINJUORCA = ?"_s + kWhereKey,
            {text(registration), text(kind), key.branch, key.number, key.sequence});
    }
    c.byref.insert(2, Null());
}

QVariant Generate(TCall& c, bool byComposition)
{
    const TQuoteKey key = MarkedQuote(c, c.packet(0));
    const QString kindLetter = c.text(3);
    if (kindLetter != QLatin1String("P") && kindLetter != QLatin1String("M"))
        throw ERefusal(QStringLiteral("%1: o departamento deve ser \"P\" ou \"M\" (recebido \"%2\").").arg(c.where(), kindLetter));
    // Held: a second generation of the same quote waits for this one and finds its department done.
    const QString situation = HoldQuote(c.db, key);
    if (situation < QLatin1String("3") || situation > QLatin1String("6"))
        throw ERefusal(QStringLiteral("Orçamento %1 não está fechado. Execução bloqueada.").arg(key.text()));
    // Production is done at 4 and 6, the materials at 5 and 6: a department is never executed
    // twice, and the situation never goes back.
    const bool production = kindLetter == QLatin1String("P");
    if (situation == QLatin1String("6") || situation == (production ? QLatin1String("4") : QLatin1String("5")))
        throw ERefusal(production ? QStringLiteral("Orçamento %1 já executado para produção.").arg(key.text())
                                  : QStringLiteral("Orçamento %1 já executado para materiais.").arg(key.text()));

    if (const QString missing = ExecutionParameterError(c.db, key); !missing.isEmpty())
        throw EServerError(missing);
    KeepNewClient(c, key);

    const TOrderPlan plan = PlanOrders(c.db, key, kindLetter, byComposition);
    const int run = NewRun(c, key);
    if (plan.clear()) {
        if (plan.withItems())
            NewOrder(c, key, run, kindLetter, "O", plan.original, plan.order);
        // Production takes 3 to 4 and 5 to 6; materials 3 to 5 and 4 to 6.
        const QString next = production ? (situation == QLatin1String("5") ? QStringLiteral("6") : QStringLiteral("4"))
                                        : (situation == QLatin1String("4") ? QStringLiteral("6") : QStringLiteral("5"));
        Run(c.db, u"UPDATE ORCAEVENTO SET IDSITUORCEVE = ?"_s + kWhereKey, {next, key.branch, key.number, key.sequence});
    }
    return VarArrayOf({Pack(TDataPacket(Layout(kErro), plan.erro)), Pack(TDataPacket(Layout(kProdSemDep), plan.semDep)),
                       Pack(TDataPacket(Layout(kPedidoOp), {})), Pack(TDataPacket(Layout(kMsgPedExp), {})),
                       Pack(TDataPacket(Layout(kOrcaPendente), plan.pendente)), Pack(TDataPacket(Layout(kErroProd), plan.erroProd)),
                       Pack(TDataPacket(Layout(kErroFil), plan.erroFil)), Null(), !plan.clear() || plan.withItems()});
}

} // namespace

void RegisterExecution(TServerObjects& o)
{
    TServerObjects::TObject exec = o.Object(ServerObject::ExecProc);

    exec.Read(u"GetPedidoOp"_s, 2, u"Ordens de produção"_s, {.quote = kQuoteInPacket}, [](TCall& c) {
        const TQuoteKey key = MarkedQuote(c, c.packet(0));
        const QString department = c.text(1) == QLatin1String("5") ? QStringLiteral("M") : QStringLiteral("P");
        return Pack(Select(c.db, kPedidoOp,
                           u"SELECT R.NRORDPROD, D.CDARVPROD, D.NMPRODUTO, P.NRPEDIDO, R.CDPRODUTO, P.CDFILIAL, P.NRORCAEVENTO "
                            "FROM ORDEMPROD R JOIN PEDIDO P ON P.NRPEDIDO = R.NRPEDIDO JOIN PRODUTO D ON D.CDPRODUTO = R.CDPRODUTO "
                            "WHERE P.CDFILIAL = ? AND P.NRORCAEVENTO = ? AND P.NRSEQORCAEVE = ? AND P.IDDEPTO = ? ORDER BY R.NRORDPROD"_s,
                           {key.branch, key.number, key.sequence, department}));
    });
    auto added = [](const char* state) {
        return [state](TCall& c) {
            const TQuoteKey key = KeyOf(c);
            RequireQuote(c.db, key);
            return Pack(TDataPacket(Layout("QTITEMNEG s20"), {{QString::number(AddedSince(c.db, key, state))}}));
        };
    };
    exec.Read(u"GetExpItemNeg"_s, 3, u"Quantidade acrescida (expedição)"_s, {.quote = kQuoteFirst}, added("E"));
    exec.Read(u"GetOPItemNeg"_s, 3, u"Quantidade acrescida (produção)"_s, {.quote = kQuoteFirst}, added("O"));
    exec.Read(u"GetMatprimaItemNeg"_s, 3, u"Quantidade acrescida (matéria-prima)"_s, {.quote = kQuoteFirst}, added("R"));

    exec.Read(u"GetTpOperPed"_s, 1, u"Tipo de operação dos pedidos"_s, {.branchArg = 0}, [](TCall& c) {
        return Pack(Select(c.db, "IDOBRTPOPPED s1, CDTIPOOPER s2", u"SELECT IDOBRTPOPPED, CDTIPOOPER FROM PARAMORCA WHERE CDFILIAL = ?"_s, {c.text(0)}));
    });

    // The generations: packet, operator, new client, department ("P" or "M"), branch.
    const TMethodLabel generation{u"Execução (produção)"_s, 3, u"M"_s, u"Execução (materiais)"_s};
    const TMethodRule generating{.right = "EXECUTAR", .operatorArg = 1, .branchArg = 4, .quote = kQuoteInPacket};
    exec.Write(u"FecharOrca"_s, 5, generation, generating, [](TCall& c) { return Generate(c, false); });
    exec.Write(u"ExecOrcaComposicao"_s, 5, generation, generating, [](TCall& c) { return Generate(c, true); });
    exec.Write(u"ExecOrcaComposicaoMat"_s, 5, generation, generating, [](TCall& c) { return Generate(c, true); });

    // Requisitions for production instead of orders.
    exec.Write(u"GeraReqOrcaEve"_s, 3, u"Requisição"_s, {.right = "EXECUTAR", .operatorArg = 2, .branchArg = 1, .quote = kQuoteInPacket}, [](TCall& c) {
        const TQuoteKey key = MarkedQuote(c, c.packet(0));
        // Held, as for orders: two requisition runs of one quote take their turns, the second
        // adding only what the first did not cover.
        HoldQuote(c.db, key);
        const TOrderPlan plan = PlanRequisition(c.db, key);
        const int run = NewRun(c, key);
        if (plan.withItems())
            NewOrder(c, key, run, QStringLiteral("P"), "R", plan.original, plan.order);
        return VarArrayOf({Pack(TDataPacket(Layout(kOrcaPendente), plan.pendente)), Pack(TDataPacket(Layout(kProdSemDep), plan.semDep))});
    });

    exec.Read(u"GetExibeNovoPed"_s, 3, u"Novo pedido de expedição"_s, {.quote = kQuoteFirst}, [](TCall& c) { return Replacement(c, "E"); });
    exec.Read(u"GetExibpedOP"_s, 3, u"Novo pedido de produção"_s, {.quote = kQuoteFirst}, [](TCall& c) { return Replacement(c, "O"); });
    exec.Read(u"GetExibeMatPrima"_s, 3, u"Novo pedido de matéria-prima"_s, {.quote = kQuoteFirst}, [](TCall& c) { return Replacement(c, "R"); });
}
