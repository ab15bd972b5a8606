#pragma once
// The services a module asks of its host. Each free function of the framework (MessageDlg,
// ActiveShowAvi, LoadBPL, Pesquisar, PesquisaLista, CriaConfSenha, ...) delegates to the one
// installed implementation: QtHostServices for people, ScriptedHostServices for tests and
// for ore-host --headless.

#include "Dialogs.h"

#include <QString>
#include <QVariant>

#include <memory>

class QDialog;
class QWidget;
class TDataSource;

// The session the host set up: server address, operator and branch, where packages live.
struct TSession {
    QString webURL = QStringLiteral("127.0.0.1");
    int webPort = 8400;
    bool tls = false;             // https: the server's certificate is verified
    QString caFile;               // PEM certificates trusted instead of the system's (empty: the system's)
    QString token;                // the session's token once logged in (ServerSession.h)
    QString operador;
    QString filiProc;
    QString packagesDir;          // empty: <directory of the executable>/../lib
    int callTimeoutMs = 60000;    // time limit of every remote call
    QWidget* mainForm = nullptr;  // the application's main window, if it has one
};

TSession& Session();

// One remote call as it happened, for the transcript.
struct TCallRecord {
    QString object;
    QString method;
    QVariantList args;
    enum Outcome { Ok, Fail, Exception } outcome = Ok;
    QString message = {};   // the failure's or the exception's text
};

class IHostServices {
public:
    virtual ~IHostServices();

    virtual int messageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) = 0;
    virtual int showModal(QDialog* form) = 0;
    virtual void showWait(QWidget* mainForm, int kind) = 0;
    virtual void hideWait() = 0;
    virtual void loadScreen(const QString& screenCode, const QVariant& params) = 0;
    virtual bool pickRecord(TDataSource* dataSource, const QString& title, const QString& emptyText) = 0;
    // Returns the ticked keys as PesquisaLista gives them ('01','03'), or "" for none.
    virtual QString tickList(TDataSource* dataSource, const QString& keyField, const QString& title, const QString& preselected) = 0;
    virtual bool confirmPassword(const QString& operatorCode, const QString& caption, const QString& label) = 0;
    virtual void callMade(const TCallRecord& /*call*/) {}
};

// Installs the implementation (replacing and destroying the previous one) and returns it;
// `services` may not be null.
IHostServices& InstallHostServices(std::unique_ptr<IHostServices> services);
// Destroys the installed implementation, if any: the module cannot be used until the next install.
void UninstallHostServices();
// The installed implementation; throws EHostError when none is installed.
IHostServices& HostServices();
bool HostServicesInstalled();

// ---- the framework's free functions

QString WebURL();
int WebPort();
QString Operador();
QString FiliProc();
QWidget* MainForm();

// Runs the screen `screenCode` with `params`; returns when it has closed.
void LoadBPL(const QString& screenCode, const QVariant& params);

// `texts` is the title and the empty-list text joined by "|". Returns true when a record
// was picked; it is then the dataset's current record.
bool Pesquisar(TDataSource* dataSource, const QString& texts, bool multiple, bool showEmpty);

// Shows a tick list over the data source and returns the ticked records' key values, each
// at the key field's full size in single quotes, joined by commas ('01','03'), or "" when
// nothing is ticked. `selectedKeys` comes in as the keys ticked beforehand and goes out as
// the result.
QString PesquisaLista(TDataSource* dataSource, const QString& keyField, const QString& title, bool flag, QString& selectedKeys);

// The key list of PesquisaLista for the given key values of a field of `size` characters.
QString FormatTickedKeys(const QStringList& keys, int size);
QStringList ParseTickedKeys(const QString& text);
