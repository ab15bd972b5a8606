#pragma once
// Demo data that reaches every path of the workflows (docs/server.md lists it).

#include <QSqlDatabase>
#include <QString>

class TStore;

// A branch with the demo's parameters (PARAMORCA; docs/server.md lists them), which are also a
// new office's defaults; without `orderParameters` the kind of production order is left unset.
void InsertBranch(QSqlDatabase& db, const QString& code, const QString& name, bool orderParameters = true);

// Fills an empty store; does nothing to a store that already holds quotes.
void InitDemo(TStore& store);
