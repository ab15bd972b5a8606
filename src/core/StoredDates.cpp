#include "StoredDates.h"

#include <QDate>

namespace {

int digits(const char* p, int n)
{
    int value = 0;
    for (int i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return -1;
        value = value * 10 + (p[i] - '0');
    }
    return value;
}

} // namespace

std::optional<qint64> ParseStoredDate(const char* p, size_t n)
{
    if (n < 10 || p[4] != '-' || p[7] != '-')
        return std::nullopt;
    const int y = digits(p, 4), m = digits(p + 5, 2), d = digits(p + 8, 2);
    if (y < 0 || m < 0 || d < 0)
        return std::nullopt;
    const QDate date(y, m, d);
    if (!date.isValid())
        return std::nullopt;
    return date.toJulianDay();
}

std::optional<qint64> ParseStoredDateTime(const char* p, size_t n)
{
    const auto day = ParseStoredDate(p, n);
    if (!day)
        return std::nullopt;
    qint64 ms = (*day - UnixEpochJulianDay) * MsPerDay;
    if (n == 10)
        return ms;
    if (n < 19 || (p[10] != 'T' && p[10] != ' ') || p[13] != ':' || p[16] != ':')
        return std::nullopt;
    const int h = digits(p + 11, 2), mi = digits(p + 14, 2), s = digits(p + 17, 2);
    if (h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59)
        return std::nullopt;
    int msec = 0;
    if (n > 19) {
        if (p[19] != '.' || n > 23 || n < 21)
            return std::nullopt;
        const int fraction = digits(p + 20, int(n - 20));
        if (fraction < 0)
            return std::nullopt;
        msec = fraction * (n == 21 ? 100 : n == 22 ? 10 : 1);
    }
    return ms + h * 3600000LL + mi * 60000LL + s * 1000LL + msec;
}
