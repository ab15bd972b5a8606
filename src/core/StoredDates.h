#pragma once
// Dates as they are stored and as they travel: "YYYY-MM-DD" and "YYYY-MM-DDThh:mm:ss[.zzz]"
// (a blank in place of the T too), read digit by digit, without display formats and without
// any time zone: the wall-clock reading is the value. A cell keeps a date as its Julian day and
// a date-time as milliseconds since 1970-01-01T00:00:00 of that wall clock.

#include <QtGlobal>

#include <cstddef>
#include <optional>

inline constexpr qint64 UnixEpochJulianDay = 2440588;
inline constexpr qint64 MsPerDay = 86400000;

// "YYYY-MM-DD" (and what follows it, unread) -> Julian day; nothing for an impossible date.
std::optional<qint64> ParseStoredDate(const char* text, size_t length);

// "YYYY-MM-DD" or "YYYY-MM-DDThh:mm:ss[.z[z[z]]]" -> milliseconds of the wall clock.
std::optional<qint64> ParseStoredDateTime(const char* text, size_t length);
