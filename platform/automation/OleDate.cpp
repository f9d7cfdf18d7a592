#include "platform/automation/OleDate.h"

#include <cmath>
#include <ctime>

namespace {

// Days from 1970-01-01 to the given proleptic Gregorian date (negative before it).
constexpr std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) noexcept {
    y -= m <= 2 ? 1 : 0;
    std::int64_t const era = (y >= 0 ? y : y - 399) / 400;
    auto const yoe = static_cast<unsigned>(y - era * 400);
    unsigned const doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    unsigned const doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

constexpr Civil civil_from_days(std::int64_t z) noexcept {
    z += 719468;
    std::int64_t const era = (z >= 0 ? z : z - 146096) / 146097;
    auto const doe = static_cast<unsigned>(z - era * 146097);
    unsigned const yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    unsigned const doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned const mp = (5 * doy + 2) / 153;
    unsigned const d = doy - (153 * mp + 2) / 5 + 1;
    unsigned const m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

constexpr std::int64_t ole_epoch = days_from_civil(1899, 12, 30);  // in days from 1970
static_assert(ole_epoch == -25569);

constexpr bool is_leap(unsigned y) noexcept {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

constexpr unsigned days_in_month(unsigned y, unsigned m) noexcept {
    constexpr unsigned lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && is_leap(y) ? 29 : lengths[m - 1];
}

// The DATE range of years 100..9999; the bounds are exclusive because -657434.5 is still
// 0100-01-01 12:00 (the fraction counts forward on negative dates).
constexpr double first_invalid_below = -657435.0;
constexpr double first_invalid_above = 2958466.0;

// The last second the date functions of the platform accept: 3000-12-31 23:59:59 UTC.
constexpr std::int64_t last_local_time_second = days_from_civil(3001, 1, 1) * 86400 - 1;

}  // namespace

INT SystemTimeToVariantTime(SYSTEMTIME const* st, DATE* out) noexcept {
    if (st == nullptr || out == nullptr) return FALSE;
    if (st->wYear < 100 || st->wYear > 9999 || st->wMonth < 1 || st->wMonth > 12 || st->wDay < 1 ||
        st->wDay > days_in_month(st->wYear, st->wMonth) || st->wHour > 23 || st->wMinute > 59 ||
        st->wSecond > 59)
        return FALSE;
    auto const days =
        static_cast<double>(days_from_civil(st->wYear, st->wMonth, st->wDay) - ole_epoch);
    double const fraction = (st->wHour * 3600.0 + st->wMinute * 60.0 + st->wSecond) / 86400.0;
    *out = days >= 0 ? days + fraction : days - fraction;
    return TRUE;
}

INT VariantTimeToSystemTime(DATE d, SYSTEMTIME* out) noexcept {
    if (out == nullptr || !(d > first_invalid_below && d < first_invalid_above)) return FALSE;
    double const whole = std::trunc(d);
    auto days = static_cast<std::int64_t>(whole);
    auto seconds = static_cast<std::int64_t>(std::llround(std::fabs(d - whole) * 86400.0));
    // Time always runs forward within a day, so rounding up to midnight moves to the next
    // calendar day whatever the sign of the date.
    if (seconds >= 86400) {
        seconds -= 86400;
        ++days;
    }
    std::int64_t const unix_days = days + ole_epoch;
    Civil const c = civil_from_days(unix_days);
    if (c.year < 100 || c.year > 9999) return FALSE;
    out->wYear = static_cast<WORD>(c.year);
    out->wMonth = static_cast<WORD>(c.month);
    out->wDay = static_cast<WORD>(c.day);
    out->wDayOfWeek = static_cast<WORD>(((unix_days % 7) + 7 + 4) % 7);  // 1970-01-01: Thursday
    out->wHour = static_cast<WORD>(seconds / 3600);
    out->wMinute = static_cast<WORD>(seconds / 60 % 60);
    out->wSecond = static_cast<WORD>(seconds % 60);
    out->wMilliseconds = 0;
    return TRUE;
}

namespace ambivox {

bool local_time(std::int64_t utc_seconds, SYSTEMTIME& out) noexcept {
    if (utc_seconds < 0 || utc_seconds > last_local_time_second) return false;
    auto const t = static_cast<std::time_t>(utc_seconds);
    // localtime_r need not look at TZ again; tzset makes a changed TZ take effect.
    tzset();
    std::tm parts{};
    if (localtime_r(&t, &parts) == nullptr) return false;
    out.wYear = static_cast<WORD>(parts.tm_year + 1900);
    out.wMonth = static_cast<WORD>(parts.tm_mon + 1);
    out.wDayOfWeek = static_cast<WORD>(parts.tm_wday);
    out.wDay = static_cast<WORD>(parts.tm_mday);
    out.wHour = static_cast<WORD>(parts.tm_hour);
    out.wMinute = static_cast<WORD>(parts.tm_min);
    // A leap second (zones with leap-second tables) has no place in a SYSTEMTIME.
    out.wSecond = static_cast<WORD>(parts.tm_sec > 59 ? 59 : parts.tm_sec);
    out.wMilliseconds = 0;
    return true;
}

}  // namespace ambivox
