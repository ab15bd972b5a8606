#include "Lib00700.h"

#include "Consiste.h"
#include "HostServices.h"
#include "NetConnection.h"
#include "WireContract.h"

bool CriaConfSenha(const QString& operatorCode, const QString& caption, const QString& label)
{
    return HostServices().confirmPassword(operatorCode, caption, label);
}

bool ConfSenhaNoServidor(const QString& operatorCode, const QString& password)
{
    TNetConnection connection(nullptr, QStringLiteral("netConfSenha"), QString(ServerObject::Host));
    connection.Host = WebURL();
    connection.Port = WebPort();
    connection.SecretArgs = {1};
    return CheckResultServ(connection.Call(QStringLiteral("ConfSenha"), {operatorCode, password})).toBool();
}
