// The readings classes driven by name, as scripts drive them: GetIDsOfNames, then Invoke.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/automation/UniqueBstr.h"
#include "platform/automation/UniqueVariant.h"
#include "readings/CDataPoint.h"
#include "readings/CProbe.h"
#include "readings/CProbeCollection.h"
#include "tests/support/LateBinding.h"
#include "tests/support/LockCountTest.h"
#include "tests/support/UniqueExcepInfo.h"

namespace {

using ambivox::bstr_view;
using ambivox::CDataPoint;
using ambivox::com_ptr;
using ambivox::CProbe;
using ambivox::CProbeCollection;
using ambivox::unique_bstr;
using ambivox::unique_variant;
using ambivox::testing::dispid_of;
using ambivox::testing::invoke;
using ambivox::testing::invoke_by_name;
using ambivox::testing::unique_excepinfo;
using Args = ambivox::testing::DispatchArgs;

class LateBinding : public ambivox::testing::LockCountTest {
protected:
    void TearDown() override {
        objects.clear();
        LockCountTest::TearDown();
    }

    // A new object of Class, kept until the test ends, as scripts see it.
    template <class Class>
    IDispatch* create() {
        com_ptr<IDispatch> object;
        EXPECT_EQ(Class::create_instance(nullptr, IDispatch::iid, object.put_void()), S_OK);
        objects.push_back(object);
        return object.get();
    }

    static HRESULT put(IDispatch* object, std::u16string_view name, unique_variant const& value) {
        return invoke_by_name(object, name, DISPATCH_PROPERTYPUT, Args::property_value(value));
    }
    static unique_variant get(IDispatch* object, std::u16string_view name) {
        unique_variant result;
        EXPECT_EQ(invoke_by_name(object, name, DISPATCH_PROPERTYGET, {}, result.put()), S_OK);
        return result;
    }
    // A member failure must arrive described, carrying the member's own code.
    static void expect_exception(HRESULT hr, unique_excepinfo const& excep, HRESULT scode) {
        EXPECT_EQ(hr, DISP_E_EXCEPTION);
        EXPECT_EQ(excep->scode, scode);
    }

    static unique_variant text(std::u16string_view value) { return unique_variant::from(value); }

    std::vector<com_ptr<IDispatch>> objects;
};

TEST_F(LateBinding, DataPointValueIsAnyVariant) {
    IDispatch* point = create<CDataPoint>();
    EXPECT_EQ(dispid_of(point, u"Value"), 1);
    EXPECT_EQ(get(point, u"Value").type(), VT_EMPTY);

    ASSERT_EQ(put(point, u"Value", unique_variant::from(21.25)), S_OK);
    unique_variant number = get(point, u"Value");
    ASSERT_EQ(number.type(), VT_R8);
    EXPECT_EQ(number->dblVal, 21.25);

    ASSERT_EQ(put(point, u"Value", text(u"n/a")), S_OK);
    unique_variant words = get(point, u"Value");
    ASSERT_EQ(words.type(), VT_BSTR);
    EXPECT_EQ(bstr_view(words->bstrVal), u"n/a");
}

TEST_F(LateBinding, DataPointUnitConvertsAndRefusalsArriveAsExceptions) {
    IDispatch* point = create<CDataPoint>();
    ASSERT_EQ(put(point, u"Value", unique_variant::from(25.0)), S_OK);
    ASSERT_EQ(put(point, u"Unit", text(u"C")), S_OK);
    ASSERT_EQ(put(point, u"Unit", text(u"F")), S_OK);
    EXPECT_EQ(bstr_view(get(point, u"Unit")->bstrVal), u"F");
    EXPECT_DOUBLE_EQ(get(point, u"Value")->dblVal, 77.0);

    unique_excepinfo excep;
    expect_exception(invoke_by_name(point, u"Unit", DISPATCH_PROPERTYPUT,
                                    Args::property_value(text(u"H")), nullptr, excep.put()),
                     excep, E_INVALIDARG);
    EXPECT_EQ(bstr_view(get(point, u"Unit")->bstrVal), u"F");
}

TEST_F(LateBinding, DataPointTimesAre64BitAndDates) {
    IDispatch* point = create<CDataPoint>();
    ASSERT_EQ(put(point, u"UTCTime", unique_variant::from(LONGLONG{5000000000})), S_OK);
    unique_variant utc = get(point, u"UTCTime");
    ASSERT_EQ(utc.type(), VT_I8);
    EXPECT_EQ(utc->llVal, 5000000000);
    EXPECT_EQ(bstr_view(get(point, u"UTCTimeAsString")->bstrVal), u"5000000000");

    // A script's text is coerced to the 64-bit parameter.
    ASSERT_EQ(put(point, u"UTCTime", text(u"6000000000")), S_OK);
    EXPECT_EQ(get(point, u"UTCTime")->llVal, 6000000000);

    ASSERT_EQ(put(point, u"UTCTimeAsString", text(u"86400")), S_OK);
    EXPECT_EQ(get(point, u"UTCTime")->llVal, 86400);
    unique_variant time = get(point, u"Time");
    EXPECT_EQ(time.type(), VT_DATE);
    // Whatever the zone, one day after the epoch is 25570 give or take the zone's offset.
    EXPECT_NEAR(time->date, 25570.0, 1.0);

    unique_excepinfo excep;
    expect_exception(invoke_by_name(point, u"UTCTimeAsString", DISPATCH_PROPERTYPUT,
                                    Args::property_value(text(u"5 ")), nullptr, excep.put()),
                     excep, E_OUTOFMEMORY);
    EXPECT_EQ(get(point, u"UTCTime")->llVal, 86400);
}

TEST_F(LateBinding, ProbeRecordsADataPointPassedByDispatch) {
    IDispatch* probe = create<CProbe>();
    IDispatch* point = create<CDataPoint>();
    ASSERT_EQ(put(probe, u"Name", text(u"Probe 1")), S_OK);
    ASSERT_EQ(put(probe, u"Number", unique_variant::from(LONG{3})), S_OK);
    EXPECT_EQ(bstr_view(get(probe, u"Name")->bstrVal), u"Probe 1");
    EXPECT_EQ(get(probe, u"Number")->iVal, 3);

    VARIANT arg{};
    arg.vt = VT_DISPATCH;
    arg.pdispVal = point;
    ASSERT_EQ(invoke_by_name(probe, u"Poll", DISPATCH_METHOD, {arg}), S_OK);
    unique_variant recorded = get(probe, u"MostRecentDataPoint");
    ASSERT_EQ(recorded.type(), VT_DISPATCH);
    EXPECT_EQ(recorded->pdispVal, point);

    unique_excepinfo excep;
    expect_exception(
        invoke_by_name(probe, u"Name", DISPATCH_PROPERTYPUT,
                       Args::property_value(text(u"seventeen letters")), nullptr, excep.put()),
        excep, E_INVALIDARG);
}

class LateBoundCollection : public LateBinding {
protected:
    void SetUp() override {
        LateBinding::SetUp();
        probes = create<CProbeCollection>();
        for (char16_t const* name : {u"one", u"two", u"three"}) {
            IDispatch* probe = create<CProbe>();
            ASSERT_EQ(put(probe, u"Name", text(name)), S_OK);
            VARIANT arg{};
            arg.vt = VT_DISPATCH;
            arg.pdispVal = probe;
            ASSERT_EQ(invoke_by_name(probes, u"Add", DISPATCH_METHOD, {arg}), S_OK);
        }
    }

    static std::u16string name_of(VARIANT const& item) {
        EXPECT_EQ(item.vt, VT_DISPATCH);
        if (item.vt != VT_DISPATCH) return {};
        return std::u16string(bstr_view(get(item.pdispVal, u"Name")->bstrVal));
    }

    IDispatch* probes = nullptr;
};

TEST_F(LateBoundCollection, ItemIsTheDefaultMember) {
    EXPECT_EQ(dispid_of(probes, u"Item"), DISPID_VALUE);
    EXPECT_EQ(get(probes, u"Count")->lVal, 3);

    unique_variant position = unique_variant::from(LONG{2});
    unique_variant item;
    ASSERT_EQ(invoke(probes, DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {position},
                     item.put()),
              S_OK);
    EXPECT_EQ(name_of(item.get()), u"two");

    unique_variant name = text(u"three");
    ASSERT_EQ(
        invoke(probes, DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {name}, item.put()),
        S_OK);
    EXPECT_EQ(name_of(item.get()), u"three");

    unique_variant number = unique_variant::from(SHORT{1});
    ASSERT_EQ(invoke_by_name(probes, u"ItemByNumber", DISPATCH_METHOD, {number}, item.put()), S_OK);
    EXPECT_EQ(name_of(item.get()), u"one");

    unique_excepinfo excep;
    unique_variant beyond = unique_variant::from(LONG{4});
    expect_exception(invoke(probes, DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {beyond},
                            item.put(), excep.put()),
                     excep, E_INVALIDARG);
    EXPECT_EQ(item.type(), VT_EMPTY);
}

TEST_F(LateBoundCollection, ForEachWalksTheNewEnum) {
    EXPECT_EQ(dispid_of(probes, u"_NewEnum"), DISPID_NEWENUM);
    unique_variant result;
    ASSERT_EQ(invoke(probes, DISPID_NEWENUM, DISPATCH_PROPERTYGET, {}, result.put()), S_OK);
    ASSERT_EQ(result.type(), VT_UNKNOWN);
    com_ptr<IEnumVARIANT> items;
    ASSERT_EQ(result->punkVal->QueryInterface(IEnumVARIANT::iid, items.put_void()), S_OK);
    result.reset();

    std::vector<std::u16string> seen;
    for (;;) {
        unique_variant item;
        ULONG fetched = 0;
        HRESULT const hr = items->Next(1, item.put(), &fetched);
        ASSERT_TRUE(hr == S_OK || hr == S_FALSE);
        if (hr == S_FALSE) {
            EXPECT_EQ(fetched, 0u);
            break;
        }
        seen.push_back(name_of(item.get()));
    }
    EXPECT_EQ(seen, (std::vector<std::u16string>{u"one", u"two", u"three"}));
}

TEST_F(LateBoundCollection, RemoveAndClearByName) {
    unique_variant name = text(u"two");
    ASSERT_EQ(invoke_by_name(probes, u"Remove", DISPATCH_METHOD, {name}), S_OK);
    EXPECT_EQ(get(probes, u"Count")->lVal, 2);

    unique_excepinfo excep;
    expect_exception(
        invoke_by_name(probes, u"Remove", DISPATCH_METHOD, {name}, nullptr, excep.put()), excep,
        E_INVALIDARG);
    ASSERT_EQ(invoke_by_name(probes, u"Clear", DISPATCH_METHOD), S_OK);
    EXPECT_EQ(get(probes, u"Count")->lVal, 0);
}

}  // namespace
