// The readings classes driven by name, as scripts drive them: GetIDsOfNames, then Invoke.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "platform/automation/UniqueBstr.h"
#include "platform/automation/UniqueVariant.h"
#include "readings/CDataPoint.h"
#include "readings/CProbe.h"
#include "readings/CProbeCollection.h"
#include "tests/support/LockCountTest.h"

namespace {

using ambivox::bstr_view;
using ambivox::CDataPoint;
using ambivox::com_ptr;
using ambivox::CProbe;
using ambivox::CProbeCollection;
using ambivox::unique_bstr;
using ambivox::unique_variant;

// The arguments of one call in rgvarg order (last parameter first), copied and owned.
class Args {
public:
    Args(std::initializer_list<VARIANT const*> rgvarg = {}, bool propertyPut = false)
        : m_args(rgvarg.size()) {
        std::size_t i = 0;
        for (VARIANT const* arg : rgvarg)
            EXPECT_EQ(VariantCopy(&m_args[i++], arg), S_OK);
        m_params.rgvarg = m_args.empty() ? nullptr : m_args.data();
        m_params.cArgs = static_cast<UINT>(m_args.size());
        if (propertyPut) {
            m_params.rgdispidNamedArgs = &m_putId;
            m_params.cNamedArgs = 1;
        }
    }
    Args(Args const&) = delete;
    ~Args() {
        for (VARIANT& arg : m_args)
            VariantClear(&arg);
    }
    DISPPARAMS* get() noexcept { return &m_params; }

private:
    std::vector<VARIANT> m_args;  // value-initialised: VT_EMPTY
    DISPID m_putId = DISPID_PROPERTYPUT;
    DISPPARAMS m_params{};
};

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

    static DISPID id_of(IDispatch* object, std::u16string name) {
        LPOLESTR raw = name.data();
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(object->GetIDsOfNames(IID_NULL, &raw, 1, 0, &id), S_OK)
            << std::string(name.begin(), name.end());
        return id;
    }
    static HRESULT invoke(IDispatch* object, DISPID member, WORD flags, Args&& args,
                          VARIANT* result = nullptr, EXCEPINFO* excep = nullptr) {
        return object->Invoke(member, IID_NULL, 0, flags, args.get(), result, excep, nullptr);
    }
    static HRESULT put(IDispatch* object, std::u16string name, unique_variant const& value) {
        return invoke(object, id_of(object, std::move(name)), DISPATCH_PROPERTYPUT,
                      Args({&value.get()}, true));
    }
    static unique_variant get(IDispatch* object, std::u16string name) {
        unique_variant result;
        EXPECT_EQ(invoke(object, id_of(object, std::move(name)), DISPATCH_PROPERTYGET, Args(),
                         result.put()),
                  S_OK);
        return result;
    }
    // A member failure must arrive described, carrying the member's own code.
    static void expect_exception(HRESULT hr, EXCEPINFO& excep, HRESULT scode) {
        EXPECT_EQ(hr, DISP_E_EXCEPTION);
        EXPECT_EQ(excep.scode, scode);
        SysFreeString(excep.bstrSource);
        SysFreeString(excep.bstrDescription);
        SysFreeString(excep.bstrHelpFile);
        excep = EXCEPINFO{};
    }

    static unique_variant text(std::u16string_view value) { return unique_variant::from(value); }

    std::vector<com_ptr<IDispatch>> objects;
};

TEST_F(LateBinding, DataPointValueIsAnyVariant) {
    IDispatch* point = create<CDataPoint>();
    EXPECT_EQ(id_of(point, u"Value"), 1);
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

    EXCEPINFO excep{};
    unique_variant unit = text(u"H");
    expect_exception(invoke(point, id_of(point, u"Unit"), DISPATCH_PROPERTYPUT,
                            Args({&unit.get()}, true), nullptr, &excep),
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

    EXCEPINFO excep{};
    unique_variant bad = text(u"5 ");
    expect_exception(invoke(point, id_of(point, u"UTCTimeAsString"), DISPATCH_PROPERTYPUT,
                            Args({&bad.get()}, true), nullptr, &excep),
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
    ASSERT_EQ(invoke(probe, id_of(probe, u"Poll"), DISPATCH_METHOD, Args({&arg})), S_OK);
    unique_variant recorded = get(probe, u"MostRecentDataPoint");
    ASSERT_EQ(recorded.type(), VT_DISPATCH);
    EXPECT_EQ(recorded->pdispVal, point);

    EXCEPINFO excep{};
    unique_variant tooLong = text(u"seventeen letters");
    expect_exception(invoke(probe, id_of(probe, u"Name"), DISPATCH_PROPERTYPUT,
                            Args({&tooLong.get()}, true), nullptr, &excep),
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
            ASSERT_EQ(invoke(probes, id_of(probes, u"Add"), DISPATCH_METHOD, Args({&arg})), S_OK);
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
    EXPECT_EQ(id_of(probes, u"Item"), DISPID_VALUE);
    EXPECT_EQ(get(probes, u"Count")->lVal, 3);

    unique_variant position = unique_variant::from(LONG{2});
    unique_variant item;
    ASSERT_EQ(invoke(probes, DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                     Args({&position.get()}), item.put()),
              S_OK);
    EXPECT_EQ(name_of(item.get()), u"two");

    unique_variant name = text(u"three");
    ASSERT_EQ(invoke(probes, DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                     Args({&name.get()}), item.put()),
              S_OK);
    EXPECT_EQ(name_of(item.get()), u"three");

    unique_variant number = unique_variant::from(SHORT{1});
    ASSERT_EQ(invoke(probes, id_of(probes, u"ItemByNumber"), DISPATCH_METHOD, Args({&number.get()}),
                     item.put()),
              S_OK);
    EXPECT_EQ(name_of(item.get()), u"one");

    EXCEPINFO excep{};
    unique_variant beyond = unique_variant::from(LONG{4});
    expect_exception(invoke(probes, DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                            Args({&beyond.get()}), item.put(), &excep),
                     excep, E_INVALIDARG);
    EXPECT_EQ(item.type(), VT_EMPTY);
}

TEST_F(LateBoundCollection, ForEachWalksTheNewEnum) {
    EXPECT_EQ(id_of(probes, u"_NewEnum"), DISPID_NEWENUM);
    unique_variant result;
    ASSERT_EQ(invoke(probes, DISPID_NEWENUM, DISPATCH_PROPERTYGET, Args(), result.put()), S_OK);
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
    ASSERT_EQ(invoke(probes, id_of(probes, u"Remove"), DISPATCH_METHOD, Args({&name.get()})), S_OK);
    EXPECT_EQ(get(probes, u"Count")->lVal, 2);

    EXCEPINFO excep{};
    expect_exception(invoke(probes, id_of(probes, u"Remove"), DISPATCH_METHOD, Args({&name.get()}),
                            nullptr, &excep),
                     excep, E_INVALIDARG);
    ASSERT_EQ(invoke(probes, id_of(probes, u"Clear"), DISPATCH_METHOD, Args()), S_OK);
    EXPECT_EQ(get(probes, u"Count")->lVal, 0);
}

}  // namespace
