#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <initializer_list>
#include <optional>
#include <string>

#include "platform/automation/UniqueBstr.h"
#include "readings/CDataPoint.h"
#include "tests/support/LockCountTest.h"

namespace {

using ambivox::CDataPoint;
using ambivox::com_ptr;
using ambivox::unique_bstr;

// 2021-01-15 12:00:00 UTC and 2021-07-15 12:00:00 UTC, days 44211 and 44392 of the OLE calendar.
constexpr LONGLONG winter_noon = 1610712000;
constexpr LONGLONG summer_noon = 1626350400;

// An OLE date for a day number and a time of day, as the date conversion builds it.
constexpr double ole_date(double day, int hour, int minute = 0, int second = 0) {
    return day + (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

class DataPointTime : public ambivox::testing::LockCountTest {
protected:
    void SetUp() override {
        LockCountTest::SetUp();
        if (char const* tz = std::getenv("TZ")) m_savedTz = tz;
        point = ambivox::make<CDataPoint>();
    }
    void TearDown() override {
        point = nullptr;
        if (m_savedTz)
            setenv("TZ", m_savedTz->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
        LockCountTest::TearDown();
    }

    static void use_zone(char const* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }
    HRESULT set_text(std::u16string_view text) {
        unique_bstr value(text);
        return point->put_UTCTimeAsString(value.get());
    }
    std::u16string text() {
        unique_bstr value;
        EXPECT_EQ(point->get_UTCTimeAsString(value.put()), S_OK);
        return value.str();
    }
    LONGLONG utc() {
        LONGLONG value = 12345;
        EXPECT_EQ(point->get_UTCTime(&value), S_OK);
        return value;
    }
    DATE time_at(LONGLONG seconds) {
        EXPECT_EQ(point->put_UTCTime(seconds), S_OK);
        DATE value = 12345;
        EXPECT_EQ(point->get_Time(&value), S_OK);
        return value;
    }

    com_ptr<CDataPoint> point;

private:
    std::optional<std::string> m_savedTz;
};

TEST_F(DataPointTime, UtcTimeIsStoredAsGiven) {
    EXPECT_EQ(utc(), 0);
    EXPECT_EQ(text(), u"0");
    for (LONGLONG value :
         {LONGLONG{5000000000}, LONGLONG{-1}, LONGLONG{INT64_MAX}, LONGLONG{INT64_MIN}}) {
        EXPECT_EQ(point->put_UTCTime(value), S_OK);
        EXPECT_EQ(utc(), value);
    }
    EXPECT_EQ(text(), u"-9223372036854775808");
    ASSERT_EQ(point->put_UTCTime(5000000000), S_OK);
    EXPECT_EQ(text(), u"5000000000");
}

TEST_F(DataPointTime, TextIsAWholeSignedDecimal) {
    struct Accepted {
        std::u16string_view text;
        LONGLONG value;
    };
    for (Accepted const& row : std::initializer_list<Accepted>{
             Accepted{u"86400", 86400}, Accepted{u"+5", 5}, Accepted{u"-5", -5},
             Accepted{u"007", 7}, Accepted{u"5000000000", 5000000000},
             Accepted{u"9223372036854775807", INT64_MAX},
             Accepted{u"-9223372036854775808", INT64_MIN}}) {
        EXPECT_EQ(set_text(row.text), S_OK) << std::string(row.text.begin(), row.text.end());
        EXPECT_EQ(utc(), row.value);
    }
    ASSERT_EQ(set_text(u"5000000000"), S_OK);
    EXPECT_EQ(text(), u"5000000000");
}

TEST_F(DataPointTime, RefusedTextLeavesTheTimeUnchanged) {
    constexpr char16_t embedded_null[] = {u'5', 0, u'6'};
    ASSERT_EQ(point->put_UTCTime(4242), S_OK);
    for (std::u16string_view refused : std::initializer_list<std::u16string_view>{
             u" 5", u"5 ", u"", u"0x10", u"5a", u"+", u"-", u"--5", u"+-5", u"5-", u"1e3", u"5.0",
             u"9223372036854775808", u"-9223372036854775809", u"99999999999999999999",
             u"\uFF15" /* a full-width five */,
             u"1\u0132" /* a letter whose low byte is the digit 2 */,
             std::u16string_view(embedded_null, 3)}) {
        EXPECT_EQ(set_text(refused), E_OUTOFMEMORY) << std::string(refused.begin(), refused.end());
        EXPECT_EQ(utc(), 4242);
    }
    EXPECT_EQ(point->put_UTCTimeAsString(nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(utc(), 4242);
}

TEST_F(DataPointTime, NullOutPointersAreOutOfMemory) {
    EXPECT_EQ(point->get_Unit(nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(point->get_Time(nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(point->get_UTCTime(nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(point->get_UTCTimeAsString(nullptr), E_OUTOFMEMORY);
}

TEST_F(DataPointTime, TimeIsTheLocalTimeOfTheUtcTime) {
    use_zone("UTC");
    EXPECT_EQ(time_at(0), 25569.0);
    EXPECT_DOUBLE_EQ(time_at(winter_noon), ole_date(44211, 12));
    EXPECT_DOUBLE_EQ(time_at(summer_noon + 3661), ole_date(44392, 13, 1, 1));

    use_zone("America/New_York");
    EXPECT_DOUBLE_EQ(time_at(0), ole_date(25568, 19));
    EXPECT_DOUBLE_EQ(time_at(winter_noon), ole_date(44211, 7));           // EST
    EXPECT_DOUBLE_EQ(time_at(summer_noon), ole_date(44392, 8));           // EDT
    EXPECT_DOUBLE_EQ(time_at(winter_noon - 43200), ole_date(44210, 19));  // the day before

    use_zone("Asia/Kolkata");
    EXPECT_DOUBLE_EQ(time_at(0), ole_date(25569, 5, 30));
    EXPECT_DOUBLE_EQ(time_at(winter_noon), ole_date(44211, 17, 30));
    EXPECT_DOUBLE_EQ(time_at(summer_noon), ole_date(44392, 17, 30));
}

TEST_F(DataPointTime, TimesTheLocalTimeCannotExpressReadAsTheInvalidDate) {
    use_zone("UTC");
    EXPECT_EQ(time_at(-1), -657435.0);
    EXPECT_EQ(time_at(INT64_MIN), -657435.0);
    // The last second of year 3000 is the last one converted.
    EXPECT_DOUBLE_EQ(time_at(32535215999), ole_date(402133, 23, 59, 59));
    EXPECT_EQ(time_at(32535216000), -657435.0);
    EXPECT_EQ(time_at(INT64_MAX), -657435.0);
}

TEST_F(DataPointTime, TimeCannotBeSet) {
    use_zone("UTC");
    ASSERT_EQ(point->put_UTCTime(winter_noon), S_OK);
    EXPECT_EQ(point->put_Time(12.5), S_OK);
    EXPECT_EQ(point->put_Time(-1e300), S_OK);
    DATE value = 0;
    ASSERT_EQ(point->get_Time(&value), S_OK);
    EXPECT_DOUBLE_EQ(value, ole_date(44211, 12));
    EXPECT_EQ(utc(), winter_noon);
}

}  // namespace
