#pragma once
// Display formats of numbers and dates, as the operators of a Brazilian business read them:
// "#,##0.00" shows 1234.5 as "1.234,50"; "dd/mm/yyyy hh:nn" shows a date-time.

#include <QDateTime>
#include <QString>

QString FormatFloat(const QString& format, double value);
QString FormatDateTime(const QString& format, const QDateTime& value);
