#pragma once
// Small routines on texts and numbers.

#include <QString>

bool EmptyString(const QString& s);                 // true for "" (and for blanks only)
QString Ajusta(const QString& code, int width);      // left-pads a code with zeros; never cuts
double RoundDec(double value, int decimals);         // half away from zero, on the value as written

// A message text with its "%s" placeholders filled in order; a placeholder without an argument
// is left as it is, and so is a text without placeholders.
QString Format(const QString& text, const QStringList& args);
