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

namespace {

// A call of the host's own object whose answer nothing needs, within 5 s: a failure is let go,
// since the server ends by itself what it was to be told (a session at its idle limit, a
// supervisor's word at the branch's time).
void TellServer(const char* connectionName, const char* method)
{
    try {
        TNetConnection connection(nullptr, QString::fromLatin1(connectionName), QString(ServerObject::Host));
        connection.TimeoutMs = 5000;
        connection.Call(QString::fromLatin1(method));
    } catch (const EHostError&) {
    }
}

} // namespace

void EndProcessingOnServer()
{
    if (!Session().token.isEmpty())
        TellServer("netFimProcessamento", "FimProcessamento");
}

void LogoutFromServer()
{
    if (Session().token.isEmpty())
        return;
    TellServer("netLogout", "Logout");
    Session().token.clear();
}
