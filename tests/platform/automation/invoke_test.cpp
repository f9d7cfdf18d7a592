#include <gtest/gtest.h>

#include <string>

#include "platform/automation/Bstr.h"
#include "platform/automation/ErrorInfo.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/automation/UniqueVariant.h"
#include "tests/support/LateBinding.h"
#include "tests/support/LockCountTest.h"
#include "tests/support/RefCount.h"
#include "tests/support/TestWidget.h"
#include "tests/support/UniqueExcepInfo.h"

namespace {

using ambivox::com_ptr;
using ambivox::unique_bstr;
using ambivox::unique_variant;
using ambivox::testing::CTestWidget;
using ambivox::testing::ref_count;
using ambivox::testing::unique_excepinfo;
using Args = ambivox::testing::DispatchArgs;
namespace id = test_widget_dispid;

VARIANT i2(SHORT value) {
    VARIANT v{};
    v.vt = VT_I2;
    v.iVal = value;
    return v;
}
VARIANT i4(LONG value) {
    VARIANT v{};
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}
VARIANT i8(LONGLONG value) {
    VARIANT v{};
    v.vt = VT_I8;
    v.llVal = value;
    return v;
}
VARIANT r8(double value) {
    VARIANT v{};
    v.vt = VT_R8;
    v.dblVal = value;
    return v;
}
VARIANT date(DATE value) {
    VARIANT v{};
    v.vt = VT_DATE;
    v.date = value;
    return v;
}
unique_variant str(char16_t const* text) {
    return unique_variant::from(std::u16string_view(text));
}
unique_variant object(IDispatch* value) {
    VARIANT v{};
    v.vt = VT_DISPATCH;
    v.pdispVal = value;
    if (value != nullptr) value->AddRef();
    return unique_variant::attach(v);
}
VARIANT byref_i4(LONG* target) {
    VARIANT v{};
    v.vt = VT_BYREF | VT_I4;
    v.plVal = target;
    return v;
}
VARIANT byref_variant(VARIANT* target) {
    VARIANT v{};
    v.vt = VT_BYREF | VT_VARIANT;
    v.pvarVal = target;
    return v;
}
// What a script passes for an argument it leaves out.
VARIANT missing() {
    VARIANT v{};
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

class InvokeTest : public ambivox::testing::LockCountTest {
protected:
    void SetUp() override {
        LockCountTest::SetUp();
        widget = ambivox::make<CTestWidget>();
        disp = ambivox::com_copy(static_cast<IDispatch*>(widget.get()));
    }
    void TearDown() override {
        disp = nullptr;
        widget = nullptr;
        LockCountTest::TearDown();
    }

    HRESULT invoke(DISPID member, WORD flags, Args args, VARIANT* result = nullptr,
                   EXCEPINFO* excep = nullptr, UINT* argErr = nullptr) {
        return ambivox::testing::invoke(disp.get(), member, flags, std::move(args), result, excep,
                                        argErr);
    }
    HRESULT put(DISPID member, Args::value value, UINT* argErr = nullptr) {
        return invoke(member, DISPATCH_PROPERTYPUT, Args::property_value(value), nullptr, nullptr,
                      argErr);
    }
    unique_variant get(DISPID member) {
        unique_variant result;
        EXPECT_EQ(invoke(member, DISPATCH_PROPERTYGET, Args{}, result.put()), S_OK);
        return result;
    }

    CTestWidget::fields& state() { return widget->state(); }

    com_ptr<CTestWidget> widget;
    com_ptr<IDispatch> disp;
};

TEST_F(InvokeTest, TypeInfoOfTheObject) {
    UINT count = 0;
    EXPECT_EQ(disp->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(disp->GetTypeInfoCount(nullptr), E_POINTER);

    com_ptr<ITypeInfo> info;
    ASSERT_EQ(disp->GetTypeInfo(0, 0, info.put()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, ITestWidget::iid);
    info->ReleaseTypeAttr(attr);
    EXPECT_EQ(disp->GetTypeInfo(1, 0, info.put()), DISP_E_BADINDEX);
    EXPECT_FALSE(info);
    EXPECT_EQ(disp->GetTypeInfo(0, 0, nullptr), E_POINTER);
}

TEST_F(InvokeTest, NamesMapToDispidsAndParameterPositions) {
    std::u16string names[] = {u"describe", u"WEIGHT", u"Name"};
    LPOLESTR raw[] = {names[0].data(), names[1].data(), names[2].data()};
    DISPID ids[3] = {};
    ASSERT_EQ(disp->GetIDsOfNames(IID_NULL, raw, 3, 0, ids), S_OK);
    EXPECT_EQ(ids[0], id::Describe);
    EXPECT_EQ(ids[1], 2);
    EXPECT_EQ(ids[2], 0);

    auto one = [&](std::u16string name) {
        LPOLESTR text = name.data();
        DISPID found = 1234;
        EXPECT_EQ(disp->GetIDsOfNames(IID_NULL, &text, 1, 0, &found), S_OK);
        return found;
    };
    EXPECT_EQ(one(u"ITEM"), DISPID_VALUE);
    EXPECT_EQ(one(u"_newenum"), DISPID_NEWENUM);
    EXPECT_EQ(one(u"lAbEl"), id::Label);

    std::u16string unknown = u"Describ";
    LPOLESTR unknownName = unknown.data();
    ids[0] = 1234;
    EXPECT_EQ(disp->GetIDsOfNames(IID_NULL, &unknownName, 1, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);

    std::u16string mixed[] = {u"Describe", u"bogus", u"size"};
    LPOLESTR mixedRaw[] = {mixed[0].data(), mixed[1].data(), mixed[2].data()};
    EXPECT_EQ(disp->GetIDsOfNames(IID_NULL, mixedRaw, 3, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], id::Describe);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
    EXPECT_EQ(ids[2], 1);

    EXPECT_EQ(disp->GetIDsOfNames(ITestWidget::iid, raw, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);
}

TEST_F(InvokeTest, PropertiesOfEachTypeRoundTrip) {
    ASSERT_EQ(put(id::Label, str(u"hello")), S_OK);
    EXPECT_EQ(state().label, u"hello");
    unique_variant label = get(id::Label);
    ASSERT_EQ(label.type(), VT_BSTR);
    EXPECT_EQ(ambivox::bstr_view(label->bstrVal), u"hello");

    ASSERT_EQ(put(id::Small, i2(-12)), S_OK);
    unique_variant small = get(id::Small);
    ASSERT_EQ(small.type(), VT_I2);
    EXPECT_EQ(small->iVal, -12);

    ASSERT_EQ(put(id::Count, i4(100000)), S_OK);
    unique_variant count = get(id::Count);
    ASSERT_EQ(count.type(), VT_I4);
    EXPECT_EQ(count->lVal, 100000);

    LONGLONG const big = (1LL << 40) + 3;
    ASSERT_EQ(put(id::Stamp, i8(big)), S_OK);
    EXPECT_EQ(state().stamp, big);
    unique_variant stamp = get(id::Stamp);
    ASSERT_EQ(stamp.type(), VT_I8);
    EXPECT_EQ(stamp->llVal, big);

    ASSERT_EQ(put(id::Payload, str(u"anything")), S_OK);
    unique_variant payload = get(id::Payload);
    ASSERT_EQ(payload.type(), VT_BSTR);
    EXPECT_EQ(ambivox::bstr_view(payload->bstrVal), u"anything");
}

// A C++ double declared as DATE must come back to scripts as a date, not as a plain number.
TEST_F(InvokeTest, DatePropertyKeepsItsDeclaredType) {
    ASSERT_EQ(put(id::When, date(45000.25)), S_OK);
    EXPECT_DOUBLE_EQ(state().when, 45000.25);
    unique_variant when = get(id::When);
    ASSERT_EQ(when.type(), VT_DATE);
    EXPECT_DOUBLE_EQ(when->date, 45000.25);

    // Text given for a date is read as a date, as scripts expect.
    ASSERT_EQ(put(id::When, str(u"2000-01-02 12:00:00")), S_OK);
    EXPECT_DOUBLE_EQ(state().when, 36527.5);
    ASSERT_EQ(put(id::When, r8(2.5)), S_OK);
    EXPECT_DOUBLE_EQ(state().when, 2.5);

    UINT argErr = 99;
    EXPECT_EQ(put(id::When, str(u"no date"), &argErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(invoke(id::When, DISPATCH_PROPERTYPUT, Args::property_value(missing())),
              DISP_E_PARAMNOTOPTIONAL);
    EXPECT_DOUBLE_EQ(state().when, 2.5);
}

TEST_F(InvokeTest, MethodArgumentsArriveInReverseOrder) {
    unique_variant result;
    // Written name, size, weight; rgvarg holds weight first.
    ASSERT_EQ(invoke(id::Describe, DISPATCH_METHOD, Args{str(u"box"), i2(2), i4(30)}, result.put()),
              S_OK);
    ASSERT_EQ(result.type(), VT_BSTR);
    EXPECT_EQ(ambivox::bstr_view(result->bstrVal), u"box/2/30");
    EXPECT_EQ(state().described_name, u"box");
    EXPECT_EQ(state().described_size, 2);
    EXPECT_EQ(state().described_weight, 30);
}

TEST_F(InvokeTest, NamedArgumentsGoToTheirParameters) {
    unique_variant result;
    // All named, in no particular order.
    ASSERT_EQ(invoke(id::Describe, DISPATCH_METHOD,
                     Args{}.named(1, i2(4)).named(0, str(u"n")).named(2, i4(9)), result.put()),
              S_OK);
    EXPECT_EQ(ambivox::bstr_view(result->bstrVal), u"n/4/9");

    // Named ones come first in rgvarg; the positional ones follow, last parameter first.
    ASSERT_EQ(
        invoke(id::Describe, DISPATCH_METHOD, Args{str(u"m"), i2(5)}.named(2, i4(7)), result.put()),
        S_OK);
    EXPECT_EQ(ambivox::bstr_view(result->bstrVal), u"m/5/7");

    UINT argErr = 99;
    EXPECT_EQ(invoke(id::Describe, DISPATCH_METHOD, Args{str(u"m")}.named(7, i4(7)).named(1, i2(5)),
                     result.put(), nullptr, &argErr),
              DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(argErr, 1u);
    // Naming a parameter that a positional argument already fills.
    EXPECT_EQ(invoke(id::Describe, DISPATCH_METHOD, Args{str(u"m"), i2(5)}.named(0, str(u"x")),
                     result.put(), nullptr, &argErr),
              DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(argErr, 0u);
}

TEST_F(InvokeTest, ArgumentsAreCoercedToTheParameterType) {
    ASSERT_EQ(put(id::Small, str(u"5")), S_OK);
    EXPECT_EQ(state().small, 5);

    ASSERT_EQ(put(id::Count, r8(2.6)), S_OK);
    EXPECT_EQ(state().count, 3);

    LONG byref = 12;
    ASSERT_EQ(put(id::Small, byref_i4(&byref)), S_OK);
    EXPECT_EQ(state().small, 12);

    VARIANT inner = i4(77);
    ASSERT_EQ(put(id::Count, byref_variant(&inner)), S_OK);
    EXPECT_EQ(state().count, 77);

    unique_variant text = str(u"by reference");
    ASSERT_EQ(put(id::Label, byref_variant(text.data())), S_OK);
    EXPECT_EQ(state().label, u"by reference");

    ASSERT_EQ(put(id::Label, i4(42)), S_OK);
    EXPECT_EQ(state().label, u"42");

    // A VARIANT parameter receives the value behind the reference, not the reference.
    ASSERT_EQ(put(id::Payload, byref_variant(&inner)), S_OK);
    ASSERT_EQ(state().payload.type(), VT_I4);
    EXPECT_EQ(state().payload->lVal, 77);
}

// argErr counts in rgvarg, where the last argument written is the first.
TEST_F(InvokeTest, UnusableArgumentsAreNamedByTheirRgvargIndex) {
    int const callsBefore = state().calls;
    UINT argErr = 99;
    unique_variant result;
    EXPECT_EQ(invoke(id::Describe, DISPATCH_METHOD, Args{str(u"box"), str(u"abc"), i4(1)},
                     result.put(), nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u);
    EXPECT_EQ(result.type(), VT_EMPTY);

    EXPECT_EQ(invoke(id::Describe, DISPATCH_METHOD, Args{str(u"box"), i2(1), str(u"heavy")},
                     result.put(), nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);

    EXPECT_EQ(invoke(id::Describe, DISPATCH_METHOD, Args{str(u"box"), i4(70000), i4(1)},
                     result.put(), nullptr, &argErr),
              DISP_E_OVERFLOW);
    EXPECT_EQ(argErr, 1u);

    argErr = 99;
    EXPECT_EQ(put(id::Small, i4(70000), &argErr), DISP_E_OVERFLOW);
    EXPECT_EQ(argErr, 0u);

    EXPECT_EQ(invoke(id::Describe, DISPATCH_METHOD, Args{missing(), i2(1), i4(1)}, result.put()),
              DISP_E_PARAMNOTOPTIONAL);
    EXPECT_EQ(state().calls, callsBefore);  // the member never ran
}

// A null reference names no value and no place for one, whatever its kind, in or out.
TEST_F(InvokeTest, NullReferencesAreInvalidArguments) {
    struct {
        DISPID member;
        VARTYPE vt;
    } const cases[] = {{id::Label, VT_BSTR},      {id::Small, VT_I2},
                       {id::Count, VT_I4},        {id::Stamp, VT_I8},
                       {id::When, VT_DATE},       {id::Payload, VT_VARIANT},
                       {id::Attach, VT_DISPATCH}, {id::Attach, VT_UNKNOWN}};
    for (auto const& c : cases) {
        VARIANT null_reference{};
        null_reference.vt = static_cast<VARTYPE>(VT_BYREF | c.vt);
        UINT argErr = 99;
        HRESULT const hr = c.member == id::Attach
                               ? invoke(id::Attach, DISPATCH_METHOD, Args{null_reference}, nullptr,
                                        nullptr, &argErr)
                               : put(c.member, null_reference, &argErr);
        EXPECT_EQ(hr, E_INVALIDARG) << "VT_BYREF|" << c.vt;
        EXPECT_EQ(argErr, 0u) << "VT_BYREF|" << c.vt;
    }
    VARIANT null_out{};
    null_out.vt = VT_BYREF | VT_I4;
    LONG high = 0;
    EXPECT_EQ(invoke(id::Bounds, DISPATCH_METHOD, Args{null_out, byref_i4(&high)}), E_INVALIDARG);
}

TEST_F(InvokeTest, WrongArgumentCountsAndUnknownMembers) {
    unique_variant result;
    EXPECT_EQ(invoke(id::Describe, DISPATCH_METHOD, Args{i2(1), i4(1)}, result.put()),
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(invoke(id::Describe, DISPATCH_METHOD, Args{str(u"b"), str(u"a"), i2(1), i4(1)},
                     result.put()),
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(invoke(id::Label, DISPATCH_PROPERTYGET, Args{i4(1)}, result.put()),
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(invoke(id::Label, DISPATCH_PROPERTYPUT, Args{}), DISP_E_BADPARAMCOUNT);

    EXPECT_EQ(invoke(4242, DISPATCH_METHOD, Args{}, result.put()), DISP_E_MEMBERNOTFOUND);
    // Slot has no setter, Describe is no property.
    EXPECT_EQ(invoke(id::Slot, DISPATCH_PROPERTYPUT, Args{i2(2)}.named(DISPID_PROPERTYPUT, i2(1))),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(put(id::Describe, str(u"x")), DISP_E_MEMBERNOTFOUND);

    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(disp->Invoke(id::Label, ITestWidget::iid, 0, DISPATCH_PROPERTYGET, &none,
                           result.put(), nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
}

TEST_F(InvokeTest, AFailingMemberIsReportedAsAnException) {
    state().count = 5;
    unique_excepinfo excep;
    EXPECT_EQ(
        invoke(id::Count, DISPATCH_PROPERTYPUT, Args::property_value(i4(-1)), nullptr, excep.put()),
        DISP_E_EXCEPTION);
    EXPECT_EQ(excep->scode, E_INVALIDARG);
    EXPECT_NE(excep->bstrSource, nullptr);
    EXPECT_EQ(state().count, 5);

    // Without a place for the exception the member's own code comes back.
    EXPECT_EQ(put(id::Count, i4(-1)), E_INVALIDARG);

    unique_variant result;
    EXPECT_EQ(invoke(id::Slot, DISPATCH_PROPERTYGET, Args{i2(9)}, result.put(), excep.put()),
              DISP_E_EXCEPTION);
    EXPECT_EQ(excep->scode, E_INVALIDARG);
    EXPECT_EQ(result.type(), VT_EMPTY);

    ASSERT_EQ(invoke(id::Slot, DISPATCH_PROPERTYGET, Args{i2(3)}, result.put()), S_OK);
    EXPECT_EQ(ambivox::bstr_view(result->bstrVal), u"slot 3");
}

TEST_F(InvokeTest, AFailingMembersErrorObjectFillsTheException) {
    unique_excepinfo excep;
    unique_variant result;
    com_ptr<IErrorInfo> left;
    EXPECT_EQ(invoke(id::Slot, DISPATCH_PROPERTYGET, Args{i2(9)}, result.put(), excep.put()),
              DISP_E_EXCEPTION);
    EXPECT_EQ(excep->scode, E_INVALIDARG);
    EXPECT_EQ(ambivox::bstr_view(excep->bstrSource), u"TestWidget.Slot");
    EXPECT_EQ(ambivox::bstr_view(excep->bstrDescription), u"the index is not in 1..4");
    EXPECT_EQ(GetErrorInfo(0, left.put()), S_FALSE);

    // Without a place for the exception the object stays for the caller.
    EXPECT_EQ(invoke(id::Slot, DISPATCH_PROPERTYGET, Args{i2(9)}, result.put()), E_INVALIDARG);
    EXPECT_EQ(GetErrorInfo(0, left.put()), S_OK);

    // A member failing without one is not described by an earlier failure.
    ASSERT_EQ(SetErrorInfo(0, left.get()), S_OK);
    EXPECT_EQ(
        invoke(id::Count, DISPATCH_PROPERTYPUT, Args::property_value(i4(-1)), nullptr, excep.put()),
        DISP_E_EXCEPTION);
    EXPECT_EQ(ambivox::bstr_view(excep->bstrSource), u"ITestWidget");
    EXPECT_NE(ambivox::bstr_view(excep->bstrDescription), u"the index is not in 1..4");
}

// A caller that does not want the result must not be left holding it: strings and references
// are freed (ASan and the module's lock count tell if not).
TEST_F(InvokeTest, ResultIsDroppedWithoutAPlaceForIt) {
    state().label = u"a string to be dropped";
    EXPECT_EQ(invoke(id::Label, DISPATCH_PROPERTYGET, Args{}), S_OK);
    EXPECT_EQ(invoke(id::Describe, DISPATCH_METHOD, Args{str(u"x"), i2(2), i4(1)}), S_OK);
    EXPECT_EQ(invoke(id::NewEnum, DISPATCH_PROPERTYGET, Args{}), S_OK);

    auto other = ambivox::make<CTestWidget>();
    ASSERT_EQ(invoke(id::Attach, DISPATCH_METHOD, Args{object(other.get())}), S_OK);
    ULONG const refs = ref_count(static_cast<IDispatch*>(other.get()));
    EXPECT_EQ(invoke(id::Attached, DISPATCH_METHOD, Args{}), S_OK);
    EXPECT_EQ(invoke(DISPID_VALUE, DISPATCH_METHOD, Args{i4(1)}), S_OK);
    EXPECT_EQ(ref_count(static_cast<IDispatch*>(other.get())), refs);
    state().attached = nullptr;
}

TEST_F(InvokeTest, OutParametersAreWrittenThroughTheCallersReferences) {
    state().small = 3;
    state().count = 8;
    LONG low = 50;
    LONG high = 60;
    ASSERT_EQ(invoke(id::Bounds, DISPATCH_METHOD, Args{byref_i4(&low), byref_i4(&high)}), S_OK);
    EXPECT_EQ(low, 3);
    EXPECT_EQ(high, 8);
    EXPECT_EQ(state().incoming_low, 50);  // the member saw what was passed in
    EXPECT_EQ(state().incoming_high, 60);

    // Scripts pass their variables as references to variants, which take the typed value.
    unique_variant lowVar = str(u"replaced");
    unique_variant highVar;
    ASSERT_EQ(invoke(id::Bounds, DISPATCH_METHOD,
                     Args{byref_variant(lowVar.data()), byref_variant(highVar.data())}),
              S_OK);
    ASSERT_EQ(lowVar.type(), VT_I4);
    EXPECT_EQ(lowVar->lVal, 3);
    ASSERT_EQ(highVar.type(), VT_I4);
    EXPECT_EQ(highVar->lVal, 8);

    // An out-parameter needs somewhere to write.
    UINT argErr = 99;
    SHORT wrongType = 0;
    VARIANT shortRef{};
    shortRef.vt = VT_BYREF | VT_I2;
    shortRef.piVal = &wrongType;
    EXPECT_EQ(invoke(id::Bounds, DISPATCH_METHOD, Args{byref_i4(&low), shortRef}, nullptr, nullptr,
                     &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(invoke(id::Bounds, DISPATCH_METHOD, Args{i4(1), byref_i4(&high)}, nullptr, nullptr,
                     &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u);
}

TEST_F(InvokeTest, InterfaceArgumentsAndResults) {
    auto other = ambivox::make<CTestWidget>();
    IDispatch* const otherDisp = static_cast<IDispatch*>(other.get());
    ASSERT_EQ(invoke(id::Attach, DISPATCH_METHOD, Args{object(otherDisp)}), S_OK);
    EXPECT_EQ(state().attached.get(), otherDisp);

    unique_variant result;
    ASSERT_EQ(invoke(id::Attached, DISPATCH_METHOD, Args{}, result.put()), S_OK);
    ASSERT_EQ(result.type(), VT_DISPATCH);
    EXPECT_EQ(result->pdispVal, otherDisp);
    result.reset();

    UINT argErr = 99;
    EXPECT_EQ(invoke(id::Attach, DISPATCH_METHOD, Args{i4(3)}, nullptr, nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(state().attached.get(), otherDisp);

    VARIANT nothing{};
    ASSERT_EQ(invoke(id::Attach, DISPATCH_METHOD, Args{nothing}), S_OK);
    EXPECT_FALSE(state().attached);
    ASSERT_EQ(invoke(id::Attached, DISPATCH_METHOD, Args{}, result.put()), S_OK);
    EXPECT_EQ(result.type(), VT_DISPATCH);
    EXPECT_EQ(result->pdispVal, nullptr);
}

TEST_F(InvokeTest, DefaultMemberAndEnumerator) {
    unique_variant result;
    ASSERT_EQ(
        invoke(DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, Args{i4(2)}, result.put()),
        S_OK);
    ASSERT_EQ(result.type(), VT_DISPATCH);
    EXPECT_EQ(result->pdispVal, disp.get());
    ASSERT_EQ(state().item_index.type(), VT_I4);
    EXPECT_EQ(state().item_index->lVal, 2);
    result.reset();

    // As a property, the way an indexing expression reaches it.
    ASSERT_EQ(invoke(DISPID_VALUE, DISPATCH_PROPERTYGET, Args{str(u"key")}, result.put()), S_OK);
    EXPECT_EQ(state().item_index.type(), VT_BSTR);
    result.reset();

    state().label = u"first";
    state().small = 2;
    ASSERT_EQ(invoke(DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, Args{}, result.put()),
              S_OK);
    ASSERT_EQ(result.type(), VT_UNKNOWN);
    com_ptr<IEnumVARIANT> items;
    ASSERT_EQ(result->punkVal->QueryInterface(IID_IEnumVARIANT, items.put_void()), S_OK);
    VARIANT fetched[3];
    ULONG count = 0;
    EXPECT_EQ(items->Next(3, fetched, &count), S_FALSE);
    ASSERT_EQ(count, 2u);
    unique_variant first = unique_variant::attach(fetched[0]);
    unique_variant second = unique_variant::attach(fetched[1]);
    ASSERT_EQ(first.type(), VT_BSTR);
    EXPECT_EQ(ambivox::bstr_view(first->bstrVal), u"first");
    ASSERT_EQ(second.type(), VT_I2);
    EXPECT_EQ(second->iVal, 2);
}

TEST_F(InvokeTest, PropertyGetterAnswersAMethodCall) {
    state().label = u"called";
    unique_variant result;
    ASSERT_EQ(invoke(id::Label, DISPATCH_METHOD, Args{}, result.put()), S_OK);
    ASSERT_EQ(result.type(), VT_BSTR);
    EXPECT_EQ(ambivox::bstr_view(result->bstrVal), u"called");
}

}  // namespace
