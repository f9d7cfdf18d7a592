#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "platform/automation/OleDate.h"

namespace {

SYSTEMTIME at(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0) {
    return SYSTEMTIME{y, mo, 0, d, h, mi, s, ms};
}

std::optional<DATE> to_date(SYSTEMTIME const& st) {
    DATE d = -999.0;
    if (!SystemTimeToVariantTime(&st, &d)) return std::nullopt;
    return d;
}

// Sets TZ for one test and puts the previous value back.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(char const* zone) {
        if (char const* old = std::getenv("TZ")) saved_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (saved_)
            setenv("TZ", saved_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ScopedTimeZone(ScopedTimeZone const&) = delete;
    ScopedTimeZone& operator=(ScopedTimeZone const&) = delete;

private:
    std::optional<std::string> saved_;
};

void expect_time(SYSTEMTIME const& st, WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s, WORD dow) {
    EXPECT_EQ(st.wYear, y);
    EXPECT_EQ(st.wMonth, mo);
    EXPECT_EQ(st.wDay, d);
    EXPECT_EQ(st.wHour, h);
    EXPECT_EQ(st.wMinute, mi);
    EXPECT_EQ(st.wSecond, s);
    EXPECT_EQ(st.wDayOfWeek, dow);
    EXPECT_EQ(st.wMilliseconds, 0);
}

}  // namespace

TEST(OleDate, KnownDatesEncode) {
    EXPECT_EQ(to_date(at(1899, 12, 30)), 0.0);
    EXPECT_EQ(to_date(at(1970, 1, 1)), 25569.0);
    EXPECT_EQ(to_date(at(1980, 1, 1)), 29221.0);
    EXPECT_EQ(to_date(at(2000, 1, 1, 12)), 36526.5);
    EXPECT_EQ(to_date(at(1899, 12, 29, 6)), -1.25);  // the fraction adds to the magnitude
    EXPECT_EQ(to_date(at(1899, 12, 30, 18)), 0.75);
    EXPECT_EQ(to_date(at(100, 1, 1)), -657434.0);
    EXPECT_EQ(to_date(at(9999, 12, 31)), 2958465.0);
    EXPECT_EQ(to_date(at(2000, 2, 29)), 36585.0);
    EXPECT_EQ(to_date(at(1980, 1, 1, 0, 0, 0, 999)), 29221.0);  // milliseconds are ignored
}

TEST(OleDate, RejectsFieldsOutOfRange) {
    EXPECT_FALSE(to_date(at(2000, 1, 0)));
    EXPECT_FALSE(to_date(at(2000, 13, 1)));
    EXPECT_FALSE(to_date(at(2000, 0, 1)));
    EXPECT_FALSE(to_date(at(2001, 2, 29)));
    EXPECT_FALSE(to_date(at(1900, 2, 29)));
    EXPECT_FALSE(to_date(at(2000, 4, 31)));
    EXPECT_FALSE(to_date(at(2000, 1, 1, 24)));
    EXPECT_FALSE(to_date(at(2000, 1, 1, 0, 60)));
    EXPECT_FALSE(to_date(at(2000, 1, 1, 0, 0, 60)));
    EXPECT_FALSE(to_date(at(99, 12, 31)));
    EXPECT_FALSE(to_date(at(10000, 1, 1)));
    DATE d = 0;
    EXPECT_FALSE(SystemTimeToVariantTime(nullptr, &d));
}

TEST(OleDate, DecodesWithWeekdayAndRounding) {
    SYSTEMTIME st{};
    ASSERT_TRUE(VariantTimeToSystemTime(0.0, &st));
    expect_time(st, 1899, 12, 30, 0, 0, 0, 6);
    ASSERT_TRUE(VariantTimeToSystemTime(25569.0, &st));
    expect_time(st, 1970, 1, 1, 0, 0, 0, 4);
    ASSERT_TRUE(VariantTimeToSystemTime(-1.25, &st));
    expect_time(st, 1899, 12, 29, 6, 0, 0, 5);
    ASSERT_TRUE(VariantTimeToSystemTime(-0.25, &st));  // between -1 and 0: still day zero
    expect_time(st, 1899, 12, 30, 6, 0, 0, 6);
    ASSERT_TRUE(VariantTimeToSystemTime(36526.0 + 59.6 / 86400.0, &st));
    expect_time(st, 2000, 1, 1, 0, 1, 0, 6);
    ASSERT_TRUE(VariantTimeToSystemTime(36526.0 + 59.4 / 86400.0, &st));
    expect_time(st, 2000, 1, 1, 0, 0, 59, 6);
    // Rounding runs forward in time on both sides of zero: late enough in a day reaches the
    // next midnight, early enough stays on this one.
    ASSERT_TRUE(VariantTimeToSystemTime(36526.0 + 86399.6 / 86400.0, &st));
    expect_time(st, 2000, 1, 2, 0, 0, 0, 0);
    ASSERT_TRUE(VariantTimeToSystemTime(-(1.0 + 0.3 / 86400.0), &st));
    expect_time(st, 1899, 12, 29, 0, 0, 0, 5);
    ASSERT_TRUE(VariantTimeToSystemTime(-1.0 - 86399.7 / 86400.0, &st));
    expect_time(st, 1899, 12, 30, 0, 0, 0, 6);

    ASSERT_TRUE(VariantTimeToSystemTime(-657434.5, &st));
    expect_time(st, 100, 1, 1, 12, 0, 0, 5);
    for (double bad : {-657435.0, 2958466.0, std::nan(""), double{INFINITY}}) {
        st.wYear = 1234;
        EXPECT_FALSE(VariantTimeToSystemTime(bad, &st)) << bad;
        EXPECT_EQ(st.wYear, 1234);
    }
    EXPECT_FALSE(VariantTimeToSystemTime(2958465.999999, &st));  // rounds into year 10000
}

TEST(OleDate, EveryDayRoundTrips) {
    SYSTEMTIME st{};
    SYSTEMTIME previous{};
    ASSERT_TRUE(VariantTimeToSystemTime(-657434.0, &previous));
    for (long day = -657433; day <= 2958465; ++day) {
        ASSERT_TRUE(VariantTimeToSystemTime(static_cast<double>(day), &st)) << day;
        // Consecutive days step the calendar and the weekday by exactly one.
        ASSERT_EQ(st.wDayOfWeek, (previous.wDayOfWeek + 1) % 7) << day;
        bool const sameMonth = st.wYear == previous.wYear && st.wMonth == previous.wMonth &&
                               st.wDay == previous.wDay + 1;
        bool const nextMonth =
            st.wDay == 1 &&
            ((st.wYear == previous.wYear && st.wMonth == previous.wMonth + 1) ||
             (st.wYear == previous.wYear + 1 && st.wMonth == 1 && previous.wMonth == 12));
        ASSERT_TRUE(sameMonth || nextMonth) << day;
        if (day % 1009 == 0) {
            DATE back = 0;
            st.wHour = 17;
            st.wMinute = 45;
            ASSERT_TRUE(SystemTimeToVariantTime(&st, &back));
            double const fraction = (17 * 60 + 45) / 1440.0;
            EXPECT_DOUBLE_EQ(back, day >= 0 ? day + fraction : day - fraction) << day;
        }
        previous = st;
    }
}

TEST(OleDate, LocalTimeFollowsTimeZone) {
    SYSTEMTIME st{};
    {
        ScopedTimeZone utc("UTC");
        ASSERT_TRUE(ambivox::local_time(0, st));
        expect_time(st, 1970, 1, 1, 0, 0, 0, 4);
        ASSERT_TRUE(ambivox::local_time(951782400 + 3661, st));  // 2000-02-29 01:01:01
        expect_time(st, 2000, 2, 29, 1, 1, 1, 2);
        ASSERT_TRUE(ambivox::local_time(32535215999, st));
        expect_time(st, 3000, 12, 31, 23, 59, 59, 3);
        st.wYear = 1;
        EXPECT_FALSE(ambivox::local_time(32535216000, st));
        EXPECT_FALSE(ambivox::local_time(-1, st));
        EXPECT_EQ(st.wYear, 1);
    }
    {
        ScopedTimeZone newYork("America/New_York");
        ASSERT_TRUE(ambivox::local_time(0, st));
        expect_time(st, 1969, 12, 31, 19, 0, 0, 3);
        ASSERT_TRUE(ambivox::local_time(1593604800, st));  // 2020-07-01 12:00 UTC, daylight time
        expect_time(st, 2020, 7, 1, 8, 0, 0, 3);
        ASSERT_TRUE(ambivox::local_time(1577880000, st));  // 2020-01-01 12:00 UTC, standard time
        expect_time(st, 2020, 1, 1, 7, 0, 0, 3);
    }
}
