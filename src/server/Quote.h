#pragma once
// What the methods share about one quote: its key, its existence, its totals, and the SQL of
// the packets that several server objects return.

#include "ServerObjects.h"

#include <QDateTime>

struct TQuoteKey {
    QString branch, number, sequence;
    QVariantList params() const { return {branch, number, sequence}; }
    QString text() const { return branch + QLatin1Char('/') + number + QLatin1Char('/') + sequence; }
};

// Arguments first, second and third of the call (or from `first` on).
TQuoteKey KeyOf(const TCall& call, int first = 0);
// The situation of the quote ('1' to '8'); a refusal when there is no such quote.
QString RequireQuote(QSqlDatabase& db, const TQuoteKey& key);
// The same, the quote's row held to the end of the transaction: a second change of the quote,
// on any server, waits for this one and then sees what it did.
QString HoldQuote(QSqlDatabase& db, const TQuoteKey& key);

struct TQuoteTotals {
    double items = 0;        // quantity times value, every option
    double surcharges = 0;
    double discounts = 0;    // items' and the quote's
    double labour = 0;
    double halls = 0;
    double gross() const { return items + labour + halls + surcharges; }
    double net() const { return gross() - discounts; }
};
TQuoteTotals Totals(QSqlDatabase& db, const TQuoteKey& key);

// The packet of `sql`, whose parameters are the key given in the call's first three
// arguments; a refusal when there is no such quote.
TDataPacket SelectByKey(TCall& call, const char* layout, const QString& sql);

// Runs `sql` (ending in "WHERE CDFILIAL = ? AND NRORCAEVENTO = ?") on every sequence of a quote
// number; a refusal when the number has none.
void UpdateEverySequence(TCall& call, const QString& sql, QVariantList params, const QString& branch, const QString& number);

// The text of a cell of a packet the client sent ("" for null); a value of another kind is a
// clear error naming the call, the field and the row.
QString PacketText(const TCall& call, const TDataPacket& packet, size_t row, int column);

// The keys of a tick list's answer: "'001','002'" gives {"001", "002"}.
QStringList TickedKeys(const QString& text);

extern const char* const kOrcaEvento;          // the quote as the approval reads it
extern const char* const kSalaoEven;           // the quote's halls
extern const char* const kOpcao;               // the quote's options
extern const char* const kLongQuote;           // the closing and execution record
QString SalaoEvenSql();                        // with one parameter list: the key
QString OpcaoSql();
QString LongQuoteSql(bool filterBySituation);  // branch, first number, last number[, situation]

// " WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ?", for a key's parameters.
inline const QString kWhereKey = QStringLiteral(" WHERE CDFILIAL = ? AND NRORCAEVENTO = ? AND NRSEQORCAEVE = ?");

// The quote's reserved halls ("R"), by code.
QStringList ReservedHalls(QSqlDatabase& db, const TQuoteKey& key);
// The span the quote uses a hall: from the hall's start hour (or the event's time) for the
// hall's duration (or the event's).
std::pair<QDateTime, QDateTime> HallSpan(QSqlDatabase& db, const TQuoteKey& key, const QString& hall);

// Whether a hall of the quote may be booked for the event: "" when it may, else the coded
// answer "ACIMA_LIMITE|name", "N_LIMITE_DEF|name" or "DTA_HRA_MARC|name". With `lock`, the
// hall's row is locked first, so that the check and a booking after it are one step.
QString HallConflict(TCall& call, const TQuoteKey& key, const QString& hall, bool lock);

// ---- what the closing checks, for the closing and for the readiness report

// The first missing closing parameter of the quote's branch, as the closing raises it:
// "N_PARAM_PED|0002", "N_PARAM_TIPOOPER", "N_PARAM_SERIE", "N_PARAM_TPCTREC|01"; "" when none.
QString ClosingParameterError(QSqlDatabase& db, const TQuoteKey& key);
// "N_PARAM_VRNOTA_ZERO" when a contracting client has no value, "VALORSEQ_DIFER_VRORCA" when
// their values do not add up to the net total (to the cent), else "".
QString ContractorValueProblem(QSqlDatabase& db, const TQuoteKey& key);
// "CONV_QTD_ZERO" when the contracting clients bring no guests, "CONV_DIF" when they bring
// another number than the quote's, else "".
QString GuestCountProblem(QSqlDatabase& db, const TQuoteKey& key);
// Whether the quote has as many contracting clients as it expects.
bool ContractorCountMatches(QSqlDatabase& db, const TQuoteKey& key);

// The parent quote ("NRORCAEVENTO") while it is pending, with one parameter list: the key.
QString PendingParentSql();
