#pragma once
// Packages: the module and the screens of other modules are shared libraries in the packages
// folder, named after their code: screen ORE00402 is libPkg_ore00402.so. Each exports
//   extern "C" void IniProc(QVariant params);
// and, optionally, Initialize() and Finalize(), run once when the package is loaded and
// when it is unloaded.

#include <QString>
#include <QVariant>

using TIniProc = void (*)(QVariant);

QString PackagesDir();                              // Session().packagesDir, or <exe dir>/../lib
QString PackagePath(const QString& screenCode);      // <packages>/libPkg_<code in lower case>.so

// Loads the package (once; later calls reuse it) and resolves a symbol. Throws EScreenError
// naming the package and what is missing.
void* PackageSymbol(const QString& screenCode, const char* symbol);

// Runs the screen's IniProc with `params`; returns when it has closed.
void RunPackageScreen(const QString& screenCode, const QVariant& params);

// Unloads every loaded package, running their Finalize.
void UnloadPackages();

// The units of a package, for its entry points: each unit's initialisation runs once when the
// package is initialised, and its finalisation, in reverse order, when it is finalised.
struct TPackageUnit {
    const char* name;
    void (*initialization)();
    void (*finalization)();
};

struct TPackageInfoTable {
    int unitCount;
    const TPackageUnit* units;
};

// Runs the initialisations of `table` on the first call, counting references; Finalize runs the
// finalisations when the last reference goes.
void InitializePackage(const TPackageInfoTable& table, int& references);
void FinalizePackage(const TPackageInfoTable& table, int& references);
