#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/automation/UniqueBstr.h"
#include "platform/automation/UniqueVariant.h"
#include "readings/CDataPoint.h"
#include "tests/support/LockCountTest.h"

namespace {

using ambivox::CDataPoint;
using ambivox::com_ptr;
using ambivox::unique_bstr;
using ambivox::unique_variant;

class DataPointUnits : public ambivox::testing::LockCountTest {
protected:
    void SetUp() override {
        LockCountTest::SetUp();
        point = ambivox::make<CDataPoint>();
    }
    void TearDown() override {
        point = nullptr;
        LockCountTest::TearDown();
    }

    HRESULT set_unit(std::u16string_view unit) {
        unique_bstr text(unit);
        return point->put_Unit(text.get());
    }
    std::u16string unit() {
        unique_bstr text;
        EXPECT_EQ(point->get_Unit(text.put()), S_OK);
        return text.str();
    }
    HRESULT set_value(VARIANT const& value) { return point->put_Value(value); }
    HRESULT set_value(double value) { return set_value(unique_variant::from(value).get()); }
    unique_variant value() {
        unique_variant result;
        EXPECT_EQ(point->get_Value(result.put()), S_OK);
        return result;
    }
    double number() {
        unique_variant v = value();
        EXPECT_EQ(v.type(), VT_R8);
        return v->dblVal;
    }
    // A point holding value in unit, reached from the "unknown" state.
    void prepare(std::u16string_view from, double value) {
        ASSERT_EQ(set_unit(from), S_OK);
        ASSERT_EQ(set_value(value), S_OK);
    }
    // A refused change must leave unit and value exactly as they were.
    void expect_refused(std::u16string_view to, std::u16string const& unitBefore,
                        double valueBefore) {
        EXPECT_EQ(set_unit(to), E_INVALIDARG) << "to " << std::string(to.begin(), to.end());
        EXPECT_EQ(unit(), unitBefore);
        EXPECT_EQ(number(), valueBefore);
    }

    com_ptr<CDataPoint> point;
};

TEST_F(DataPointUnits, NewPointIsEmptyAndUnknown) {
    EXPECT_EQ(value().type(), VT_EMPTY);
    EXPECT_EQ(unit(), u"unknown");
}

TEST_F(DataPointUnits, ValueIsADeepCopyOfAnyType) {
    unique_variant text = unique_variant::from(std::u16string_view(u"23.5"));
    ASSERT_EQ(set_value(text.get()), S_OK);
    unique_variant back = value();
    ASSERT_EQ(back.type(), VT_BSTR);
    EXPECT_NE(back->bstrVal, text->bstrVal);
    EXPECT_EQ(ambivox::bstr_view(back->bstrVal), u"23.5");
    // Setting the value never touches the unit.
    EXPECT_EQ(unit(), u"unknown");

    ASSERT_EQ(set_value(unique_variant::from(LONGLONG{5000000000}).get()), S_OK);
    EXPECT_EQ(value().type(), VT_I8);
    EXPECT_EQ(value()->llVal, 5000000000);
}

TEST_F(DataPointUnits, ValueFailuresAreReported) {
    EXPECT_EQ(point->get_Value(nullptr), E_POINTER);

    // A variant that cannot be copied is refused and the old value stays.
    ASSERT_EQ(set_value(21.5), S_OK);
    VARIANT broken{};
    broken.vt = VT_SAFEARRAY;
    EXPECT_EQ(set_value(broken), DISP_E_BADVARTYPE);
    EXPECT_EQ(number(), 21.5);
}

TEST_F(DataPointUnits, FromUnknownAnyListedPieceIsTakenWithoutTouchingTheValue) {
    for (std::u16string_view accepted :
         {u"C", u"F", u"R", u"K", u"H", u"W", u"P", u"FR", u"CFRK", u"HW"}) {
        point = ambivox::make<CDataPoint>();
        ASSERT_EQ(set_value(-5.0), S_OK);
        EXPECT_EQ(set_unit(accepted), S_OK);
        EXPECT_EQ(unit(), accepted);
        EXPECT_EQ(number(), -5.0);
    }
}

TEST_F(DataPointUnits, FromUnknownUnlistedUnitsAreRefused) {
    ASSERT_EQ(set_value(12.0), S_OK);
    for (std::u16string_view refused : {u"", u"c", u"X", u"unknown", u"CFRKP", u"PH W", u"FC"})
        expect_refused(refused, u"unknown", 12.0);
    EXPECT_EQ(point->put_Unit(nullptr), E_INVALIDARG);
    EXPECT_EQ(unit(), u"unknown");
}

TEST_F(DataPointUnits, ConversionsFollowTheWrittenOrderOfOperations) {
    double const v = 25.0;
    struct Row {
        std::u16string_view from;
        std::u16string_view to;
        double expected;
    };
    std::vector<Row> const rows = {
        {u"C", u"F", ((v + 273.15) - 273.15) * 1.8 + 32},
        {u"C", u"R", (v + 273.15) * 1.8},
        {u"C", u"K", v + 273.15},
        {u"F", u"C", ((v - 32) / 1.8 + 273.15) - 273.15},
        {u"F", u"R", ((v - 32) / 1.8 + 273.15) * 1.8},
        {u"F", u"K", (v - 32) / 1.8 + 273.15},
        {u"R", u"C", v / 1.8 - 273.15},
        {u"R", u"F", (v / 1.8 - 273.15) * 1.8 + 32},
        {u"R", u"K", v / 1.8},
        {u"K", u"C", v - 273.15},
        {u"K", u"F", (v - 273.15) * 1.8 + 32},
        {u"K", u"R", v * 1.8},
    };
    for (Row const& row : rows) {
        point = ambivox::make<CDataPoint>();
        prepare(row.from, v);
        EXPECT_EQ(set_unit(row.to), S_OK);
        EXPECT_EQ(unit(), row.to);
        EXPECT_DOUBLE_EQ(number(), row.expected)
            << std::string(row.from.begin(), row.from.end()) << " to "
            << std::string(row.to.begin(), row.to.end());
    }
}

TEST_F(DataPointUnits, ChainedChangesConvertFromTheCurrentValue) {
    prepare(u"C", 25.0);
    ASSERT_EQ(set_unit(u"F"), S_OK);
    EXPECT_DOUBLE_EQ(number(), 77.0);
    ASSERT_EQ(set_unit(u"K"), S_OK);
    EXPECT_DOUBLE_EQ(number(), 298.15);
    EXPECT_EQ(unit(), u"K");
}

TEST_F(DataPointUnits, RefusedChangesLeaveUnitAndValue) {
    prepare(u"C", 20.0);
    expect_refused(u"", u"C", 20.0);
    expect_refused(u"C", u"C", 20.0);  // a unit is never converted to itself
    expect_refused(u"c", u"C", 20.0);
    expect_refused(u"X", u"C", 20.0);
    expect_refused(u"H", u"C", 20.0);  // listed, but no temperature
    expect_refused(u"FR", u"C", 20.0);
    EXPECT_EQ(point->put_Unit(nullptr), E_INVALIDARG);
    EXPECT_EQ(unit(), u"C");

    // Humidity and wetness, once set, never change.
    for (std::u16string_view fixed : {u"H", u"W", u"P"}) {
        point = ambivox::make<CDataPoint>();
        prepare(fixed, 55.0);
        expect_refused(u"C", std::u16string(fixed), 55.0);
        expect_refused(u"K", std::u16string(fixed), 55.0);
    }
}

TEST_F(DataPointUnits, OnlyDoublesAreConverted) {
    ASSERT_EQ(set_unit(u"C"), S_OK);
    // No value yet: nothing to convert, so the unit cannot move.
    EXPECT_EQ(set_unit(u"F"), E_INVALIDARG);
    EXPECT_EQ(value().type(), VT_EMPTY);

    ASSERT_EQ(set_value(unique_variant::from(LONG{42}).get()), S_OK);
    EXPECT_EQ(set_unit(u"F"), E_INVALIDARG);
    EXPECT_EQ(unit(), u"C");
    EXPECT_EQ(value().type(), VT_I4);
    EXPECT_EQ(value()->lVal, 42);
}

TEST_F(DataPointUnits, AMultiLetterUnitEmptiesTheValueOnItsFirstChange) {
    prepare(u"FR", 70.0);
    ASSERT_EQ(set_unit(u"C"), S_OK);
    EXPECT_EQ(unit(), u"C");
    EXPECT_EQ(value().type(), VT_EMPTY);

    // The value must still be a double for that change to happen at all.
    point = ambivox::make<CDataPoint>();
    ASSERT_EQ(set_unit(u"FR"), S_OK);
    ASSERT_EQ(set_value(unique_variant::from(LONG{70}).get()), S_OK);
    EXPECT_EQ(set_unit(u"C"), E_INVALIDARG);
    EXPECT_EQ(unit(), u"FR");
    EXPECT_EQ(value()->lVal, 70);
}

// Edges of the 1 % band 0.01 * |x| >= |x - s| around each no-reading value, computed in doubles.
TEST_F(DataPointUnits, NoReadingValuesKeepTheirValueWhenTheUnitChanges) {
    std::vector<double> const inside = {-999.99, -990.09, -1010.09, -1010.0909,
                                        -99.99,  -100.0,  -99.0,    -100.999};
    for (double x : inside) {
        point = ambivox::make<CDataPoint>();
        prepare(u"C", x);
        EXPECT_EQ(set_unit(u"F"), S_OK) << x;
        EXPECT_EQ(unit(), u"F");
        EXPECT_EQ(number(), x) << x << " was converted";
    }
    // -101.0 itself falls just outside: 0.01 * 101.0 is a hair less than 101.0 - 99.99 in
    // double arithmetic.
    std::vector<double> const outside = {-990.089, -1010.091, -98.999, -98.9,
                                         -101.0,   -101.001,  -101.1,  -500.0};
    for (double x : outside) {
        point = ambivox::make<CDataPoint>();
        prepare(u"C", x);
        EXPECT_EQ(set_unit(u"F"), S_OK) << x;
        EXPECT_DOUBLE_EQ(number(), ((x + 273.15) - 273.15) * 1.8 + 32) << x << " was not converted";
    }
}

TEST_F(DataPointUnits, ANoReadingValueIsKeptButTheUnitChangeIsStillChecked) {
    // The marker is carried over unconverted, yet a change no reading could make is refused,
    // leaving unit and value as they were.
    prepare(u"K", -999.99);
    for (char16_t const* refused : {u"K", u"H", u"W", u"X", u"", u"c"}) {
        EXPECT_EQ(set_unit(refused), E_INVALIDARG) << std::u16string(refused).size();
        EXPECT_EQ(unit(), u"K");
        EXPECT_EQ(number(), -999.99);
    }
    EXPECT_EQ(set_unit(u"R"), S_OK);
    EXPECT_EQ(unit(), u"R");
    EXPECT_EQ(number(), -999.99);
}

}  // namespace
