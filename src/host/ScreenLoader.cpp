#include "ScreenLoader.h"

#include "Errors.h"
#include "HostServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#include <map>
#include <memory>

namespace {
std::map<QString, std::unique_ptr<QLibrary>>& loaded()
{
    static std::map<QString, std::unique_ptr<QLibrary>> packages;
    return packages;
}

QLibrary& load(const QString& screenCode)
{
    const QString code = screenCode.trimmed().toLower();
    auto& packages = loaded();
    if (auto it = packages.find(code); it != packages.end())
        return *it->second;
    if (code.isEmpty() || code.contains(QLatin1Char('/')) || code.contains(QLatin1Char('.')))
        throw EScreenError(QStringLiteral("Código de tela inválido: \"%1\".").arg(screenCode));
    const QString path = PackagePath(code);
    if (!QFileInfo::exists(path))
        throw EScreenError(QStringLiteral("Tela %1: pacote %2 não encontrado.").arg(screenCode.toUpper(), path));
    auto library = std::make_unique<QLibrary>(path);
    library->setLoadHints(QLibrary::ResolveAllSymbolsHint);
    if (!library->load())
        throw EScreenError(QStringLiteral("Tela %1: o pacote %2 não pôde ser carregado: %3").arg(screenCode.toUpper(), path, library->errorString()));
    if (auto initialize = reinterpret_cast<void (*)()>(library->resolve("Initialize")))
        initialize();
    return *packages.emplace(code, std::move(library)).first->second;
}
} // namespace

QString PackagesDir()
{
    if (!Session().packagesDir.isEmpty())
        return Session().packagesDir;
    return QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../lib")).absolutePath();
}

QString PackagePath(const QString& screenCode)
{
    return PackagesDir() + QStringLiteral("/libPkg_") + screenCode.trimmed().toLower() + QStringLiteral(".so");
}

void* PackageSymbol(const QString& screenCode, const char* symbol)
{
    QLibrary& library = load(screenCode);
    void* address = reinterpret_cast<void*>(library.resolve(symbol));
    if (!address)
        throw EScreenError(QStringLiteral("Tela %1: o pacote %2 não exporta %3.").arg(screenCode.toUpper(), library.fileName(), QString::fromLatin1(symbol)));
    return address;
}

void RunPackageScreen(const QString& screenCode, const QVariant& params)
{
    auto iniProc = reinterpret_cast<TIniProc>(PackageSymbol(screenCode, "IniProc"));
    iniProc(params);
}

void UnloadPackages()
{
    auto& packages = loaded();
    for (auto& [code, library] : packages) {
        if (auto finalize = reinterpret_cast<void (*)()>(library->resolve("Finalize")))
            finalize();
        library->unload();
    }
    packages.clear();
}

void InitializePackage(const TPackageInfoTable& table, int& references)
{
    if (references++ > 0)
        return;
    for (int i = 0; i < table.unitCount; ++i)
        if (table.units[i].initialization)
            table.units[i].initialization();
}

void FinalizePackage(const TPackageInfoTable& table, int& references)
{
    if (references <= 0 || --references > 0)
        return;
    for (int i = table.unitCount - 1; i >= 0; --i)
        if (table.units[i].finalization)
            table.units[i].finalization();
}
