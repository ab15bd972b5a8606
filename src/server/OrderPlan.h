#pragma once
// What an execution of a quote would make: the orders of a department (or the requisition),
// computed without writing. The generation writes what a plan says; the readiness report
// lists it. Both read it from here, so they cannot disagree.

#include "Quote.h"

#include <map>
#include <vector>

struct TProduct {
    QString code, tree, name, department;
    QVariant price;
};

// Products with the quantity of each, by product code.
using TProductLines = std::map<QString, std::pair<TProduct, double>>;

struct TOrderPlan {
    // The lists of the generation's answer (elements 0, 1, 4, 5 and 6): what stands in the way.
    std::vector<CellRow> erro, semDep, pendente, erroProd, erroFil;
    QString original;      // the department's first order, which a new one adds to ("" when none)
    TProductLines order;   // the new order: everything the first time, only what was added after
    bool clear() const { return erro.empty() && semDep.empty() && erroFil.empty() && pendente.empty(); }
    bool withItems() const { return !order.empty(); }
};

// The orders of `department` ("P" production, "M" materials) by item or by composition.
TOrderPlan PlanOrders(QSqlDatabase& db, const TQuoteKey& key, const QString& department, bool byComposition);

// The requisition for the production department that replaces the orders (its lists are
// `pendente` and `semDep`; a requisition is made only when nothing is without department).
TOrderPlan PlanRequisition(QSqlDatabase& db, const TQuoteKey& key);

// Whether the branch generates by composition ("C" or "A") rather than by item ("O").
bool ByComposition(QSqlDatabase& db, const TQuoteKey& key);

// The first missing order parameter of the quote's branch, as the generation raises it
// ("N_PARAM_PED|0002"); "" when none is missing.
QString ExecutionParameterError(QSqlDatabase& db, const TQuoteKey& key);

// Quantities added since an order of the quote reached `state` (E expedited, O in production,
// R taken from stock).
double AddedSince(QSqlDatabase& db, const TQuoteKey& key, const char* state);

// Whether the quote's orders of `department` are in production already.
bool InProduction(QSqlDatabase& db, const TQuoteKey& key, const QString& department);
