#include "platform/automation/Variant.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "platform/automation/Bstr.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/OleDate.h"
#include "platform/base/Errors.h"
#include "platform/base/ThreadState.h"

namespace {

// The value types a variant may hold directly.
bool is_value_type(VARTYPE vt) noexcept {
    switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_R8:
        case VT_DATE:
        case VT_BSTR:
        case VT_BOOL:
        case VT_ERROR:
        case VT_DISPATCH:
        case VT_UNKNOWN:
            return true;
        default:
            return false;
    }
}

// A reference to "nothing" or "no value" is meaningless, so those two cannot be by-reference.
bool is_valid(VARTYPE vt) noexcept {
    if ((vt & VT_BYREF) == 0) return is_value_type(vt);
    auto const base = static_cast<VARTYPE>(vt & ~VT_BYREF);
    if (base == VT_VARIANT) return true;
    return base != VT_EMPTY && base != VT_NULL && is_value_type(base);
}

VARIANT empty_variant() noexcept {
    VARIANT v;
    std::memset(&v, 0, sizeof v);
    return v;
}

IUnknown* interface_of(VARIANT const& v) noexcept {
    if (v.vt == VT_UNKNOWN) return v.punkVal;
    if (v.vt == VT_DISPATCH) return v.pdispVal;
    return nullptr;
}

// Makes out (fresh, owning nothing) an owning copy of the by-value variant in.
HRESULT copy_value(VARIANT& out, VARIANT const& in) noexcept {
    out = in;
    if (in.vt == VT_BSTR && in.bstrVal != nullptr) {
        out.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(in.bstrVal),
                                            SysStringByteLen(in.bstrVal));
        if (out.bstrVal == nullptr) {
            out = empty_variant();
            return E_OUTOFMEMORY;
        }
    } else if (IUnknown* unk = interface_of(in)) {
        unk->AddRef();
    }
    return S_OK;
}

// Fills view with the value a valid variant stands for, reading through a reference. The view
// shares the strings and interfaces of the source and owns nothing.
HRESULT view_of(VARIANT const& in, VARIANT& view) noexcept {
    if ((in.vt & VT_BYREF) == 0) {
        view = in;
        return S_OK;
    }
    if (in.byref == nullptr) return E_INVALIDARG;
    auto const base = static_cast<VARTYPE>(in.vt & ~VT_BYREF);
    if (base == VT_VARIANT) {
        VARIANT const& inner = *in.pvarVal;
        // Only one level of variant reference is allowed.
        if (inner.vt == (VT_BYREF | VT_VARIANT)) return E_INVALIDARG;
        if (!is_valid(inner.vt)) return DISP_E_BADVARTYPE;
        return view_of(inner, view);
    }
    view = empty_variant();
    view.vt = base;
    switch (base) {
        case VT_I1:
            view.cVal = *in.pcVal;
            break;
        case VT_UI1:
            view.bVal = *in.pbVal;
            break;
        case VT_I2:
            view.iVal = *in.piVal;
            break;
        case VT_UI2:
            view.uiVal = *in.puiVal;
            break;
        case VT_I4:
            view.lVal = *in.plVal;
            break;
        case VT_UI4:
            view.ulVal = *in.pulVal;
            break;
        case VT_INT:
            view.intVal = *in.pintVal;
            break;
        case VT_UINT:
            view.uintVal = *in.puintVal;
            break;
        case VT_I8:
            view.llVal = *in.pllVal;
            break;
        case VT_UI8:
            view.ullVal = *in.pullVal;
            break;
        case VT_R4:
            view.fltVal = *in.pfltVal;
            break;
        case VT_R8:
            view.dblVal = *in.pdblVal;
            break;
        case VT_DATE:
            view.date = *in.pdate;
            break;
        case VT_BSTR:
            view.bstrVal = *in.pbstrVal;
            break;
        case VT_BOOL:
            view.boolVal = *in.pboolVal;
            break;
        case VT_ERROR:
            view.scode = *in.pscode;
            break;
        case VT_DISPATCH:
            view.pdispVal = *in.ppdispVal;
            break;
        case VT_UNKNOWN:
            view.punkVal = *in.ppunkVal;
            break;
        default:
            return DISP_E_BADVARTYPE;
    }
    return S_OK;
}

// Moves a freshly built value into dest, releasing what dest held. When dest cannot be
// cleared the value is dropped and dest stays as it was.
HRESULT assign(VARIANT* dest, VARIANT& value) noexcept {
    HRESULT const hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&value);
        return hr;
    }
    *dest = value;
    return S_OK;
}

// ---- Numbers ---------------------------------------------------------------------------------

struct Number {
    enum class Kind { signed_int, unsigned_int, real } kind = Kind::signed_int;
    std::int64_t s = 0;
    std::uint64_t u = 0;
    double r = 0.0;
    // A VT_BOOL: TRUE fills every bit of an unsigned target instead of overflowing, as the
    // automation platform converts it.
    bool boolean = false;
};

Number signed_number(std::int64_t v, bool boolean = false) noexcept {
    Number n;
    n.s = v;
    n.boolean = boolean;
    return n;
}

Number unsigned_number(std::uint64_t v) noexcept {
    Number n;
    n.kind = Number::Kind::unsigned_int;
    n.u = v;
    return n;
}

Number real_number(double v) noexcept {
    Number n;
    n.kind = Number::Kind::real;
    n.r = v;
    return n;
}

// The number a by-value numeric (or empty) variant holds.
Number number_of(VARIANT const& v) noexcept {
    switch (v.vt) {
        case VT_I1:
            return signed_number(static_cast<signed char>(v.cVal));
        case VT_I2:
            return signed_number(v.iVal);
        case VT_I4:
            return signed_number(v.lVal);
        case VT_INT:
            return signed_number(v.intVal);
        case VT_I8:
            return signed_number(v.llVal);
        case VT_UI1:
            return unsigned_number(v.bVal);
        case VT_UI2:
            return unsigned_number(v.uiVal);
        case VT_UI4:
            return unsigned_number(v.ulVal);
        case VT_UINT:
            return unsigned_number(v.uintVal);
        case VT_UI8:
            return unsigned_number(v.ullVal);
        case VT_R4:
            return real_number(v.fltVal);
        case VT_R8:
            return real_number(v.dblVal);
        case VT_DATE:
            return real_number(v.date);
        case VT_BOOL:
            return signed_number(v.boolVal, true);
        default:
            return signed_number(0);
    }
}

bool is_numeric_type(VARTYPE vt) noexcept {
    switch (vt) {
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_INT:
        case VT_I8:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UINT:
        case VT_UI8:
        case VT_R4:
        case VT_R8:
        case VT_DATE:
        case VT_BOOL:
            return true;
        default:
            return false;
    }
}

bool is_integer_type(VARTYPE vt) noexcept {
    return is_numeric_type(vt) && vt != VT_R4 && vt != VT_R8 && vt != VT_DATE && vt != VT_BOOL;
}

// An integer as sign and magnitude, so every width from I1 to UI8 checks its range the same
// way.
struct Integral {
    bool negative = false;
    std::uint64_t magnitude = 0;
};

// Halves go to the even neighbour, as the automation platform rounds.
double round_half_even(double x) noexcept {
    double const low = std::floor(x);
    double const diff = x - low;
    if (diff < 0.5) return low;
    if (diff > 0.5) return low + 1.0;
    return std::fmod(low, 2.0) == 0.0 ? low : low + 1.0;
}

std::optional<Integral> integral_of(Number const& n) noexcept {
    switch (n.kind) {
        case Number::Kind::signed_int:
            if (n.s < 0) return Integral{true, 0 - static_cast<std::uint64_t>(n.s)};
            return Integral{false, static_cast<std::uint64_t>(n.s)};
        case Number::Kind::unsigned_int:
            return Integral{false, n.u};
        case Number::Kind::real: {
            if (!std::isfinite(n.r)) return std::nullopt;
            double const rounded = round_half_even(n.r);
            double const magnitude = std::fabs(rounded);
            if (magnitude >= 18446744073709551616.0) return std::nullopt;  // 2^64
            return Integral{rounded < 0, static_cast<std::uint64_t>(magnitude)};
        }
    }
    return std::nullopt;
}

HRESULT store_integer(Integral v, VARTYPE vt, bool boolean, VARIANT& out) noexcept {
    bool is_signed = true;
    std::uint64_t max = 0;  // largest magnitude of a positive value
    switch (vt) {
        case VT_I1:
            max = 0x7F;
            break;
        case VT_I2:
            max = 0x7FFF;
            break;
        case VT_I4:
        case VT_INT:
            max = 0x7FFFFFFF;
            break;
        case VT_I8:
            max = 0x7FFFFFFFFFFFFFFF;
            break;
        case VT_UI1:
            is_signed = false;
            max = 0xFF;
            break;
        case VT_UI2:
            is_signed = false;
            max = 0xFFFF;
            break;
        case VT_UI4:
        case VT_UINT:
            is_signed = false;
            max = 0xFFFFFFFF;
            break;
        case VT_UI8:
            is_signed = false;
            max = 0xFFFFFFFFFFFFFFFF;
            break;
        default:
            return DISP_E_TYPEMISMATCH;
    }
    std::uint64_t bits;
    if (is_signed) {
        if (v.negative) {
            if (v.magnitude > max + 1) return DISP_E_OVERFLOW;
            bits = 0 - v.magnitude;
        } else {
            if (v.magnitude > max) return DISP_E_OVERFLOW;
            bits = v.magnitude;
        }
    } else if (v.negative && v.magnitude != 0) {
        if (!boolean) return DISP_E_OVERFLOW;
        bits = max;
    } else {
        if (v.magnitude > max) return DISP_E_OVERFLOW;
        bits = v.magnitude;
    }
    out = empty_variant();
    out.vt = vt;
    switch (vt) {
        case VT_I1:
            out.cVal = static_cast<CHAR>(static_cast<signed char>(bits));
            break;
        case VT_I2:
            out.iVal = static_cast<SHORT>(bits);
            break;
        case VT_I4:
            out.lVal = static_cast<LONG>(bits);
            break;
        case VT_INT:
            out.intVal = static_cast<INT>(bits);
            break;
        case VT_I8:
            out.llVal = static_cast<LONGLONG>(bits);
            break;
        case VT_UI1:
            out.bVal = static_cast<BYTE>(bits);
            break;
        case VT_UI2:
            out.uiVal = static_cast<USHORT>(bits);
            break;
        case VT_UI4:
            out.ulVal = static_cast<ULONG>(bits);
            break;
        case VT_UINT:
            out.uintVal = static_cast<UINT>(bits);
            break;
        default:
            out.ullVal = bits;
            break;
    }
    return S_OK;
}

double as_double(Number const& n) noexcept {
    switch (n.kind) {
        case Number::Kind::signed_int:
            return static_cast<double>(n.s);
        case Number::Kind::unsigned_int:
            return static_cast<double>(n.u);
        case Number::Kind::real:
            return n.r;
    }
    return 0.0;
}

bool is_nonzero(Number const& n) noexcept {
    switch (n.kind) {
        case Number::Kind::signed_int:
            return n.s != 0;
        case Number::Kind::unsigned_int:
            return n.u != 0;
        case Number::Kind::real:
            return n.r != 0.0;  // NaN too
    }
    return false;
}

HRESULT number_to(Number const& n, VARTYPE vt, VARIANT& out) noexcept {
    if (is_integer_type(vt)) {
        auto const v = integral_of(n);
        if (!v) return DISP_E_OVERFLOW;
        return store_integer(*v, vt, n.boolean, out);
    }
    out = empty_variant();
    switch (vt) {
        case VT_BOOL:
            out.boolVal = is_nonzero(n) ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case VT_R4: {
            double const d = as_double(n);
            if (std::isinf(d) || std::fabs(d) > FLT_MAX) return DISP_E_OVERFLOW;
            out.fltVal = static_cast<float>(d);
            break;
        }
        case VT_R8:
            out.dblVal = as_double(n);
            break;
        case VT_DATE: {
            double const d = as_double(n);
            if (!(d > -657435.0 && d < 2958466.0)) return DISP_E_OVERFLOW;
            out.date = d;
            break;
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
    out.vt = vt;
    return S_OK;
}

// ---- Text ------------------------------------------------------------------------------------

bool is_blank(char16_t c) noexcept {
    return c == u' ' || c == u'\t';
}

std::u16string_view trimmed(BSTR text) noexcept {
    std::u16string_view s(text != nullptr ? text : u"", SysStringLen(text));
    while (!s.empty() && is_blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool equals_ascii_nocase(std::u16string_view s, std::string_view word) noexcept {
    if (s.size() != word.size()) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != static_cast<unsigned char>(word[i])) return false;
    }
    return true;
}

bool is_digit(char16_t c) noexcept {
    return c >= u'0' && c <= u'9';
}

// A decimal number as sign, significant digits (no leading or trailing zeros; empty for zero)
// and the power of ten of the last digit.
struct Decimal {
    bool negative = false;
    std::string digits;
    long exponent = 0;
};

// [sign] digits [. digits] [e [sign] digits], at least one mantissa digit.
std::optional<Decimal> parse_decimal(std::u16string_view s) {
    Decimal d;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) d.negative = s[i++] == u'-';
    std::size_t mantissa_digits = 0;
    long fraction_digits = 0;
    for (; i < s.size() && is_digit(s[i]); ++i, ++mantissa_digits)
        d.digits.push_back(static_cast<char>(s[i]));
    if (i < s.size() && s[i] == u'.') {
        for (++i; i < s.size() && is_digit(s[i]); ++i, ++mantissa_digits, ++fraction_digits)
            d.digits.push_back(static_cast<char>(s[i]));
    }
    if (mantissa_digits == 0) return std::nullopt;
    long exponent = 0;
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
        ++i;
        bool negative_exponent = false;
        if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative_exponent = s[i++] == u'-';
        if (i >= s.size() || !is_digit(s[i])) return std::nullopt;
        for (; i < s.size() && is_digit(s[i]); ++i)
            if (exponent < 1000000) exponent = exponent * 10 + (s[i] - u'0');
        if (negative_exponent) exponent = -exponent;
    }
    if (i != s.size()) return std::nullopt;
    d.exponent = exponent - fraction_digits;
    std::size_t const first = d.digits.find_first_not_of('0');
    if (first == std::string::npos) {
        d.digits.clear();
        d.exponent = 0;
        return d;
    }
    d.digits.erase(0, first);
    std::size_t const last = d.digits.find_last_not_of('0');
    d.exponent += static_cast<long>(d.digits.size() - 1 - last);
    d.digits.erase(last + 1);
    return d;
}

// Rounds a decimal to an integer exactly (half to even); nullopt beyond 64 bits.
std::optional<Integral> integral_of(Decimal const& d) noexcept {
    Integral v{d.negative, 0};
    if (d.digits.empty()) return v;
    long const size = static_cast<long>(d.digits.size());
    long const integer_digits = size + d.exponent;
    if (integer_digits > 20) return std::nullopt;
    for (long i = 0; i < integer_digits; ++i) {
        unsigned const digit = i < size ? static_cast<unsigned>(d.digits[i] - '0') : 0;
        if (v.magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / 10)
            return std::nullopt;
        v.magnitude = v.magnitude * 10 + digit;
    }
    bool round_up = false;
    if (integer_digits >= 0 && integer_digits < size) {
        char const first = d.digits[integer_digits];
        // Trailing zeros are stripped, so any digit after the first fractional one is nonzero.
        bool const more = integer_digits + 1 < size;
        round_up = first > '5' || (first == '5' && (more || (v.magnitude & 1) != 0));
    }
    if (round_up) {
        if (v.magnitude == std::numeric_limits<std::uint64_t>::max()) return std::nullopt;
        ++v.magnitude;
    }
    return v;
}

// Correctly rounded double of a decimal; nullopt when it is beyond the double range.
std::optional<double> double_of(Decimal const& d) {
    if (d.digits.empty()) return d.negative ? -0.0 : 0.0;
    std::string text = d.digits + 'e' + std::to_string(d.exponent);
    double value = 0.0;
    auto const [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range) {
        long const leading_power = static_cast<long>(d.digits.size()) - 1 + d.exponent;
        if (leading_power >= 0) return std::nullopt;
        value = 0.0;  // too small to represent: it is zero
    } else if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return d.negative ? -value : value;
}

HRESULT make_bstr(std::string_view ascii, VARIANT& out) noexcept {
    BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(ascii.size()));
    if (b == nullptr) return E_OUTOFMEMORY;
    for (std::size_t i = 0; i < ascii.size(); ++i)
        b[i] = static_cast<char16_t>(static_cast<unsigned char>(ascii[i]));
    out = empty_variant();
    out.vt = VT_BSTR;
    out.bstrVal = b;
    return S_OK;
}

// Up to `precision` significant digits, shortest form, exponent as "1E+20" / "1.5E-07".
std::string format_double(double d, int precision) {
    if (std::isnan(d)) return "NaN";
    if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
    if (d == 0.0) return "0";
    char buffer[64];
    auto const result =
        std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::general, precision);
    std::string text(buffer, result.ptr);
    for (char& c : text)
        if (c == 'e') c = 'E';
    return text;
}

std::string format_date(SYSTEMTIME const& st) {
    bool const no_date = st.wYear == 1899 && st.wMonth == 12 && st.wDay == 30;
    bool const no_time = st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0;
    std::string text;
    if (!no_date) {
        text = std::to_string(st.wMonth) + '/' + std::to_string(st.wDay) + '/' +
               std::to_string(st.wYear);
        if (no_time) return text;
        text += ' ';
    }
    unsigned const hour12 = st.wHour % 12 == 0 ? 12 : st.wHour % 12;
    char time[32];
    std::snprintf(time, sizeof time, "%u:%02u:%02u %s", hour12, static_cast<unsigned>(st.wMinute),
                  static_cast<unsigned>(st.wSecond), st.wHour < 12 ? "AM" : "PM");
    return text + time;
}

// A small cursor over date text.
struct Scanner {
    std::u16string_view s;
    std::size_t pos = 0;

    bool at_end() const noexcept { return pos == s.size(); }
    bool take(char16_t c) noexcept {
        if (pos < s.size() && s[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    }
    // 1..max_digits decimal digits.
    std::optional<unsigned> number(std::size_t max_digits) noexcept {
        unsigned value = 0;
        std::size_t count = 0;
        while (pos < s.size() && is_digit(s[pos]) && count < max_digits) {
            value = value * 10 + (s[pos++] - u'0');
            ++count;
        }
        if (count == 0 || (pos < s.size() && is_digit(s[pos]))) return std::nullopt;
        return value;
    }
    std::size_t skip_blanks() noexcept {
        std::size_t const start = pos;
        while (pos < s.size() && is_blank(s[pos]))
            ++pos;
        return pos - start;
    }
};

// H:MM[:SS] [AM|PM]
bool parse_time(Scanner& in, SYSTEMTIME& st) noexcept {
    auto const hour = in.number(2);
    if (!hour || !in.take(u':')) return false;
    std::size_t const minute_start = in.pos;
    auto const minute = in.number(2);
    if (!minute || in.pos - minute_start != 2) return false;
    unsigned second = 0;
    if (in.take(u':')) {
        std::size_t const second_start = in.pos;
        auto const s = in.number(2);
        if (!s || in.pos - second_start != 2) return false;
        second = *s;
    }
    unsigned h = *hour;
    in.skip_blanks();
    std::u16string_view const rest = in.s.substr(in.pos);
    if (rest.size() >= 2) {
        std::u16string_view const marker = rest.substr(0, 2);
        bool const am = equals_ascii_nocase(marker, "am");
        bool const pm = equals_ascii_nocase(marker, "pm");
        if (am || pm) {
            if (h < 1 || h > 12) return false;
            h = (h % 12) + (pm ? 12 : 0);
            in.pos += 2;
        }
    }
    if (*minute > 59 || second > 59 || h > 23) return false;
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(*minute);
    st.wSecond = static_cast<WORD>(second);
    return true;
}

// "M/D/YYYY[ time]", "YYYY-MM-DD[( |T)time]" or a time alone (on day zero).
std::optional<DATE> parse_date(std::u16string_view text) noexcept {
    Scanner in{text};
    SYSTEMTIME st{1899, 12, 0, 30, 0, 0, 0, 0};
    std::size_t const start = in.pos;
    auto const first = in.number(4);
    if (!first) return std::nullopt;
    bool has_date = true;
    bool iso = false;
    if (in.take(u'/')) {
        auto const day = in.number(2);
        if (!day || !in.take(u'/')) return std::nullopt;
        auto const year = in.number(4);
        if (!year) return std::nullopt;
        st.wMonth = static_cast<WORD>(*first);
        st.wDay = static_cast<WORD>(*day);
        st.wYear = static_cast<WORD>(*year);
    } else if (in.take(u'-')) {
        auto const month = in.number(2);
        if (!month || !in.take(u'-')) return std::nullopt;
        auto const day = in.number(2);
        if (!day) return std::nullopt;
        st.wYear = static_cast<WORD>(*first);
        st.wMonth = static_cast<WORD>(*month);
        st.wDay = static_cast<WORD>(*day);
        iso = true;
    } else {
        has_date = false;
        in.pos = start;
    }
    if (has_date && !in.at_end()) {
        bool const separated = in.skip_blanks() > 0 || (iso && in.take(u'T'));
        if (!separated) return std::nullopt;
    }
    if (!in.at_end() && !parse_time(in, st)) return std::nullopt;
    if (!in.at_end()) return std::nullopt;
    DATE d;
    if (!SystemTimeToVariantTime(&st, &d)) return std::nullopt;
    return d;
}

HRESULT string_to(BSTR text, VARTYPE vt, VARIANT& out) {
    std::u16string_view const s = trimmed(text);
    if (vt == VT_DATE) {
        auto const d = parse_date(s);
        if (!d) return DISP_E_TYPEMISMATCH;
        out = empty_variant();
        out.vt = VT_DATE;
        out.date = *d;
        return S_OK;
    }
    if (equals_ascii_nocase(s, "true")) return number_to(signed_number(-1, true), vt, out);
    if (equals_ascii_nocase(s, "false")) return number_to(signed_number(0, true), vt, out);
    auto const decimal = parse_decimal(s);
    if (!decimal) return DISP_E_TYPEMISMATCH;
    if (is_integer_type(vt)) {
        auto const v = integral_of(*decimal);
        if (!v) return DISP_E_OVERFLOW;
        return store_integer(*v, vt, false, out);
    }
    if (vt == VT_BOOL) return number_to(signed_number(decimal->digits.empty() ? 0 : 1), vt, out);
    auto const d = double_of(*decimal);
    if (!d) return DISP_E_OVERFLOW;
    return number_to(real_number(*d), vt, out);
}

HRESULT to_bstr(VARIANT const& src, USHORT flags, VARIANT& out) {
    switch (src.vt) {
        case VT_EMPTY:
            return make_bstr("", out);
        case VT_BSTR:
            return copy_value(out, src);
        case VT_BOOL:
            if (flags & VARIANT_ALPHABOOL) return make_bstr(src.boolVal ? "True" : "False", out);
            return make_bstr(src.boolVal ? "-1" : "0", out);
        case VT_R4:
            return make_bstr(format_double(src.fltVal, 7), out);
        case VT_R8:
            return make_bstr(format_double(src.dblVal, 15), out);
        case VT_DATE: {
            SYSTEMTIME st;
            if (!VariantTimeToSystemTime(src.date, &st)) return E_INVALIDARG;
            return make_bstr(format_date(st), out);
        }
        default:
            break;
    }
    if (!is_integer_type(src.vt)) return DISP_E_TYPEMISMATCH;
    Number const n = number_of(src);
    char buffer[24];
    auto const result = n.kind == Number::Kind::signed_int
                            ? std::to_chars(buffer, buffer + sizeof buffer, n.s)
                            : std::to_chars(buffer, buffer + sizeof buffer, n.u);
    return make_bstr(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)), out);
}

// ---- Objects ---------------------------------------------------------------------------------

HRESULT object_to_object(VARIANT const& src, VARTYPE vt, VARIANT& out) noexcept {
    out = empty_variant();
    if (src.vt == vt) return copy_value(out, src);
    IUnknown* const unk = interface_of(src);
    if (unk == nullptr) {
        // A null reference stays null whatever its kind.
        out.vt = vt;
        return S_OK;
    }
    void* converted = nullptr;
    HRESULT const hr =
        unk->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &converted);
    if (hr == E_NOINTERFACE) return DISP_E_TYPEMISMATCH;
    if (FAILED(hr)) return hr;
    out.vt = vt;
    if (vt == VT_DISPATCH)
        out.pdispVal = static_cast<IDispatch*>(converted);
    else
        out.punkVal = static_cast<IUnknown*>(converted);
    return S_OK;
}

HRESULT convert(VARIANT const& src, LCID lcid, USHORT flags, VARTYPE vt, VARIANT& out);

// Asks an object for its default (DISPID_VALUE) property and converts that.
HRESULT value_property_to(IDispatch* object, LCID lcid, USHORT flags, VARTYPE vt, VARIANT& out) {
    if (object == nullptr) return DISP_E_TYPEMISMATCH;
    DISPPARAMS no_arguments{nullptr, nullptr, 0, 0};
    VARIANT value = empty_variant();
    HRESULT hr = object->Invoke(DISPID_VALUE, IID_NULL, lcid, DISPATCH_PROPERTYGET, &no_arguments,
                                &value, nullptr, nullptr);
    if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
    VARIANT view;
    hr = is_valid(value.vt) ? view_of(value, view) : DISP_E_BADVARTYPE;
    // An object whose value is again an object is not asked a second time, so an object
    // answering itself cannot loop.
    if (SUCCEEDED(hr)) hr = convert(view, lcid, flags | VARIANT_NOVALUEPROP, vt, out);
    VariantClear(&value);
    return hr;
}

// Converts the by-value variant src to vt into out, which receives a value of its own.
HRESULT convert(VARIANT const& src, LCID lcid, USHORT flags, VARTYPE vt, VARIANT& out) {
    out = empty_variant();
    if (src.vt == VT_DISPATCH || src.vt == VT_UNKNOWN) {
        if (vt == VT_DISPATCH || vt == VT_UNKNOWN) return object_to_object(src, vt, out);
        if (vt == VT_EMPTY) return S_OK;
        if (src.vt == VT_DISPATCH && (flags & VARIANT_NOVALUEPROP) == 0)
            return value_property_to(src.pdispVal, lcid, flags, vt, out);
        return DISP_E_TYPEMISMATCH;
    }
    if (src.vt == VT_NULL) {
        if (vt != VT_NULL) return DISP_E_TYPEMISMATCH;
        out.vt = VT_NULL;
        return S_OK;
    }
    switch (vt) {
        case VT_EMPTY:
            return S_OK;
        case VT_NULL:
            if (src.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
            out.vt = VT_NULL;
            return S_OK;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            // Nothing converts to an object except nothing, which becomes a null reference.
            if (src.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
            out.vt = vt;
            return S_OK;
        case VT_ERROR:
            if (src.vt == VT_ERROR)
                out.scode = src.scode;
            else if (src.vt == VT_I4)
                out.scode = src.lVal;
            else
                return DISP_E_TYPEMISMATCH;
            out.vt = VT_ERROR;
            return S_OK;
        case VT_BSTR:
            return to_bstr(src, flags, out);
        default:
            break;
    }
    // vt is numeric from here on.
    switch (src.vt) {
        case VT_ERROR:
            if (vt != VT_I4) return DISP_E_TYPEMISMATCH;
            out.vt = VT_I4;
            out.lVal = src.scode;
            return S_OK;
        case VT_BSTR:
            return string_to(src.bstrVal, vt, out);
        default:
            return number_to(number_of(src), vt, out);
    }
}

}  // namespace

void VariantInit(VARIANT* v) noexcept {
    if (v != nullptr) *v = empty_variant();
}

HRESULT VariantClear(VARIANT* v) noexcept {
    if (v == nullptr) return E_INVALIDARG;
    if (!is_valid(v->vt)) return DISP_E_BADVARTYPE;
    BSTR const text = v->vt == VT_BSTR ? v->bstrVal : nullptr;
    IUnknown* const unk = interface_of(*v);
    // Empty first: a Release that reaches back into this variant must find nothing to free.
    v->vt = VT_EMPTY;
    v->llVal = 0;
    SysFreeString(text);
    if (unk != nullptr) unk->Release();
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, VARIANT const* source) noexcept {
    if (dest == nullptr || source == nullptr) return E_INVALIDARG;
    if (dest == source) return is_valid(source->vt) ? S_OK : DISP_E_BADVARTYPE;
    // Copy before clearing: the source may be something dest keeps alive.
    VARIANT copy = empty_variant();
    HRESULT const hr = is_valid(source->vt) ? copy_value(copy, *source) : DISP_E_BADVARTYPE;
    HRESULT const cleared = assign(dest, copy);
    return FAILED(hr) ? hr : cleared;
}

HRESULT VariantCopyInd(VARIANT* dest, VARIANT const* source) noexcept {
    if (dest == nullptr || source == nullptr) return E_INVALIDARG;
    if ((source->vt & VT_BYREF) == 0) return VariantCopy(dest, source);
    VARIANT copy = empty_variant();
    VARIANT view;
    HRESULT hr = is_valid(source->vt) ? view_of(*source, view) : DISP_E_BADVARTYPE;
    if (SUCCEEDED(hr)) hr = copy_value(copy, view);
    HRESULT const cleared = assign(dest, copy);
    return FAILED(hr) ? hr : cleared;
}

HRESULT VariantChangeType(VARIANT* dest, VARIANT const* source, USHORT flags, VARTYPE vt) noexcept {
    return VariantChangeTypeEx(dest, source, LOCALE_USER_DEFAULT, flags, vt);
}

HRESULT VariantChangeTypeEx(VARIANT* dest, VARIANT const* source, LCID lcid, USHORT flags,
                            VARTYPE vt) noexcept {
    if (dest == nullptr || source == nullptr) return E_INVALIDARG;
    if (!is_valid(source->vt)) return DISP_E_BADVARTYPE;
    if (vt == VT_VARIANT) return E_INVALIDARG;
    if (!is_value_type(vt)) return DISP_E_BADVARTYPE;
    try {
        VARIANT view;
        HRESULT hr = view_of(*source, view);
        if (FAILED(hr)) return hr;
        VARIANT result;
        hr = convert(view, lcid, flags, vt, result);
        if (FAILED(hr)) return hr;
        // dest may be source: the result owns its own copy, so clearing the source is safe.
        return assign(dest, result);
    } catch (std::bad_alloc const&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT VarBstrCmp(BSTR left, BSTR right, [[maybe_unused]] LCID lcid,
                   [[maybe_unused]] ULONG flags) noexcept {
    UINT const left_length = SysStringLen(left);
    UINT const right_length = SysStringLen(right);
    UINT const common = left_length < right_length ? left_length : right_length;
    for (UINT i = 0; i < common; ++i) {
        if (left[i] != right[i]) return left[i] < right[i] ? VARCMP_LT : VARCMP_GT;
    }
    if (left_length == right_length) return VARCMP_EQ;
    return left_length < right_length ? VARCMP_LT : VARCMP_GT;
}
