#pragma once
// A server method as it is declared, once: its object and name, how many arguments it takes,
// whether it reads or changes the store, what the quote's history calls it, and what the server
// demands of a call beyond a valid session. Dispatch (ServerObjects.h) runs every call from
// this declaration alone: a change in a transaction that may write, journalled with its
// outcome; a read in one that may not.

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

struct TCall;

enum class TMethodKind {
    Undeclared,   // never valid: a declaration must say which of the two it is
    Read,         // reads only, in a read-only transaction; not journalled
    Write,        // may change the store; journalled with its outcome, refusals and failures too
};

// Where a call names its quote.
struct TQuoteAt {
    int branch = -1, number = -1, sequence = -1;   // argument indexes
    int packet = -1;                                // or the marked (or first) row of a packet argument
};
inline constexpr TQuoteAt kQuoteFirst{0, 1, 2};         // the first three arguments: branch, number, sequence
inline constexpr TQuoteAt kQuoteInPacket{.packet = 0};  // the marked row of the first argument

// What the server demands of a call beyond a valid session. The client's workflows make the
// same checks; the server makes them again so that a modified client gains nothing. An empty
// rule says: the session alone.
struct TMethodRule {
    const char* right = nullptr;          // "APROVAR", "FECHAR" or "EXECUTAR"; "APROVAR FECHAR": either
    int operatorArg = -1;                 // the argument that names the acting operator
    int branchArg = -1;                   // the argument that names the acting branch
    TQuoteAt quote{};                     // the quote it works on; its branch, as the branch argument's, must be the session's
    QList<int> secret{};                  // arguments never journalled (passwords)
    bool checksPassword = false;          // the password (2nd argument) of the operator (1st) is checked before the transaction
    bool changesSession = false;          // it changes or ends the caller's session
    void (*check)(TCall& call) = nullptr; // a further demand: the supervisor's word
};

// What the quote's history calls a call of the method: `text`, or `whenText` when the argument
// `whenArg` was `whenValue`.
struct TMethodLabel {
    TMethodLabel(const QString& label) : text(label) {}   // NOLINT: a plain label reads as its text
    TMethodLabel(const QString& label, int argument, const QString& value, const QString& labelWhen)
        : text(label), whenArg(argument), whenValue(value), whenText(labelWhen)
    {
    }
    QString text;
    int whenArg = -1;
    QString whenValue{}, whenText{};

    // The label of a call whose arguments the journal kept as `arguments` (their wire encoding).
    QString Of(const QString& arguments) const;
};

struct TMethodDeclaration {
    QString object, method;
    int argumentCount = -1;
    TMethodKind kind = TMethodKind::Undeclared;
    TMethodLabel label{QString()};
    TMethodRule rule{};
    std::function<QVariant(TCall& call)> body{};

    QString name() const { return object + QLatin1Char('.') + method; }
    bool writes() const { return kind == TMethodKind::Write; }
};

// What a declaration lacks or gets wrong (no kind, no label, no body, an argument index the
// method does not take, a read that checks a password or changes the session); empty when it
// is complete.
QStringList Faults(const TMethodDeclaration& declaration);
