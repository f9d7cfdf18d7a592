// Automation dates: a DATE counts days from 1899-12-30 00:00, the time of day in its fraction.
// Before that day the whole part is negative while the fraction still counts forward from
// midnight: -1.25 is 1899-12-29 06:00. Valid dates run from year 100 to year 9999 in the
// proleptic Gregorian calendar.
#pragma once

#include <cstdint>

#include "platform/base/Types.h"

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;  // 0 = Sunday
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

// TRUE and *out set, or FALSE with *out untouched when a pointer is null or a field is out of
// range (year outside 100..9999, a month or day that does not exist, hour > 23, minute or
// second > 59). wDayOfWeek and wMilliseconds are ignored.
INT SystemTimeToVariantTime(SYSTEMTIME const* st, DATE* out) noexcept;

// TRUE and *out set (rounded to the nearest second, wDayOfWeek filled in, wMilliseconds 0), or
// FALSE with *out untouched when out is null or d is not a valid date.
INT VariantTimeToSystemTime(DATE d, SYSTEMTIME* out) noexcept;

namespace ambivox {

// Breaks UTC seconds since 1970-01-01 down into the local time of the process's TZ (read
// afresh on each call). False, with out untouched, for a negative value, one after the end of
// year 3000 UTC, or one the C library cannot represent.
bool local_time(std::int64_t utc_seconds, SYSTEMTIME& out) noexcept;

}  // namespace ambivox
