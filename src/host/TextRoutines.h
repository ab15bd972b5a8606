#pragma once
// Small routines on texts, numbers and controls.

#include <QString>

class QWidget;

bool EmptyString(const QString& s);                 // true for "" (and for blanks only)
QString Ajusta(const QString& code, int width);      // left-pads a code with zeros; never cuts
double RoundDec(double value, int decimals);         // half away from zero, on the value as written
void SetChildEnabled(QWidget* control, bool enabled); // every child control
