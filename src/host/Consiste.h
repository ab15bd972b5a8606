#pragma once
// Checking a remote result.

#include <QVariant>

// On success returns the payload. On a failed result ({"$fail": text}) shows the text as an
// error and ends the operation by the silent abort; it does not return. The arguments after
// the result are always true and 0.
QVariant CheckResultServ(const QVariant& result, bool abort = true, int helpContext = 0);
