// Execution: orders for the production and the materials departments, by item or by
// composition, requisitions in their place, and what stood in the way.
#include "Quote.h"
#include "Variants.h"

#include <QSqlQuery>

#include <map>

namespace {

QVariant Pack(const TDataPacket& p) { return QVariant::fromValue(p); }

const char* const kErro = "CDTABELA s20, CDERRO s500";
const char* const kProdSemDep = "CDPRODUTO s10, CDARVPROD s20, NMPRODUTO s50, CDDEPTPEDORC s3, CDFILIPEDORC s4";
const char* const kPedidoOp = "NRORDPROD s10, CDARVPROD s20, NMPRODUTO s50, NRPEDIDO s10, CDPRODUTO s10, NRSUBORDPROD s1, CDFILIAL s4, NRORCAEVENTO s10";
const char* const kMsgPedExp = "MSG s30, NRORCAEVENTO s10";
const char* const kOrcaPendente = "NRORCAEVENTO s10, IDTIPODEPTO s1";
const char* const kErroProd = "CDARVPROD s15, NMPRODUTO s30";
const char* const kErroFil = "CDERRO s100, CDFILIAL s10";

TQuoteKey MarkedQuote(const TCall& c, const TDataPacket& packet)
{
    const int mark = packet.fieldIndex("IDMARCADO"), branch = packet.fieldIndex("CDFILIAL"), number = packet.fieldIndex("NRORCAEVENTO"),
              sequence = packet.fieldIndex("NRSEQORCAEVE");
    if (mark >= 0 && branch >= 0 && number >= 0 && sequence >= 0)
        for (size_t r = 0; r < packet.rows().size(); ++r) {
            auto text = [&](int i) { return PacketText(c, packet, r, i); };
            if (text(mark).trimmed() == QLatin1String("S"))
                return {text(branch), text(number), text(sequence)};
        }
    throw ERefusal(QStringLiteral("%1: nenhum orçamento marcado no pacote.").arg(c.where()));
}

struct Product {
    QString code, tree, name, department;
    QVariant price;
};

// The quote's products with their quantities, by item or broken into their compositions. A
// composed product is split into its components for the departments that make them; the
// product itself stays too when none of its components is of its own department (a cake the
// kitchen makes from materials the store sends).
std::map<QString, std::pair<Product, double>> Needs(QSqlDatabase& db, const TQuoteKey& key, bool byComposition)
{
    std::map<QString, std::pair<Product, double>> needs;
    auto product = [&](const QString& code) {
        TRows q = Run(db, QStringLiteral("SELECT CDPRODUTO, CDARVPROD, NMPRODUTO, IDDEPTO, VRPRECO FROM PRODUTO WHERE CDPRODUTO = ?"), {code});
        q.next();
        return Product{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString(), q.value(4)};
    };
    auto add = [&](const QString& code, double quantity) {
        auto& need = needs[code];
        need.first = product(code);
        need.second += quantity;
    };
    TRows items = Run(db, "SELECT CDPRODUTO, SUM(QTITEMORCEVE) FROM ITEMORCA" + QString::fromLatin1(kWhereKey) +
                                  " AND CDPRODUTO IS NOT NULL GROUP BY CDPRODUTO ORDER BY CDPRODUTO",
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
        const Product composed = product(code);
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

// Whether the branch generates by composition ("C" or "A") rather than by item ("O").
bool ByComposition(QSqlDatabase& db, const TQuoteKey& key)
{
    const QString mode = Scalar(db, QStringLiteral("SELECT IDTPPRODPEDOREV FROM PARAMORCA WHERE CDFILIAL = ?"), {key.branch}).toString();
    return mode == QLatin1String("C") || mode == QLatin1String("A");
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

// Quantities added since an order of the quote reached `state` (E expedited, O in production,
// R taken from stock).
QString AddedSince(QSqlDatabase& db, const TQuoteKey& key, const char* state)
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
    return QString::number(added);
}

// A generation run of the quote: its number is kept on the quote and on the orders it makes.
int NewRun(TCall& c, const TQuoteKey& key)
{
    const int run = NextNumber(c.db, QStringLiteral("GERACAO"), 10).toInt();
    Run(c.db, "UPDATE ORCAEVENTO SET NRGERACAO = ?" + QString::fromLatin1(kWhereKey), {run, key.branch, key.number, key.sequence});
    return run;
}

// What the quote's orders of `department` lack of `lines`: everything when it has none.
std::map<QString, std::pair<Product, double>> Missing(QSqlDatabase& db, const TQuoteKey& key, const QString& department,
                                                      const std::map<QString, std::pair<Product, double>>& lines)
{
    const auto ordered = Ordered(db, key, department);
    std::map<QString, std::pair<Product, double>> missing;
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

QString NewOrder(TCall& c, const TQuoteKey& key, int run, const QString& department, const char* kind, const QString& original,
                 const std::map<QString, std::pair<Product, double>>& lines)
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
                       "SELECT MAX(N.NRPEDIDO) AS PEDIDO_NOVO FROM PEDIDO N JOIN PEDIDO O ON O.NRPEDIDO = N.NRPEDIDOORIG "
                       "JOIN ORCAEVENTO Q ON Q.CDFILIAL = N.CDFILIAL AND Q.NRORCAEVENTO = N.NRORCAEVENTO AND Q.NRSEQORCAEVE = N.NRSEQORCAEVE "
                       "WHERE N.CDFILIAL = ? AND N.NRORCAEVENTO = ? AND N.NRSEQORCAEVE = ? AND O.IDSITUPED = ? AND N.NRGERACAO = Q.NRGERACAO "
                       "HAVING MAX(N.NRPEDIDO) IS NOT NULL",
                       {key.branch, key.number, key.sequence, QString::fromLatin1(state)}));
}

// Keeps a new client's data that the module sends along, once.
void KeepNewClient(TCall& c, const TQuoteKey& key)
{
    if (!VarIsPacket(c.raw(2)))
        return;
    const TDataPacket client = c.packet(2);
    const int registration = client.fieldIndex("NRINSJURORCA"), kind = client.fieldIndex("IDTPINJUORCA");
    if (!client.rows().empty() && registration >= 0 && kind >= 0) {
        const CellRow& row = client.rows().front();
        auto text = [&](int i) { return CellIsNull(row[size_t(i)]) ? QVariant() : QVariant(PacketText(c, client, 0, i)); };
        Run(c.db, "UPDATE ENDENOVOCLIE SET NRINSJURORCA = ?, IDTPINJUORCA = ?" + QString::fromLatin1(kWhereKey),
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
    const QString situation = RequireQuote(c.db, key);
    if (situation < QLatin1String("3") || situation > QLatin1String("6"))
        throw ERefusal(QStringLiteral("Orçamento %1 não está fechado. Execução bloqueada.").arg(key.text()));

    TRows p = Run(c.db, QStringLiteral("SELECT CDTIPOOPER, CDSERIE, CDTPCUSTEXP FROM PARAMORCA WHERE CDFILIAL = ?"), {key.branch});
    if (!p.next())
        throw EServerError(QStringLiteral("N_PARAM_PED|") + key.branch);
    if (p.value(0).toString().isEmpty())
        throw EServerError(QStringLiteral("N_PARAM_TIPOOPER"));
    if (p.value(1).toString().isEmpty())
        throw EServerError(QStringLiteral("N_PARAM_SERIE|") + key.branch);
    const bool costTypeSet = !p.value(2).toString().isEmpty();
    KeepNewClient(c, key);

    std::vector<CellRow> erro, semDep, pendente, erroProd, erroFil;
    std::map<QString, std::pair<Product, double>> lines;
    for (const auto& [code, need] : Needs(c.db, key, byComposition)) {
        const Product& product = need.first;
        if (product.department.isEmpty()) {
            semDep.push_back({product.code, product.tree, product.name, Cell{}, key.branch});
            continue;
        }
        if (product.department != kindLetter)
            continue;
        if (product.price.isNull()) {
            erroProd.push_back({product.tree.left(15), product.name.left(30)});
            continue;
        }
        lines[code] = need;
    }
    if (!erroProd.empty())
        erro.push_back({QStringLiteral("PRODUTO"), QStringLiteral("VRPREUNITPED")});
    if (kindLetter == QLatin1String("M") && !costTypeSet)
        erroFil.push_back({QStringLiteral("IDCUSEXP"), key.branch});
    if (erro.empty() && semDep.empty() && erroFil.empty() && lines.empty())
        pendente.push_back({key.number, kindLetter});

    bool withItems = true;
    const int run = NewRun(c, key);
    if (erro.empty() && semDep.empty() && erroFil.empty() && pendente.empty()) {
        // The first order holds everything; a later one only what was added since.
        const QString original = FirstOrder(c.db, key, kindLetter);
        const auto missing = Missing(c.db, key, kindLetter, lines);
        withItems = !missing.empty();
        if (withItems)
            NewOrder(c, key, run, kindLetter, "O", original, missing);
        // Production takes 3 to 4 and 5 to 6; materials 3 to 5 and 4 to 6.
        const QString next = kindLetter == QLatin1String("P") ? (situation == QLatin1String("5") ? QStringLiteral("6") : QStringLiteral("4"))
                                                              : (situation == QLatin1String("4") ? QStringLiteral("6") : QStringLiteral("5"));
        Run(c.db, "UPDATE ORCAEVENTO SET IDSITUORCEVE = ?" + QString::fromLatin1(kWhereKey), {next, key.branch, key.number, key.sequence});
    }
    return VarArrayOf({Pack(TDataPacket(Layout(kErro), erro)), Pack(TDataPacket(Layout(kProdSemDep), semDep)),
                       Pack(TDataPacket(Layout(kPedidoOp), {})), Pack(TDataPacket(Layout(kMsgPedExp), {})),
                       Pack(TDataPacket(Layout(kOrcaPendente), pendente)), Pack(TDataPacket(Layout(kErroProd), erroProd)),
                       Pack(TDataPacket(Layout(kErroFil), erroFil)), Null(), withItems});
}

} // namespace

void RegisterExecution(TServerObjects& o)
{
    const QString exec = QStringLiteral("ORE02900.rdmExecProc");

    o.Add(exec, "GetPedidoOp", 2, [](TCall& c) {
        const TQuoteKey key = MarkedQuote(c, c.packet(0));
        const QString department = c.text(1) == QLatin1String("5") ? QStringLiteral("M") : QStringLiteral("P");
        return Pack(Select(c.db, kPedidoOp,
                           "SELECT R.NRORDPROD, D.CDARVPROD, D.NMPRODUTO, P.NRPEDIDO, R.CDPRODUTO, P.CDFILIAL, P.NRORCAEVENTO "
                           "FROM ORDEMPROD R JOIN PEDIDO P ON P.NRPEDIDO = R.NRPEDIDO JOIN PRODUTO D ON D.CDPRODUTO = R.CDPRODUTO "
                           "WHERE P.CDFILIAL = ? AND P.NRORCAEVENTO = ? AND P.NRSEQORCAEVE = ? AND P.IDDEPTO = ? ORDER BY R.NRORDPROD",
                           {key.branch, key.number, key.sequence, department}));
    });
    auto added = [](const char* state) {
        return [state](TCall& c) {
            const TQuoteKey key = KeyOf(c);
            RequireQuote(c.db, key);
            return Pack(TDataPacket(Layout("QTITEMNEG s20"), {{AddedSince(c.db, key, state)}}));
        };
    };
    o.Add(exec, "GetExpItemNeg", 3, added("E"));
    o.Add(exec, "GetOPItemNeg", 3, added("O"));
    o.Add(exec, "GetMatprimaItemNeg", 3, added("R"));

    o.Add(exec, "GetTpOperPed", 1, [](TCall& c) {
        return Pack(Select(c.db, "IDOBRTPOPPED s1, CDTIPOOPER s2", "SELECT IDOBRTPOPPED, CDTIPOOPER FROM PARAMORCA WHERE CDFILIAL = ?", {c.text(0)}));
    });

    o.Add(exec, "FecharOrca", 5, [](TCall& c) { return Generate(c, false); });
    o.Add(exec, "ExecOrcaComposicao", 5, [](TCall& c) { return Generate(c, true); });
    o.Add(exec, "ExecOrcaComposicaoMat", 5, [](TCall& c) { return Generate(c, true); });

    // Requisitions for production instead of orders.
    o.Add(exec, "GeraReqOrcaEve", 3, [](TCall& c) {
        const TQuoteKey key = MarkedQuote(c, c.packet(0));
        RequireQuote(c.db, key);
        std::vector<CellRow> semDep, pendente;
        std::map<QString, std::pair<Product, double>> lines;
        for (const auto& [code, need] : Needs(c.db, key, false)) {
            if (need.first.department.isEmpty())
                semDep.push_back({need.first.code, need.first.tree, need.first.name, Cell{}, key.branch});
            else if (need.first.department == QLatin1String("P"))
                lines[code] = need;
        }
        const int run = NewRun(c, key);
        if (lines.empty()) {
            pendente.push_back({key.number, QStringLiteral("P")});
        } else if (semDep.empty()) {
            // A second run adds only what the quote gained since the requisitions made.
            const auto missing = Missing(c.db, key, QStringLiteral("P"), lines);
            if (!missing.empty())
                NewOrder(c, key, run, QStringLiteral("P"), "R", FirstOrder(c.db, key, QStringLiteral("P")), missing);
        }
        return VarArrayOf({Pack(TDataPacket(Layout(kOrcaPendente), pendente)), Pack(TDataPacket(Layout(kProdSemDep), semDep))});
    });

    o.Add(exec, "GetExibeNovoPed", 3, [](TCall& c) { return Replacement(c, "E"); });
    o.Add(exec, "GetExibpedOP", 3, [](TCall& c) { return Replacement(c, "O"); });
    o.Add(exec, "GetExibeMatPrima", 3, [](TCall& c) { return Replacement(c, "R"); });
}
