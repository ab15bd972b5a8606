#pragma once
// What the server demands of a call beyond a valid session, method by method: the arguments
// that name the acting operator or branch, the processing right it needs, a supervisor's word
// where the workflow asks for one, and what the journal records of it. The client's workflows
// make the same checks; the server makes them again so that a modified client gains nothing.

#include "Quote.h"

#include <stdexcept>

// A call the session may not make: answered as a failed result and journalled as refused.
class EDenied : public std::runtime_error {
public:
    explicit EDenied(const QString& text) : std::runtime_error(text.toStdString()) {}
};

// Where a call names its quote.
struct TQuoteAt {
    int branch = -1, number = -1, sequence = -1;   // argument indexes
    int packet = -1;                                // or the marked (or first) row of a packet argument
};

struct TMethodRule {
    bool journal = false;                 // a change: journalled with its outcome
    const char* right = nullptr;          // "APROVAR", "FECHAR" or "EXECUTAR"
    int operatorArg = -1;                 // the argument that names the acting operator
    int branchArg = -1;                   // the argument that names the acting branch
    TQuoteAt quote{};
    QList<int> secret{};                  // arguments never journalled (passwords)
    bool checksPassword = false;          // the password (2nd argument) of the operator (1st) is checked before the transaction
    bool changesSession = false;          // it changes or ends the caller's session
    void (*check)(TCall& call) = nullptr; // a further demand: the supervisor's word
};

// The rule of "object.method"; methods without one only read and need just the session.
const TMethodRule& RuleOf(const QString& name);

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

// Throws EDenied when the session may not make the call.
void Authorize(TCall& call, const TMethodRule& rule);

// The quote a call names, as far as its arguments tell (empty when they do not).
TQuoteKey QuoteNamed(const QVariantList& params, const TMethodRule& rule);

// Whether `confirmer`, having confirmed his password, vouches for the acting operator: a
// supervisor or manager other than the operator himself.
bool MayVouch(QSqlDatabase& db, const QString& confirmer, const QString& actingOperator);
