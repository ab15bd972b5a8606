#pragma once
// The checks of a method's rule (MethodDeclaration.h) against the call's session: the
// arguments that name the acting operator or branch, the processing right it needs, and a
// supervisor's word where the workflow asks for one.

#include "MethodDeclaration.h"
#include "Quote.h"

#include <stdexcept>

// A call the session may not make: answered as a failed result and journalled as refused.
class EDenied : public std::runtime_error {
public:
    explicit EDenied(const QString& text) : std::runtime_error(text.toStdString()) {}
};

// An operator's salesperson record: his code, job ("V" plain salesperson, "S" supervisor,
// "G" manager) and supervisor.
struct TJob {
    QString salesperson, job, supervisor;
    bool plain() const { return job == QLatin1String("V"); }
};
TJob JobOf(QSqlDatabase& db, const QString& operatorCode);

// Whether the quote's discount is above its salesperson's ceiling, measured as the approval
// measures it when the branch treats discounts ("A"): any item's discount, else the quote's
// discount against the gross total of the items.
bool DiscountAboveCeiling(QSqlDatabase& db, const TQuoteKey& key);

// The supervisor's word that SetAprova needs for a discount above the ceiling, unless the
// operator is a supervisor or manager himself.
void RequireDiscountAuthorised(TCall& call);
// SetAprovComercial: given in the name of the operator's own salesperson record; a plain
// salesperson needs a supervisor's word.
void RequireCommercialAuthorised(TCall& call);

// The product-registration screen's changes: only an operator who may register products while
// processing a quote (OPERADOR.IDCADPRPROCEORE "S").
void RequireProductRegistration(TCall& call);

// Only a manager (job "G") of the session's branch.
void RequireManager(TCall& call);

// Throws EDenied when the session may not make the call.
void Authorize(TCall& call, const TMethodRule& rule);

// Every branch a call names where its rule says a branch is: the branch argument, the quote's
// branch argument, and the branch of every row of the quote's packet. Each must be the session's;
// an empty one names no quote (no quote has an empty branch).
QStringList BranchesNamed(const QVariantList& params, const TMethodRule& rule);

// The quote a call names, as far as its arguments tell (empty when they do not).
TQuoteKey QuoteNamed(const QVariantList& params, const TMethodRule& rule);

// Whether `confirmer`, having confirmed his password, vouches for the acting operator: a
// supervisor or manager other than the operator himself.
bool MayVouch(QSqlDatabase& db, const QString& confirmer, const QString& actingOperator);
