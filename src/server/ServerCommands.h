#pragma once
// ore-server's commands besides serving, each with a command line of its own, and what their
// command lines share. Each takes the program's arguments without the command's name
// (`ore-server init --db …` arrives as {"ore-server", "--db", …}) and answers the process's exit
// status: 0 done, 1 the store failed, 2 a wrong command line or a refused request (the command
// says which), more where the command documents it.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include "Errors.h"

#include <QSqlDatabase>

#include <optional>

// The office's store: the schema, the first branch and its manager (OfficeSetup.cpp).
int RunInit(const QStringList& arguments);
// The operators: add, passwd, rights, unlock, disable, enable, list (OfficeOperators.cpp).
int RunOperator(const QStringList& arguments);
// What is wrong with a store, found by reading it only: 0 nothing, 4 the findings listed
// (StoreCheck.cpp).
int RunCheck(const QStringList& arguments);

// ---- what the command lines share

// Tells `text` on standard error, prefixed "ore-server: ", and answers `status`.
int CommandFailed(const QString& text, int status);

// --db URL; without it the file ore.db of the current folder.
const QCommandLineOption& DbOption();
QString StoreUrl(const QCommandLineParser& parser);

// Help (`usage` then the options) and command-line errors in the server's language: a status to
// end with (0 after the help, 2 after an error), or nothing when the command goes on.
std::optional<int> ReadCommandLine(QCommandLineParser& parser, const QList<QCommandLineOption>& options, const QStringList& arguments,
                                   const QString& usage, bool positionals = false);

// A new password for `operatorCode`: from ORE_PASSWORD, or asked twice on the terminal without
// echo; never from the command line. At least 8 characters and not the operator's code. Empty,
// with the reason in `error`, when none could be had.
QString NewPassword(const QString& operatorCode, QString* error);

// ---- what the administration writes

// A request the store refuses (an operator who does not exist, a code taken): exit 2.
class ERequestRefused : public EHostError {
public:
    using EHostError::EHostError;
};

// An operator as the administration creates him.
struct TNewOperator {
    QString code, name;
    QStringList branches;
    QString salesperson{};           // his salesperson record (VENDEDOR), made when it does not exist
    QString job{};                   // that record's job: V salesperson, S supervisor, G manager
    QString supervisor{};            // that record's supervisor (a salesperson code)
    QStringList rights{};            // his own processing rights; none: his branch's defaults
    QStringList screens{};           // the screens they hold for (ORE00100, ORE00400, ORE00800); none: all three
    bool mayRegisterProducts = false;
};
// What is wrong with an operator's code, name or branches; empty when nothing.
QString OperatorFieldsFault(const TNewOperator& op);
// Creates the operator with his password's hash, his branches and rights. Throws EHostError.
void AddOperator(QSqlDatabase& db, const TNewOperator& op, const QString& password);
// The journal's entry of an administrator's command (never a password): who ran it is the
// system's user, from the machine's console.
void JournalAdministration(QSqlDatabase& db, const QString& command, const QString& note);
// One column of a query's rows, as texts.
QStringList Column(QSqlDatabase& db, const QString& sql, const QVariantList& params = {});
