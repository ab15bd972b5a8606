#include "TextRoutines.h"

#include <QLocale>

#include <cmath>

bool EmptyString(const QString& s) { return s.trimmed().isEmpty(); }

QString Ajusta(const QString& code, int width)
{
    if (code.isEmpty())
        return code;
    return code.rightJustified(width, QLatin1Char('0'), false);
}

double RoundDec(double value, int decimals)
{
    // Rounds the value as written: the shortest decimal text that reads back as `value`.
    // So 1.005 rounds to 1.01, although the double nearest to 1.005 lies just below it.
    if (!std::isfinite(value) || decimals < 0)
        return value;
    QString digits = QString::number(std::fabs(value), 'f', QLocale::FloatingPointShortest);
    qsizetype point = digits.indexOf(QLatin1Char('.'));
    if (point < 0)
        return value;
    digits.remove(point, 1);
    const qsizetype keep = point + decimals;
    if (digits.size() <= keep)
        return value;
    const bool up = digits[keep] >= QLatin1Char('5');
    digits.truncate(keep);
    if (up) {
        qsizetype i = digits.size() - 1;
        for (; i >= 0 && digits[i] == QLatin1Char('9'); --i)
            digits[i] = QLatin1Char('0');
        if (i < 0) {
            digits.prepend(QLatin1Char('1'));
            ++point;
        } else {
            digits[i] = QChar(digits[i].unicode() + 1);
        }
    }
    const double rounded = (digits.left(point) + QLatin1Char('.') + digits.mid(point) + QLatin1Char('0')).toDouble();
    return value < 0 ? -rounded : rounded;
}

QString Format(const QString& text, const QStringList& args)
{
    QString out;
    out.reserve(text.size());
    qsizetype next = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('%') && i + 1 < text.size() && text[i + 1] == QLatin1Char('s') && next < args.size()) {
            out += args[next++];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}
