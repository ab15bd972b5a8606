#include "HostServices.h"

#include "ClientDataSet.h"
#include "Errors.h"

#include <QApplication>
#include <QWidget>

namespace {
std::unique_ptr<IHostServices>& installed()
{
    static std::unique_ptr<IHostServices> services;
    return services;
}
} // namespace

IHostServices::~IHostServices() = default;

TSession& Session()
{
    static TSession session;
    return session;
}

IHostServices& InstallHostServices(std::unique_ptr<IHostServices> services)
{
    if (!services)
        throw EHostError(QStringLiteral("InstallHostServices: nenhum serviço dado; para retirar os serviços, use UninstallHostServices."));
    installed() = std::move(services);
    return *installed();
}

void UninstallHostServices() { installed().reset(); }

IHostServices& HostServices()
{
    if (!installed())
        throw EHostError(QStringLiteral("Nenhum serviço de host instalado: a aplicação deve instalar os serviços antes de usar o módulo."));
    return *installed();
}

bool HostServicesInstalled() { return installed() != nullptr; }

QString WebURL() { return Session().webURL; }
int WebPort() { return Session().webPort; }
QString Operador() { return Session().operador; }
QString FiliProc() { return Session().filiProc; }

QWidget* MainForm()
{
    if (Session().mainForm)
        return Session().mainForm;
    return QApplication::activeWindow();
}

int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext)
{
    return HostServices().messageDlg(text, type, buttons, helpContext);
}

void MensErro(const QString& text, bool abort)
{
    HostServices().messageDlg(text, mtError, mbOK, 0);
    if (abort)
        Abort();
}

void StopWithError(const QString& text)
{
    MensErro(text, true);
    Abort();   // not reached: MensErro has aborted already
}

void LoadBPL(const QString& screenCode, const QVariant& params) { HostServices().loadScreen(screenCode, params); }

bool Pesquisar(TDataSource* dataSource, const QString& texts, bool, bool)
{
    const QString title = texts.section(QLatin1Char('|'), 0, 0);
    const QString emptyText = texts.section(QLatin1Char('|'), 1);
    return HostServices().pickRecord(dataSource, title, emptyText);
}

QString PesquisaLista(TDataSource* dataSource, const QString& keyField, const QString& title, bool, QString& selectedKeys)
{
    selectedKeys = HostServices().tickList(dataSource, keyField, title, selectedKeys);
    return selectedKeys;
}

QString FormatTickedKeys(const QStringList& keys, int size)
{
    QStringList quoted;
    for (const QString& k : keys)
        quoted << QLatin1Char('\'') + (size > 0 ? k.leftJustified(size, QLatin1Char(' '), true) : k) + QLatin1Char('\'');
    return quoted.join(QLatin1Char(','));
}

QStringList ParseTickedKeys(const QString& text)
{
    QStringList keys;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        QString k = part.trimmed();
        if (k.size() >= 2 && k.startsWith(QLatin1Char('\'')) && k.endsWith(QLatin1Char('\'')))
            k = k.mid(1, k.size() - 2);
        keys << k.trimmed();
    }
    return keys;
}
