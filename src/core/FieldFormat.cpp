#include "FieldFormat.h"

#include <QRegularExpression>
#include <cmath>

QString FormatFloat(const QString& format, double value)
{
    // Only the section for positive numbers is used; a minus sign is put in front.
    const QString section = format.section(QLatin1Char(';'), 0, 0);
    const qsizetype firstPlaceholder = section.indexOf(QRegularExpression(QStringLiteral("[0#]")));
    if (firstPlaceholder < 0)
        return section;
    qsizetype lastPlaceholder = section.size() - 1;
    while (lastPlaceholder >= 0 && section[lastPlaceholder] != QLatin1Char('0') && section[lastPlaceholder] != QLatin1Char('#'))
        --lastPlaceholder;
    const QString prefix = section.left(firstPlaceholder);
    const QString suffix = section.mid(lastPlaceholder + 1);
    const QString body = section.mid(firstPlaceholder, lastPlaceholder - firstPlaceholder + 1);

    const qsizetype point = body.indexOf(QLatin1Char('.'));
    const QString intPart = point < 0 ? body : body.left(point);
    const QString fracPart = point < 0 ? QString() : body.mid(point + 1);
    const bool thousands = intPart.contains(QLatin1Char(','));
    const int minInt = int(intPart.count(QLatin1Char('0')));
    const int minFrac = int(fracPart.count(QLatin1Char('0')));
    const int maxFrac = minFrac + int(fracPart.count(QLatin1Char('#')));

    QString digits = QString::number(std::fabs(value), 'f', maxFrac);
    QString intDigits = digits.section(QLatin1Char('.'), 0, 0);
    QString fracDigits = maxFrac > 0 ? digits.section(QLatin1Char('.'), 1, 1) : QString();
    while (fracDigits.size() > minFrac && fracDigits.endsWith(QLatin1Char('0')))
        fracDigits.chop(1);
    if (intDigits == QLatin1String("0") && minInt == 0)
        intDigits.clear();
    while (intDigits.size() < minInt)
        intDigits.prepend(QLatin1Char('0'));
    if (thousands)
        for (qsizetype i = intDigits.size() - 3; i > 0; i -= 3)
            intDigits.insert(i, QLatin1Char('.'));

    const bool negative = value < 0 && (intDigits.contains(QRegularExpression(QStringLiteral("[1-9]")))
                                        || fracDigits.contains(QRegularExpression(QStringLiteral("[1-9]"))));
    QString text = intDigits;
    if (!fracDigits.isEmpty())
        text += QLatin1Char(',') + fracDigits;
    return (negative ? QStringLiteral("-") : QString()) + prefix + text + suffix;
}

QString FormatDateTime(const QString& format, const QDateTime& value)
{
    if (!value.isValid())
        return {};
    // The platform's letters: d, m (month, or minutes after h), y, h, n (minutes), s.
    QString qt;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i].toLower();
        if (c == QLatin1Char('n'))
            qt += QLatin1Char('m');
        else if (c == QLatin1Char('m'))
            qt += QLatin1Char('M');
        else if (c == QLatin1Char('h'))
            qt += QLatin1Char('H');
        else
            qt += format[i];
    }
    return value.toString(qt);
}
