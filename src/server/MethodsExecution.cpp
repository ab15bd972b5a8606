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
        for (const CellRow& row : packet.rows()) {
            auto text = [&](int i) { return CellIsNull(row[size_t(i)]) ? QString() : std::get<QString>(row[size_t(i)]); };
            if (text(mark).trimmed() == QLatin1String("S"))
                return {text(branch), text(number), text(sequence)};
        }
    throw ERefusal(QStringLiteral("%1: nenhum orçamento marcado no pacote.").arg(c.where()));
}

struct Product {
    QString code, tree, name, department;
    QVariant price;
};

// The quote's products with their quantities, by item or broken into their compositions.
std::map<QString, std::pair<Product, double>> Needs(QSqlDatabase& db, const TQuoteKey& key, bool byComposition)
{
    std::map<QString, std::pair<Product, double>> needs;
    auto product = [&](const QString& code) {
        TRows q = Run(db, QStringLiteral("SELECT CDPRODUTO, CDARVPROD, NMPRODUTO, IDDEPTO, VRPRECO FROM PRODUTO WHERE CDPRODUTO = ?"), {code});
        q.next();
        return Product{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString(), q.value(4)};
    };
    TRows items = Run(db, "SELECT CDPRODUTO, SUM(QTITEMORCEVE) FROM ITEMORCA" + QString::fromLatin1(kWhereKey) +
                                  " AND CDPRODUTO IS NOT NULL GROUP BY CDPRODUTO ORDER BY CDPRODUTO",
                          key.params());
    while (items.next()) {
        const QString code = items.value(0).toString();
        const double quantity = items.value(1).toDouble();
        TRows parts = Run(db, QStringLiteral("SELECT CDPRODCOMP, QTCOMPOSICAO FROM COMPOSICAO WHERE CDPRODUTO = ? ORDER BY CDPRODCOMP"), {code});
        bool composed = false;
        while (byComposition && parts.next()) {
            composed = true;
            auto& need = needs[parts.value(0).toString()];
            need.first = product(parts.value(0).toString());
            need.second += quantity * parts.value(1).toDouble();
        }
        if (!composed) {
            auto& need = needs[code];
            need.first = product(code);
            need.second += quantity;
        }
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

// Quantities added since an order of the quote reached `state` (E expedited, O in production,
// R taken from stock).
QString AddedSince(QSqlDatabase& db, const TQuoteKey& key, const char* state)
{
    TRows q = Run(db, QStringLiteral("SELECT DISTINCT IDDEPTO FROM PEDIDO WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ? AND IDSITUPED = ?"),
                      {key.branch, key.number, key.sequence, QString::fromLatin1(state)});
    double added = 0;
    while (q.next()) {
        const QString department = q.value(0).toString();
        const auto ordered = Ordered(db, key, department);
        for (const auto& [code, need] : Needs(db, key, false))
            if (need.first.department == department)
                added += std::max(0.0, need.second - (ordered.count(code) ? ordered.at(code) : 0.0));
    }
    return QString::number(added);
}

QString NewOrder(TCall& c, const TQuoteKey& key, const QString& department, const char* kind, const QString& original,
                 const std::map<QString, std::pair<Product, double>>& lines)
{
    const QString number = NextNumber(c.db, QStringLiteral("PEDIDO"), 10);
    Run(c.db, QStringLiteral("INSERT INTO PEDIDO (NRPEDIDO, CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDDEPTO, IDSITUPED, NRPEDIDOORIG, IDTIPOGER, CDOPERADOR, DTPEDIDO) "
                             "VALUES (?, ?, ?, ?, ?, 'A', ?, ?, ?, ?)"),
        {number, key.branch, key.number, key.sequence, department, original.isEmpty() ? QVariant() : QVariant(original), QString::fromLatin1(kind),
         c.request.operatorCode, Now()});
    for (const auto& [code, line] : lines)
        Run(c.db, QStringLiteral("INSERT INTO ITEMPEDIDO (NRPEDIDO, CDPRODUTO, QTITEM, VRITEM) VALUES (?, ?, ?, ?)"),
            {number, code, line.second, line.first.price});
    return number;
}

// The newest order that replaced an original in `state`.
QVariant Replacement(TCall& c, const char* state)
{
    const TQuoteKey key = KeyOf(c);
    return Pack(Select(c.db, "PEDIDO_NOVO s10",
                       "SELECT MAX(N.NRPEDIDO) AS PEDIDO_NOVO FROM PEDIDO N JOIN PEDIDO O ON O.NRPEDIDO = N.NRPEDIDOORIG "
                       "WHERE N.CDFILIAL = ? AND N.NRORCAEVENTO = ? AND N.NRSEQORCAEVE = ? AND O.IDSITUPED = ? HAVING MAX(N.NRPEDIDO) IS NOT NULL",
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
        auto text = [&](int i) { return CellIsNull(row[size_t(i)]) ? QVariant() : QVariant(std::get<QString>(row[size_t(i)])); };
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
    if (erro.empty() && semDep.empty() && erroFil.empty() && pendente.empty()) {
        const auto ordered = Ordered(c.db, key, kindLetter);
        if (ordered.empty()) {
            NewOrder(c, key, kindLetter, "O", {}, lines);
        } else {
            std::map<QString, std::pair<Product, double>> added;
            for (const auto& [code, line] : lines) {
                const double more = line.second - (ordered.count(code) ? ordered.at(code) : 0.0);
                if (more > 0)
                    added[code] = {line.first, more};
            }
            withItems = !added.empty();
            if (withItems) {
                const QString original = Scalar(c.db, QStringLiteral("SELECT MIN(NRPEDIDO) FROM PEDIDO WHERE CDFILIAL = ? AND NRORCAEVENTO = ? "
                                                                     "AND NRSEQORCAEVE = ? AND IDDEPTO = ?"),
                                                {key.branch, key.number, key.sequence, kindLetter}).toString();
                NewOrder(c, key, kindLetter, "O", original, added);
            }
        }
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
        if (lines.empty())
            pendente.push_back({key.number, QStringLiteral("P")});
        else if (semDep.empty())
            NewOrder(c, key, QStringLiteral("P"), "R", {}, lines);
        return VarArrayOf({Pack(TDataPacket(Layout(kOrcaPendente), pendente)), Pack(TDataPacket(Layout(kProdSemDep), semDep))});
    });

    o.Add(exec, "GetExibeNovoPed", 3, [](TCall& c) { return Replacement(c, "E"); });
    o.Add(exec, "GetExibpedOP", 3, [](TCall& c) { return Replacement(c, "O"); });
    o.Add(exec, "GetExibeMatPrima", 3, [](TCall& c) { return Replacement(c, "R"); });
}
