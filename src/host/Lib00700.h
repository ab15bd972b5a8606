#pragma once
// Password confirmation.

#include <QString>

// Asks for the password of `operatorCode` (`caption` on the window, `label` before the
// operator's code) and returns true when the server confirms it. The password is never
// stored or written anywhere.
bool CriaConfSenha(const QString& operatorCode, const QString& caption, const QString& label);

// Asks the server (CRV.rdmHost.ConfSenha) whether `password` is that operator's.
bool ConfSenhaNoServidor(const QString& operatorCode, const QString& password);
