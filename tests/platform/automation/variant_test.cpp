#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>

#include "platform/automation/Bstr.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/Variant.h"
#include "tests/support/CountingDispatch.h"
#include "tests/support/CountingUnknown.h"

using ambivox::test::CountingDispatch;
using ambivox::test::CountingUnknown;

namespace {

// Owns a variant for the length of a test, so leaks show up under ASan.
struct Var {
    VARIANT v;
    Var() { VariantInit(&v); }
    ~Var() { VariantClear(&v); }
    Var(Var const&) = delete;
    Var& operator=(Var const&) = delete;
    VARIANT* operator&() { return &v; }
    VARIANT* operator->() { return &v; }
};

void set_bstr(Var& var, std::u16string_view text) {
    VariantClear(&var.v);
    var->vt = VT_BSTR;
    var->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

std::u16string text_of(VARIANT const& v) {
    return std::u16string(v.bstrVal, SysStringLen(v.bstrVal));
}

// Converts a copy of src to vt; answers the HRESULT and leaves the result in out.
HRESULT change(Var& out, VARIANT const& src, VARTYPE vt, USHORT flags = 0) {
    return VariantChangeType(&out.v, &src, flags, vt);
}

VARIANT i4(LONG value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

VARIANT r8(double value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = value;
    return v;
}

VARIANT of_type(VARTYPE vt, LONGLONG bits = 0) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.llVal = bits;
    return v;
}

// Converts text to vt; answers the HRESULT.
HRESULT from_text(Var& out, std::u16string_view text, VARTYPE vt) {
    Var src;
    set_bstr(src, text);
    return change(out, src.v, vt);
}

// Converts src to text; answers the text, or "#<hr>" on failure.
std::u16string to_text(VARIANT const& src, USHORT flags = 0) {
    Var out;
    HRESULT const hr = change(out, src, VT_BSTR, flags);
    if (FAILED(hr)) return u"#failed";
    return text_of(out.v);
}

}  // namespace

TEST(VariantClear, FreesOwnedValuesAndLeavesEmpty) {
    CountingUnknown unk;
    CountingDispatch disp;
    Var s;
    set_bstr(s, u"owned");
    EXPECT_EQ(VariantClear(&s), S_OK);
    EXPECT_EQ(s->vt, VT_EMPTY);

    VARIANT u = of_type(VT_UNKNOWN);
    unk.AddRef();
    u.punkVal = &unk;
    EXPECT_EQ(VariantClear(&u), S_OK);
    EXPECT_EQ(unk.refs(), 1u);

    VARIANT d = of_type(VT_DISPATCH);
    disp.AddRef();
    d.pdispVal = &disp;
    EXPECT_EQ(VariantClear(&d), S_OK);
    EXPECT_EQ(disp.refs(), 1u);

    // Null interfaces and plain scalars clear without touching anything.
    for (VARTYPE vt : {VT_DISPATCH, VT_UNKNOWN, VT_NULL, VT_I1, VT_UI8, VT_R8, VT_DATE, VT_BOOL,
                       VT_ERROR, VT_INT, VT_UINT}) {
        VARIANT v = of_type(vt);
        EXPECT_EQ(VariantClear(&v), S_OK) << vt;
        EXPECT_EQ(v.vt, VT_EMPTY) << vt;
    }
}

TEST(VariantClear, ByReferenceVariantsOwnNothing) {
    BSTR text = SysAllocString(u"still mine");
    CountingUnknown unk;
    IUnknown* unkPtr = &unk;
    VARIANT inner = i4(5);

    VARIANT refs[3] = {of_type(VT_BYREF | VT_BSTR), of_type(VT_BYREF | VT_UNKNOWN),
                       of_type(VT_BYREF | VT_VARIANT)};
    refs[0].pbstrVal = &text;
    refs[1].ppunkVal = &unkPtr;
    refs[2].pvarVal = &inner;
    for (VARIANT& v : refs) {
        EXPECT_EQ(VariantClear(&v), S_OK);
        EXPECT_EQ(v.vt, VT_EMPTY);
    }
    EXPECT_EQ(std::u16string(text), u"still mine");
    EXPECT_EQ(unk.refs(), 1u);
    EXPECT_EQ(inner.vt, VT_I4);
    SysFreeString(text);
}

TEST(VariantClear, RejectsUnknownTypesWithoutTouchingThem) {
    for (VARTYPE vt : {VARTYPE(VT_CY), VARTYPE(VT_DECIMAL), VARTYPE(VT_ARRAY | VT_I4),
                       VARTYPE(VT_VARIANT), VARTYPE(VT_BYREF | VT_EMPTY), VARTYPE(15),
                       VARTYPE(VT_LPSTR), VARTYPE(VT_BYREF | VT_CY)}) {
        VARIANT v = of_type(vt, 1234);
        EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE) << vt;
        EXPECT_EQ(v.vt, vt);
        EXPECT_EQ(v.llVal, 1234);
    }
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST(VariantCopy, DuplicatesStringsByteForByte) {
    char16_t const withNulls[] = {u'a', 0, u'b', 0};
    Var src, dest;
    set_bstr(src, std::u16string_view(withNulls, 4));
    ASSERT_EQ(VariantCopy(&dest, &src.v), S_OK);
    ASSERT_EQ(dest->vt, VT_BSTR);
    EXPECT_NE(dest->bstrVal, src->bstrVal);
    EXPECT_EQ(SysStringLen(dest->bstrVal), 4u);
    EXPECT_EQ(std::memcmp(dest->bstrVal, withNulls, sizeof withNulls), 0);

    // An odd byte length is kept, not rounded to whole code units.
    VariantClear(&src);
    src->vt = VT_BSTR;
    src->bstrVal = SysAllocStringByteLen("abcde", 5);
    ASSERT_EQ(VariantCopy(&dest, &src.v), S_OK);
    EXPECT_EQ(SysStringByteLen(dest->bstrVal), 5u);
    EXPECT_EQ(std::memcmp(dest->bstrVal, "abcde", 5), 0);

    // A null string stays null.
    VARIANT nullText = of_type(VT_BSTR);
    ASSERT_EQ(VariantCopy(&dest, &nullText), S_OK);
    EXPECT_EQ(dest->vt, VT_BSTR);
    EXPECT_EQ(dest->bstrVal, nullptr);
}

TEST(VariantCopy, CopiesScalarsAndReferencesExactly) {
    LONG target = 7;
    for (VARTYPE vt : {VT_I1, VT_I2, VT_I4, VT_I8, VT_UI1, VT_UI2, VT_UI4, VT_UI8, VT_INT, VT_UINT,
                       VT_R4, VT_R8, VT_DATE, VT_BOOL, VT_ERROR, VT_NULL, VT_EMPTY}) {
        VARIANT src = of_type(vt, 0x0123456789ABCDEF);
        Var dest;
        ASSERT_EQ(VariantCopy(&dest, &src), S_OK) << vt;
        EXPECT_EQ(dest->vt, vt);
        EXPECT_EQ(dest->llVal, src.llVal) << vt;
    }
    VARIANT ref = of_type(VT_BYREF | VT_I4);
    ref.plVal = &target;
    Var dest;
    ASSERT_EQ(VariantCopy(&dest, &ref), S_OK);
    EXPECT_EQ(dest->vt, VT_BYREF | VT_I4);
    EXPECT_EQ(dest->plVal, &target);
}

TEST(VariantCopy, AddRefsInterfacesAndReleasesThePreviousDestination) {
    CountingUnknown unk;
    CountingDispatch disp;
    {
        VARIANT src = of_type(VT_DISPATCH);
        src.pdispVal = &disp;
        Var dest;
        dest->vt = VT_UNKNOWN;
        dest->punkVal = &unk;
        unk.AddRef();
        ASSERT_EQ(VariantCopy(&dest, &src), S_OK);
        EXPECT_EQ(unk.refs(), 1u);
        EXPECT_EQ(disp.refs(), 2u);
        EXPECT_EQ(dest->pdispVal, &disp);

        // Copying the same object over itself must not drop it on the way.
        Var same;
        ASSERT_EQ(VariantCopy(&same, &dest.v), S_OK);
        ASSERT_EQ(VariantCopy(&same, &dest.v), S_OK);
        EXPECT_EQ(disp.refs(), 3u);
    }
    EXPECT_EQ(disp.refs(), 1u);
}

TEST(VariantCopy, OntoItselfChangesNothing) {
    CountingDispatch disp;
    Var s;
    set_bstr(s, u"self");
    BSTR const before = s->bstrVal;
    EXPECT_EQ(VariantCopy(&s, &s.v), S_OK);
    EXPECT_EQ(s->bstrVal, before);
    EXPECT_EQ(text_of(s.v), u"self");

    Var d;
    d->vt = VT_DISPATCH;
    d->pdispVal = &disp;
    disp.AddRef();
    EXPECT_EQ(VariantCopy(&d, &d.v), S_OK);
    EXPECT_EQ(disp.refs(), 2u);
}

TEST(VariantCopy, BadSourceTypeLeavesDestinationEmpty) {
    CountingUnknown unk;
    Var dest;
    dest->vt = VT_UNKNOWN;
    dest->punkVal = &unk;
    unk.AddRef();
    VARIANT bad = of_type(VT_ARRAY | VT_I4);
    EXPECT_EQ(VariantCopy(&dest, &bad), DISP_E_BADVARTYPE);
    EXPECT_EQ(dest->vt, VT_EMPTY);
    EXPECT_EQ(unk.refs(), 1u);
}

TEST(VariantCopyInd, DereferencesValuesAndVariantReferences) {
    BSTR text = SysAllocString(u"pointee");
    CountingDispatch disp;
    IDispatch* dispPtr = &disp;
    LONGLONG big = std::numeric_limits<LONGLONG>::min();

    Var a;
    VARIANT ref = of_type(VT_BYREF | VT_BSTR);
    ref.pbstrVal = &text;
    ASSERT_EQ(VariantCopyInd(&a, &ref), S_OK);
    EXPECT_EQ(a->vt, VT_BSTR);
    EXPECT_NE(a->bstrVal, text);
    EXPECT_EQ(text_of(a.v), u"pointee");

    ref = of_type(VT_BYREF | VT_I8);
    ref.pllVal = &big;
    ASSERT_EQ(VariantCopyInd(&a, &ref), S_OK);
    EXPECT_EQ(a->vt, VT_I8);
    EXPECT_EQ(a->llVal, big);

    ref = of_type(VT_BYREF | VT_DISPATCH);
    ref.ppdispVal = &dispPtr;
    ASSERT_EQ(VariantCopyInd(&a, &ref), S_OK);
    EXPECT_EQ(a->vt, VT_DISPATCH);
    EXPECT_EQ(disp.refs(), 2u);

    // A variant reference yields the inner variant; one holding a reference is read through.
    VARIANT inner = of_type(VT_BYREF | VT_BSTR);
    inner.pbstrVal = &text;
    ref = of_type(VT_BYREF | VT_VARIANT);
    ref.pvarVal = &inner;
    ASSERT_EQ(VariantCopyInd(&a, &ref), S_OK);
    EXPECT_EQ(a->vt, VT_BSTR);
    EXPECT_EQ(text_of(a.v), u"pointee");
    EXPECT_EQ(disp.refs(), 1u);

    // In place: the reference is replaced by its value.
    VariantClear(&a);
    a->vt = VT_BYREF | VT_BSTR;
    a->pbstrVal = &text;
    ASSERT_EQ(VariantCopyInd(&a, &a.v), S_OK);
    EXPECT_EQ(a->vt, VT_BSTR);
    EXPECT_NE(a->bstrVal, text);

    VARIANT nested = of_type(VT_BYREF | VT_VARIANT);
    nested.pvarVal = &ref;
    EXPECT_EQ(VariantCopyInd(&a, &nested), E_INVALIDARG);
    EXPECT_EQ(a->vt, VT_EMPTY);
    SysFreeString(text);
}

TEST(VariantChangeType, IntegerRangesOverflow) {
    Var out;
    EXPECT_EQ(change(out, i4(70000), VT_I2), DISP_E_OVERFLOW);
    EXPECT_EQ(change(out, i4(-32768), VT_I2), S_OK);
    EXPECT_EQ(out->iVal, -32768);
    EXPECT_EQ(change(out, i4(-1), VT_UI1), DISP_E_OVERFLOW);
    EXPECT_EQ(change(out, i4(255), VT_UI1), S_OK);
    EXPECT_EQ(change(out, i4(256), VT_UI1), DISP_E_OVERFLOW);
    EXPECT_EQ(change(out, i4(-129), VT_I1), DISP_E_OVERFLOW);
    EXPECT_EQ(change(out, i4(-128), VT_I1), S_OK);
    EXPECT_EQ(static_cast<signed char>(out->cVal), -128);
    EXPECT_EQ(change(out, i4(-1), VT_UI8), DISP_E_OVERFLOW);

    VARIANT const i8max = of_type(VT_I8, std::numeric_limits<LONGLONG>::max());
    VARIANT const i8min = of_type(VT_I8, std::numeric_limits<LONGLONG>::min());
    EXPECT_EQ(change(out, i8max, VT_UI8), S_OK);
    EXPECT_EQ(out->ullVal, 0x7FFFFFFFFFFFFFFFull);
    EXPECT_EQ(change(out, i8min, VT_I4), DISP_E_OVERFLOW);
    EXPECT_EQ(change(out, i8min, VT_I8), S_OK);
    EXPECT_EQ(out->llVal, std::numeric_limits<LONGLONG>::min());
    VARIANT ui8max = of_type(VT_UI8);
    ui8max.ullVal = std::numeric_limits<ULONGLONG>::max();
    EXPECT_EQ(change(out, ui8max, VT_I8), DISP_E_OVERFLOW);
    EXPECT_EQ(change(out, ui8max, VT_R8), S_OK);
    EXPECT_DOUBLE_EQ(out->dblVal, 18446744073709551615.0);

    VARIANT ui4 = of_type(VT_UI4);
    ui4.ulVal = 0x80000000u;
    EXPECT_EQ(change(out, ui4, VT_I4), DISP_E_OVERFLOW);
    EXPECT_EQ(change(out, ui4, VT_INT), DISP_E_OVERFLOW);
    EXPECT_EQ(change(out, ui4, VT_UINT), S_OK);
    EXPECT_EQ(out->uintVal, 0x80000000u);
}

TEST(VariantChangeType, FloatsRoundHalfToEvenAndOverflow) {
    Var out;
    struct Case {
        double in;
        LONG expected;
    };
    for (Case c : {Case{2.5, 2}, Case{3.5, 4}, Case{-2.5, -2}, Case{-3.5, -4}, Case{2.4999, 2},
                   Case{2.5001, 3}, Case{-0.4, 0}, Case{0.5, 0}, Case{1.5, 2}}) {
        ASSERT_EQ(change(out, r8(c.in), VT_I4), S_OK) << c.in;
        EXPECT_EQ(out->lVal, c.expected) << c.in;
    }
    EXPECT_EQ(change(out, r8(32767.5), VT_I2), DISP_E_OVERFLOW);
    EXPECT_EQ(change(out, r8(-32768.5), VT_I2), S_OK);
    EXPECT_EQ(out->iVal, -32768);
    EXPECT_EQ(change(out, r8(9.3e18), VT_I8), DISP_E_OVERFLOW);
    EXPECT_EQ(change(out, r8(9.3e18), VT_UI8), S_OK);
    EXPECT_EQ(change(out, r8(std::nan("")), VT_I4), DISP_E_OVERFLOW);
    EXPECT_EQ(change(out, r8(INFINITY), VT_UI1), DISP_E_OVERFLOW);
    EXPECT_EQ(change(out, r8(1e39), VT_R4), DISP_E_OVERFLOW);
    EXPECT_EQ(change(out, r8(3e6), VT_DATE), DISP_E_OVERFLOW);
    EXPECT_EQ(change(out, r8(0.25), VT_R4), S_OK);
    EXPECT_EQ(out->fltVal, 0.25f);
}

TEST(VariantChangeType, BooleansFollowAutomationValues) {
    Var out;
    ASSERT_EQ(change(out, i4(5), VT_BOOL), S_OK);
    EXPECT_EQ(out->boolVal, VARIANT_TRUE);
    ASSERT_EQ(change(out, r8(0.0), VT_BOOL), S_OK);
    EXPECT_EQ(out->boolVal, VARIANT_FALSE);

    VARIANT t = of_type(VT_BOOL);
    t.boolVal = VARIANT_TRUE;
    ASSERT_EQ(change(out, t, VT_I4), S_OK);
    EXPECT_EQ(out->lVal, -1);
    ASSERT_EQ(change(out, t, VT_R8), S_OK);
    EXPECT_EQ(out->dblVal, -1.0);
    // True fills an unsigned target rather than overflowing.
    ASSERT_EQ(change(out, t, VT_UI1), S_OK);
    EXPECT_EQ(out->bVal, 0xFF);
    ASSERT_EQ(change(out, t, VT_UI4), S_OK);
    EXPECT_EQ(out->ulVal, 0xFFFFFFFFu);
    EXPECT_EQ(to_text(t), u"-1");
    EXPECT_EQ(to_text(t, VARIANT_ALPHABOOL), u"True");
    EXPECT_EQ(to_text(of_type(VT_BOOL), VARIANT_ALPHABOOL), u"False");
}

TEST(VariantChangeType, ParsesNumbersFromText) {
    Var out;
    ASSERT_EQ(from_text(out, u"5", VT_I2), S_OK);
    EXPECT_EQ(out->vt, VT_I2);
    EXPECT_EQ(out->iVal, 5);
    ASSERT_EQ(from_text(out, u" 12 ", VT_I4), S_OK);
    EXPECT_EQ(out->lVal, 12);
    ASSERT_EQ(from_text(out, u"2.5", VT_I4), S_OK);
    EXPECT_EQ(out->lVal, 2);
    ASSERT_EQ(from_text(out, u"-3.5", VT_I4), S_OK);
    EXPECT_EQ(out->lVal, -4);
    ASSERT_EQ(from_text(out, u"+1e3", VT_I4), S_OK);
    EXPECT_EQ(out->lVal, 1000);
    ASSERT_EQ(from_text(out, u"9223372036854775807", VT_I8), S_OK);
    EXPECT_EQ(out->llVal, std::numeric_limits<LONGLONG>::max());
    ASSERT_EQ(from_text(out, u"-9223372036854775808", VT_I8), S_OK);
    EXPECT_EQ(out->llVal, std::numeric_limits<LONGLONG>::min());
    EXPECT_EQ(from_text(out, u"9223372036854775808", VT_I8), DISP_E_OVERFLOW);
    ASSERT_EQ(from_text(out, u"18446744073709551615", VT_UI8), S_OK);
    EXPECT_EQ(out->ullVal, std::numeric_limits<ULONGLONG>::max());
    EXPECT_EQ(from_text(out, u"18446744073709551615.5", VT_UI8), DISP_E_OVERFLOW);
    EXPECT_EQ(from_text(out, u"70000", VT_I2), DISP_E_OVERFLOW);
    EXPECT_EQ(from_text(out, u"-1", VT_UI1), DISP_E_OVERFLOW);
    ASSERT_EQ(from_text(out, u"1.5E-07", VT_R8), S_OK);
    EXPECT_EQ(out->dblVal, 1.5e-7);
    ASSERT_EQ(from_text(out, u"\t-.5", VT_R4), S_OK);
    EXPECT_EQ(out->fltVal, -0.5f);
    EXPECT_EQ(from_text(out, u"1e400", VT_R8), DISP_E_OVERFLOW);
    ASSERT_EQ(from_text(out, u"tRUE", VT_BOOL), S_OK);
    EXPECT_EQ(out->boolVal, VARIANT_TRUE);
    ASSERT_EQ(from_text(out, u"True", VT_I2), S_OK);
    EXPECT_EQ(out->iVal, -1);
    ASSERT_EQ(from_text(out, u"FALSE", VT_R8), S_OK);
    EXPECT_EQ(out->dblVal, 0.0);
    ASSERT_EQ(from_text(out, u"0.0", VT_BOOL), S_OK);
    EXPECT_EQ(out->boolVal, VARIANT_FALSE);

    for (std::u16string_view bad : std::initializer_list<std::u16string_view>{
             u"12x", u"", u"  ", u"1 2", u"--1", u"1e", u".", u"0x10", u"abc",
             std::u16string_view(u"1\0", 2)}) {
        EXPECT_EQ(from_text(out, bad, VT_I4), DISP_E_TYPEMISMATCH);
        EXPECT_EQ(from_text(out, bad, VT_R8), DISP_E_TYPEMISMATCH);
    }
    EXPECT_EQ(from_text(out, u"yes", VT_BOOL), DISP_E_TYPEMISMATCH);
}

TEST(VariantChangeType, FormatsNumbersAsText) {
    EXPECT_EQ(to_text(i4(-42)), u"-42");
    VARIANT ui8 = of_type(VT_UI8);
    ui8.ullVal = std::numeric_limits<ULONGLONG>::max();
    EXPECT_EQ(to_text(ui8), u"18446744073709551615");
    EXPECT_EQ(to_text(of_type(VT_I8, std::numeric_limits<LONGLONG>::min())),
              u"-9223372036854775808");
    VARIANT i1 = of_type(VT_I1);
    i1.cVal = static_cast<CHAR>(-5);
    EXPECT_EQ(to_text(i1), u"-5");
    EXPECT_EQ(to_text(r8(2.5)), u"2.5");
    EXPECT_EQ(to_text(r8(1e20)), u"1E+20");
    EXPECT_EQ(to_text(r8(1.5e-7)), u"1.5E-07");
    EXPECT_EQ(to_text(r8(0.1)), u"0.1");
    EXPECT_EQ(to_text(r8(1.0 / 3.0)), u"0.333333333333333");
    EXPECT_EQ(to_text(r8(123456789012345.0)), u"123456789012345");
    EXPECT_EQ(to_text(r8(-0.0)), u"0");
    VARIANT r4 = of_type(VT_R4);
    r4.fltVal = 0.1f;
    EXPECT_EQ(to_text(r4), u"0.1");
}

TEST(VariantChangeType, DatesToAndFromText) {
    VARIANT d = of_type(VT_DATE);
    d.date = 36525.0 + (23 * 3600 + 59 * 60 + 59) / 86400.0;  // 1999-12-31 23:59:59
    EXPECT_EQ(to_text(d), u"12/31/1999 11:59:59 PM");
    d.date = 36526.0;
    EXPECT_EQ(to_text(d), u"1/1/2000");
    d.date = 0.25;
    EXPECT_EQ(to_text(d), u"6:00:00 AM");
    d.date = 36526.5;
    EXPECT_EQ(to_text(d), u"1/1/2000 12:00:00 PM");

    Var out;
    ASSERT_EQ(from_text(out, u"1/1/2000", VT_DATE), S_OK);
    EXPECT_EQ(out->date, 36526.0);
    ASSERT_EQ(from_text(out, u" 12/31/1999 11:59:59 PM ", VT_DATE), S_OK);
    EXPECT_NEAR(out->date, 36525.0 + 86399.0 / 86400.0, 1e-9);
    ASSERT_EQ(from_text(out, u"1/1/2000 12:30 am", VT_DATE), S_OK);
    EXPECT_NEAR(out->date, 36526.0 + 30.0 / 1440.0, 1e-9);
    ASSERT_EQ(from_text(out, u"2000-01-01 12:00", VT_DATE), S_OK);
    EXPECT_EQ(out->date, 36526.5);
    ASSERT_EQ(from_text(out, u"1970-01-01T00:00:01", VT_DATE), S_OK);
    EXPECT_NEAR(out->date, 25569.0 + 1.0 / 86400.0, 1e-9);
    ASSERT_EQ(from_text(out, u"6:00:00 AM", VT_DATE), S_OK);
    EXPECT_EQ(out->date, 0.25);
    for (std::u16string_view bad :
         {u"2/30/2000", u"13/1/2000", u"1/1/2000 24:00", u"1/1/2000 13:00 PM", u"2000-1-1x",
          u"hello", u"36526", u"1/1/2000 1:5"}) {
        EXPECT_EQ(from_text(out, bad, VT_DATE), DISP_E_TYPEMISMATCH);
    }

    // Text and dates survive a round trip through each other.
    for (double value : {36525.99998842592, -1.25, 2958465.5, 45000.0, 0.75}) {
        d.date = value;
        std::u16string const text = to_text(d);
        ASSERT_EQ(from_text(out, text, VT_DATE), S_OK);
        EXPECT_NEAR(out->date, value, 1e-5);
    }
}

TEST(VariantChangeType, ReadsTextAsTheLocaleWritesIt) {
    struct Case {
        std::u16string_view text;
        VARTYPE vt;
        HRESULT hr;
        double value;
    };
    constexpr HRESULT mismatch = DISP_E_TYPEMISMATCH;
    for (Case const& c : std::initializer_list<Case>{
             {u"1,000", VT_I4, S_OK, 1000},
             {u"1,234.5", VT_R8, S_OK, 1234.5},
             {u"1,2,3", VT_I4, S_OK, 123},
             {u"$5", VT_I4, S_OK, 5},
             {u"-$5", VT_R8, S_OK, -5},
             {u"$-5", VT_R8, S_OK, -5},
             {u"(5)", VT_I4, S_OK, -5},
             {u"($1,234.50)", VT_R8, S_OK, -1234.5},
             {u"5-", VT_I4, S_OK, -5},
             {u"5+", VT_I4, S_OK, 5},
             {u"1.5e3-", VT_R8, S_OK, -1500},
             {u"12\n", VT_I4, S_OK, 12},
             {u"\r\n\t12 \v\f", VT_R8, S_OK, 12},
             {u"&H10", VT_I4, S_OK, 16},
             {u"&hff", VT_I4, S_OK, 255},
             {u"&HFFFF", VT_I2, S_OK, -1},
             {u"&HFFFF", VT_I4, S_OK, -1},
             {u"&H10000", VT_I4, S_OK, 65536},
             {u"&HFFFFFFFF", VT_I4, S_OK, -1},
             {u"&H80000000", VT_R8, S_OK, -2147483648.0},
             {u"&O17", VT_I4, S_OK, 15},
             {u"&o177777", VT_I2, S_OK, -1},
             {u"&H100000000", VT_I4, DISP_E_OVERFLOW, 0},
             {u"&O40000000000", VT_R8, DISP_E_OVERFLOW, 0},
             {u"1,,0", VT_I4, mismatch, 0},
             {u",1", VT_I4, mismatch, 0},
             {u"1,", VT_I4, mismatch, 0},
             {u"1.2,5", VT_R8, mismatch, 0},
             {u"(5", VT_I4, mismatch, 0},
             {u"5)", VT_I4, mismatch, 0},
             {u"(-5)", VT_I4, mismatch, 0},
             {u"-5-", VT_I4, mismatch, 0},
             {u"$", VT_I4, mismatch, 0},
             {u"$$5", VT_I4, mismatch, 0},
             {u"()", VT_R8, mismatch, 0},
             {u"&H", VT_I4, mismatch, 0},
             {u"&H1G", VT_I4, mismatch, 0},
             {u"&O8", VT_I4, mismatch, 0},
             {u"&10", VT_I4, mismatch, 0},
             {u"-&H10", VT_I4, mismatch, 0},
             {u"&H 10", VT_I4, mismatch, 0},
             {u"1/2/20", VT_R8, mismatch, 0},
             {u"1/2/20", VT_DATE, S_OK, 43832},
             {u"1/2/29", VT_DATE, S_OK, 47120},
             {u"1/2/30", VT_DATE, S_OK, 10960},
             {u"12/31/99", VT_DATE, S_OK, 36525},
             {u"1/1/0", VT_DATE, S_OK, 36526},
             {u"1/2/3", VT_DATE, S_OK, 37623},
             {u"1/1/2000\n", VT_DATE, S_OK, 36526},
             {u"January 15, 2020", VT_DATE, S_OK, 43845},
             {u"15 Jan 2020", VT_DATE, S_OK, 43845},
             {u"jan 15 2020", VT_DATE, S_OK, 43845},
             {u"15-JAN-20", VT_DATE, S_OK, 43845},
             {u"Sep 1, 99 3:30 PM", VT_DATE, S_OK, 36404 + 15.5 / 24},
             {u"1/2/3/4", VT_DATE, mismatch, 0},
             {u"Foo 15, 2020", VT_DATE, mismatch, 0},
             {u"Sept 15, 2020", VT_DATE, mismatch, 0},
             {u"January 32, 2020", VT_DATE, mismatch, 0},
             {u"January 2020", VT_DATE, mismatch, 0},
             {u"15 January", VT_DATE, mismatch, 0},
             {u"1,000", VT_DATE, mismatch, 0},
         }) {
        Var out;
        ASSERT_EQ(from_text(out, c.text, c.vt), c.hr) << std::string(c.text.begin(), c.text.end());
        if (FAILED(c.hr)) continue;
        EXPECT_EQ(out->vt, c.vt);
        ASSERT_EQ(VariantChangeType(&out, &out.v, 0, VT_R8), S_OK);
        EXPECT_NEAR(out->dblVal, c.value, 1e-9) << std::string(c.text.begin(), c.text.end());
    }
}

TEST(VariantChangeType, EmptyAndNull) {
    Var out;
    VARIANT const empty = of_type(VT_EMPTY);
    VARIANT const null = of_type(VT_NULL);
    ASSERT_EQ(change(out, empty, VT_I4), S_OK);
    EXPECT_EQ(out->lVal, 0);
    ASSERT_EQ(change(out, empty, VT_BSTR), S_OK);
    EXPECT_NE(out->bstrVal, nullptr);
    EXPECT_EQ(text_of(out.v), u"");
    ASSERT_EQ(change(out, empty, VT_BOOL), S_OK);
    EXPECT_EQ(out->boolVal, VARIANT_FALSE);
    ASSERT_EQ(change(out, empty, VT_DISPATCH), S_OK);
    EXPECT_EQ(out->pdispVal, nullptr);
    EXPECT_EQ(change(out, empty, VT_ERROR), DISP_E_TYPEMISMATCH);
    for (VARTYPE vt : {VT_I4, VT_BSTR, VT_BOOL, VT_EMPTY, VT_R8, VT_UNKNOWN})
        EXPECT_EQ(change(out, null, vt), DISP_E_TYPEMISMATCH) << vt;
    ASSERT_EQ(change(out, null, VT_NULL), S_OK);
    EXPECT_EQ(out->vt, VT_NULL);
    ASSERT_EQ(change(out, r8(1.0), VT_EMPTY), S_OK);
    EXPECT_EQ(out->vt, VT_EMPTY);
}

TEST(VariantChangeType, ConvertsInPlaceAndLeavesDestOnFailure) {
    Var v;
    set_bstr(v, u" 42 ");
    ASSERT_EQ(VariantChangeType(&v, &v.v, 0, VT_I4), S_OK);
    EXPECT_EQ(v->vt, VT_I4);
    EXPECT_EQ(v->lVal, 42);
    ASSERT_EQ(VariantChangeType(&v, &v.v, 0, VT_BSTR), S_OK);
    EXPECT_EQ(text_of(v.v), u"42");

    set_bstr(v, u"x");
    EXPECT_EQ(VariantChangeType(&v, &v.v, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(v->vt, VT_BSTR);
    EXPECT_EQ(text_of(v.v), u"x");

    Var dest;
    set_bstr(dest, u"kept");
    EXPECT_EQ(change(dest, i4(70000), VT_I2), DISP_E_OVERFLOW);
    EXPECT_EQ(text_of(dest.v), u"kept");
}

TEST(VariantChangeType, ReadsThroughReferences) {
    SHORT seven = 7;
    BSTR eight = SysAllocString(u"8");
    VARIANT inner = of_type(VT_BYREF | VT_BSTR);
    inner.pbstrVal = &eight;
    Var out;
    VARIANT ref = of_type(VT_BYREF | VT_I2);
    ref.piVal = &seven;
    EXPECT_EQ(to_text(ref), u"7");
    ref = of_type(VT_BYREF | VT_VARIANT);
    ref.pvarVal = &inner;
    ASSERT_EQ(change(out, ref, VT_I4), S_OK);
    EXPECT_EQ(out->lVal, 8);
    // Converting a reference in place replaces the reference, never the value it points to.
    ASSERT_EQ(VariantChangeType(&ref, &ref, 0, VT_R8), S_OK);
    EXPECT_EQ(ref.vt, VT_R8);
    EXPECT_EQ(inner.vt, VT_BYREF | VT_BSTR);
    EXPECT_EQ(std::u16string(eight), u"8");
    VARIANT dangling = of_type(VT_BYREF | VT_I4);
    EXPECT_EQ(change(out, dangling, VT_I4), E_INVALIDARG);
    SysFreeString(eight);
}

TEST(VariantChangeType, ObjectsGiveTheirValueProperty) {
    CountingDispatch disp;
    VARIANT obj = of_type(VT_DISPATCH);
    obj.pdispVal = &disp;
    Var out;
    EXPECT_EQ(change(out, obj, VT_I4), DISP_E_TYPEMISMATCH);  // no value property yet
    EXPECT_EQ(disp.invokes(), 1);

    Var value;
    set_bstr(value, u"41.6");
    disp.set_value(value.v);
    ASSERT_EQ(change(out, obj, VT_I4), S_OK);
    EXPECT_EQ(out->lVal, 42);
    EXPECT_EQ(disp.last_member(), DISPID_VALUE);
    EXPECT_EQ(disp.last_flags(), DISPATCH_PROPERTYGET);
    EXPECT_EQ(disp.last_arg_count(), 0u);
    EXPECT_EQ(to_text(obj), u"41.6");

    int const invokes = disp.invokes();
    EXPECT_EQ(change(out, obj, VT_I4, VARIANT_NOVALUEPROP), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(disp.invokes(), invokes);

    // An object whose value is itself is asked once, not forever.
    disp.set_value(obj);
    EXPECT_EQ(change(out, obj, VT_I4), DISP_E_TYPEMISMATCH);
    VARIANT cleared = of_type(VT_EMPTY);
    disp.set_value(cleared);  // break the cycle before the fake goes away
    EXPECT_EQ(disp.refs(), 1u);

    CountingUnknown unk;
    VARIANT plain = of_type(VT_UNKNOWN);
    plain.punkVal = &unk;
    EXPECT_EQ(change(out, plain, VT_BSTR), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(unk.refs(), 1u);
}

TEST(VariantChangeType, ObjectsConvertBetweenInterfaces) {
    CountingDispatch disp;
    CountingUnknown unk;
    Var out;
    VARIANT obj = of_type(VT_DISPATCH);
    obj.pdispVal = &disp;
    ASSERT_EQ(change(out, obj, VT_UNKNOWN), S_OK);
    EXPECT_EQ(out->punkVal, static_cast<IUnknown*>(&disp));
    EXPECT_EQ(disp.refs(), 2u);
    ASSERT_EQ(VariantChangeType(&out, &out.v, 0, VT_DISPATCH), S_OK);
    EXPECT_EQ(out->pdispVal, &disp);
    EXPECT_EQ(disp.refs(), 2u);
    VariantClear(&out);
    EXPECT_EQ(disp.refs(), 1u);

    VARIANT plain = of_type(VT_UNKNOWN);
    plain.punkVal = &unk;
    EXPECT_EQ(change(out, plain, VT_DISPATCH), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(unk.refs(), 1u);

    VARIANT none = of_type(VT_DISPATCH);
    ASSERT_EQ(change(out, none, VT_UNKNOWN), S_OK);
    EXPECT_EQ(out->vt, VT_UNKNOWN);
    EXPECT_EQ(out->punkVal, nullptr);
    EXPECT_EQ(change(out, i4(1), VT_DISPATCH), DISP_E_TYPEMISMATCH);
}

TEST(VariantChangeType, ErrorCodesAndInvalidTypes) {
    Var out;
    VARIANT err = of_type(VT_ERROR);
    err.scode = DISP_E_PARAMNOTFOUND;
    ASSERT_EQ(change(out, err, VT_I4), S_OK);
    EXPECT_EQ(out->lVal, DISP_E_PARAMNOTFOUND);
    ASSERT_EQ(change(out, i4(E_FAIL), VT_ERROR), S_OK);
    EXPECT_EQ(out->scode, E_FAIL);
    EXPECT_EQ(change(out, err, VT_R8), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(change(out, err, VT_BSTR), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(change(out, r8(1.0), VT_ERROR), DISP_E_TYPEMISMATCH);

    EXPECT_EQ(change(out, i4(1), VT_VARIANT), E_INVALIDARG);
    EXPECT_EQ(change(out, i4(1), VT_BYREF | VT_I4), DISP_E_BADVARTYPE);
    EXPECT_EQ(change(out, i4(1), VT_CY), DISP_E_BADVARTYPE);
    EXPECT_EQ(change(out, i4(1), VT_ARRAY | VT_I4), DISP_E_BADVARTYPE);
    EXPECT_EQ(change(out, of_type(VT_DECIMAL), VT_I4), DISP_E_BADVARTYPE);
    EXPECT_EQ(out->vt, VT_ERROR);  // every failure above left the last result alone
}

TEST(VarBstrCmp, ComparesCodeUnitsOverTheFullLength) {
    BSTR empty = SysAllocString(u"");
    BSTR a = SysAllocString(u"a");
    BSTR b = SysAllocString(u"b");
    BSTR ab = SysAllocString(u"ab");
    BSTR aNulB = SysAllocStringLen(u"a\0b", 3);
    BSTR aNulA = SysAllocStringLen(u"a\0a", 3);
    BSTR surrogate = SysAllocString(u"\xD83D\xDE00");  // below U+FF00 as code units
    BSTR fullwidth = SysAllocString(u"\xFF00");
    EXPECT_EQ(VarBstrCmp(nullptr, empty, 0x409, 0), VARCMP_EQ);
    EXPECT_EQ(VarBstrCmp(nullptr, nullptr, 0x409, 0), VARCMP_EQ);
    EXPECT_EQ(VarBstrCmp(nullptr, a, 0x409, 0), VARCMP_LT);
    EXPECT_EQ(VarBstrCmp(a, b, 0x409, 0), VARCMP_LT);
    EXPECT_EQ(VarBstrCmp(ab, a, 0x409, 0), VARCMP_GT);
    EXPECT_EQ(VarBstrCmp(aNulB, aNulA, 0x409, 0), VARCMP_GT);
    EXPECT_EQ(VarBstrCmp(aNulA, a, 0x409, 0), VARCMP_GT);
    EXPECT_EQ(VarBstrCmp(surrogate, fullwidth, 0x409, 0), VARCMP_LT);
    for (BSTR s : {empty, a, b, ab, aNulB, aNulA, surrogate, fullwidth})
        SysFreeString(s);
}
