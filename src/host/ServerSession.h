#pragma once
// The host's session on the application server (docs/protocol.md): where the server is, and
// the token that every call carries once the operator has logged in.

#include <QString>

// Points the session at "http://HOST:PORT" or "https://HOST:PORT" (the certificate of an https
// server is verified against the system's trust, or against `caFile` when given). Answers
// false, with the reason in `error`, when `server` is no such address.
bool PointSessionAt(const QString& server, const QString& caFile, QString& error);

// Logs the operator in on the branch: the session then holds the operator, the branch and
// the token. Throws EHostError with the server's words when the server refuses (a wrong
// password, a locked operator, an unknown branch) or cannot be reached.
void LoginToServer(const QString& operatorCode, const QString& password, const QString& branch);

// Ends the session on the server, when there is one. Never throws: a server gone by then has
// ended it already, or its idle limit will.
void LogoutFromServer();

// Tells the server that the processing dialog has ended, so that the supervisor's word it asked
// for serves no other quote (CRV.rdmHost.FimProcessamento). Never throws: a server that does
// not hear it lets the word run out at the branch's time.
void EndProcessingOnServer();

// Logs out when it goes out of scope.
class TLogoutOnExit {
public:
    TLogoutOnExit() = default;
    TLogoutOnExit(const TLogoutOnExit&) = delete;
    TLogoutOnExit& operator=(const TLogoutOnExit&) = delete;
    ~TLogoutOnExit() { LogoutFromServer(); }
};
