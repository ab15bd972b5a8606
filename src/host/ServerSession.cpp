#include "ServerSession.h"

#include "Errors.h"
#include "HostServices.h"
#include "NetConnection.h"
#include "WireContract.h"
#include "Wire.h"

#include <QUrl>

bool PointSessionAt(const QString& server, const QString& caFile, QString& error)
{
    const QUrl url = QUrl::fromUserInput(server.trimmed());
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || url.port() <= 0 || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        error = QStringLiteral("--server deve ser http://host:porta ou https://host:porta (recebido \"%1\")").arg(server);
        return false;
    }
    Session().webURL = url.host();
    Session().webPort = url.port();
    Session().tls = scheme == QLatin1String("https");
    Session().caFile = caFile;
    Session().token.clear();
    return true;
}

void LoginToServer(const QString& operatorCode, const QString& password, const QString& branch)
{
    TNetConnection connection(nullptr, QStringLiteral("netLogin"), QString(ServerObject::Host));
    connection.SecretArgs = {1};
    Session().token.clear();
    Session().operador = operatorCode;
    Session().filiProc = branch;
    const QVariant result = connection.Call(QStringLiteral("Login"), {operatorCode, password, branch});
    if (VarIsFail(result))
        throw EHostError(result.value<TFailResult>().text);
    if (result.metaType().id() != QMetaType::QString || result.toString().isEmpty())
        throw EHostError(QStringLiteral("O servidor não respondeu ao login com uma sessão."));
    Session().token = result.toString();
}

void EndProcessingOnServer()
{
    if (Session().token.isEmpty())
        return;
    try {
        TNetConnection connection(nullptr, QStringLiteral("netFimProcessamento"), QString(ServerObject::Host));
        connection.TimeoutMs = 5000;
        connection.Call(QStringLiteral("FimProcessamento"));
    } catch (const EHostError&) {
    }
}

void LogoutFromServer()
{
    if (Session().token.isEmpty())
        return;
    try {
        TNetConnection connection(nullptr, QStringLiteral("netLogout"), QString(ServerObject::Host));
        connection.TimeoutMs = 5000;
        connection.Call(QStringLiteral("Logout"));
    } catch (const EHostError&) {
    }
    Session().token.clear();
}
