#include "platform/automation/Variant.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "platform/automation/Bstr.h"
#include "platform/automation/OleDate.h"
#include "platform/automation/VariantInternals.h"
#include "platform/base/Errors.h"

namespace ambivox::variant_detail {

namespace {

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

}  // namespace

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

}  // namespace ambivox::variant_detail

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
