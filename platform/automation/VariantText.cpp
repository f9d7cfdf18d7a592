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

// Tabs and line ends count as blanks too: text often comes from a line of a file or a form.
bool is_blank(char16_t c) noexcept {
    return c == u' ' || (c >= u'\t' && c <= u'\r');
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

bool is_letter(char16_t c) noexcept {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// A small cursor over number and date text.
struct Scanner {
    std::u16string_view s;
    std::size_t pos = 0;

    bool at_end() const noexcept { return pos == s.size(); }
    // The next character, or 0 at the end (an embedded 0 matches nothing either).
    char16_t peek(std::size_t ahead = 0) const noexcept {
        return pos + ahead < s.size() ? s[pos + ahead] : u'\0';
    }
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

// A decimal number as sign, significant digits (no leading or trailing zeros; empty for zero)
// and the power of ten of the last digit.
struct Decimal {
    bool negative = false;
    std::string digits;
    long exponent = 0;
};

void strip_zeros(Decimal& d) {
    std::size_t const first = d.digits.find_first_not_of('0');
    if (first == std::string::npos) {
        d.digits.clear();
        d.exponent = 0;
        return;
    }
    d.digits.erase(0, first);
    std::size_t const last = d.digits.find_last_not_of('0');
    d.exponent += static_cast<long>(d.digits.size() - 1 - last);
    d.digits.erase(last + 1);
}

// "&H" hexadecimal or "&O" octal digits. The platform caps these at 32 bits and reads them as
// the bit pattern of the narrowest of SHORT and LONG that holds them, so "&HFFFF" is -1.
HRESULT parse_radix(std::u16string_view s, Decimal& d) {
    unsigned radix = 0;
    if (s.size() > 2 && (s[1] == u'H' || s[1] == u'h')) radix = 16;
    if (s.size() > 2 && (s[1] == u'O' || s[1] == u'o')) radix = 8;
    if (radix == 0) return DISP_E_TYPEMISMATCH;
    std::uint64_t value = 0;
    bool overflow = false;
    for (char16_t const c : s.substr(2)) {
        unsigned digit = radix;
        if (is_digit(c)) digit = c - u'0';
        if (c >= u'a' && c <= u'f') digit = c - u'a' + 10;
        if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
        if (digit >= radix) return DISP_E_TYPEMISMATCH;
        value = value * radix + digit;
        if (value > 0xFFFFFFFF) {
            overflow = true;
            value = 0;  // only the digits are checked from here on
        }
    }
    if (overflow) return DISP_E_OVERFLOW;
    std::int64_t const bits = value <= 0xFFFF ? std::int64_t{static_cast<std::int16_t>(value)}
                                              : std::int64_t{static_cast<std::int32_t>(value)};
    d.negative = bits < 0;
    d.digits = std::to_string(bits < 0 ? -bits : bits);
    d.exponent = 0;
    strip_zeros(d);
    return S_OK;
}

// The platform's standard number syntax under en-US, the runtime's only locale: around the
// digits, blanks, a "$" and either one sign or parentheses for a negative; the sign may also
// follow the number ("5-"). Digits of the integer part may be grouped by ",", then come a
// decimal point and an exponent.
HRESULT parse_number(std::u16string_view s, Decimal& d) {
    if (!s.empty() && s.front() == u'&') return parse_radix(s, d);
    Scanner in{s};
    char16_t sign = 0;
    bool parenthesised = false;
    bool currency = false;
    for (;; ++in.pos) {
        in.skip_blanks();
        char16_t const c = in.peek();
        bool const signable = sign == 0 && !parenthesised;
        if (signable && (c == u'+' || c == u'-'))
            sign = c;
        else if (signable && c == u'(')
            parenthesised = true;
        else if (!currency && c == u'$')
            currency = true;
        else
            break;
    }
    std::size_t mantissa_digits = 0;
    long fraction_digits = 0;
    while (is_digit(in.peek())) {
        d.digits.push_back(static_cast<char>(in.s[in.pos++]));
        ++mantissa_digits;
        // A separator only between two digits, so "1,,0", "1," and ",1" stay malformed.
        if (in.peek() == u',' && is_digit(in.peek(1))) ++in.pos;
    }
    if (in.take(u'.')) {
        for (; is_digit(in.peek()); ++mantissa_digits, ++fraction_digits)
            d.digits.push_back(static_cast<char>(in.s[in.pos++]));
    }
    if (mantissa_digits == 0) return DISP_E_TYPEMISMATCH;
    long exponent = 0;
    if (in.take(u'e') || in.take(u'E')) {
        bool negative_exponent = false;
        if (in.peek() == u'+' || in.peek() == u'-') negative_exponent = in.s[in.pos++] == u'-';
        if (!is_digit(in.peek())) return DISP_E_TYPEMISMATCH;
        for (; is_digit(in.peek()); ++in.pos)
            if (exponent < 1000000) exponent = exponent * 10 + (in.s[in.pos] - u'0');
        if (negative_exponent) exponent = -exponent;
    }
    bool closed = false;
    for (;; ++in.pos) {
        in.skip_blanks();
        char16_t const c = in.peek();
        if (sign == 0 && !parenthesised && (c == u'+' || c == u'-'))
            sign = c;
        else if (parenthesised && !closed && c == u')')
            closed = true;
        else
            break;
    }
    if (!in.at_end() || parenthesised != closed) return DISP_E_TYPEMISMATCH;
    d.negative = sign == u'-' || parenthesised;
    d.exponent = exponent - fraction_digits;
    strip_zeros(d);
    return S_OK;
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

// The months as en-US names them; the first three letters of each are its abbreviation.
constexpr std::string_view month_names[12] = {"january",   "february", "march",    "april",
                                              "may",       "june",     "july",     "august",
                                              "september", "october",  "november", "december"};

std::optional<unsigned> month_name(Scanner& in) noexcept {
    std::size_t const start = in.pos;
    while (is_letter(in.peek()))
        ++in.pos;
    std::u16string_view const word = in.s.substr(start, in.pos - start);
    for (unsigned m = 0; m < 12; ++m) {
        if (equals_ascii_nocase(word, month_names[m]) ||
            equals_ascii_nocase(word, month_names[m].substr(0, 3)))
            return m + 1;
    }
    in.pos = start;
    return std::nullopt;
}

// One or two digits are a year in the platform's window: 00-29 are 2000-2029 and 30-99 are
// 1930-1999. Written with more digits, a year is taken as it stands.
std::optional<unsigned> year(Scanner& in) noexcept {
    std::size_t const start = in.pos;
    auto const y = in.number(4);
    if (!y || in.pos - start > 2) return y;
    return *y < 30 ? 2000 + *y : 1900 + *y;
}

// What separates the parts of a date that names its month: blanks, a comma or both.
bool name_separator(Scanner& in) noexcept {
    std::size_t const start = in.pos;
    in.skip_blanks();
    if (in.take(u',')) in.skip_blanks();
    return in.pos > start;
}

enum class DateForm { none, plain, iso };

// "M/D/Y", "YYYY-MM-DD", "D-Mon-Y", "Month D, Y" or "D Month Y" into st. Without a date, in
// stays where it was and the answer is none.
std::optional<DateForm> calendar_date(Scanner& in, SYSTEMTIME& st) noexcept {
    auto const found = [&st](unsigned m, std::optional<unsigned> d, std::optional<unsigned> y,
                             DateForm form) -> std::optional<DateForm> {
        if (!d || !y) return std::nullopt;
        st.wMonth = static_cast<WORD>(m);
        st.wDay = static_cast<WORD>(*d);
        st.wYear = static_cast<WORD>(*y);
        return form;
    };
    std::optional<unsigned> const none;
    if (auto const m = month_name(in)) {
        auto const d = name_separator(in) ? in.number(2) : none;
        return found(*m, d, d && name_separator(in) ? year(in) : none, DateForm::plain);
    }
    std::size_t const start = in.pos;
    auto const first = in.number(4);
    if (!first) return std::nullopt;
    bool const may_be_day = in.pos - start <= 2;
    if (in.take(u'/')) {
        auto const d = in.number(2);
        return found(*first, d, d && in.take(u'/') ? year(in) : none, DateForm::plain);
    }
    if (in.take(u'-')) {
        if (auto const m = month_name(in))
            return found(*m, first, may_be_day && in.take(u'-') ? year(in) : none, DateForm::plain);
        auto const m = in.number(2);
        if (!m || !in.take(u'-')) return std::nullopt;
        return found(*m, in.number(2), first, DateForm::iso);
    }
    if (may_be_day && name_separator(in)) {
        if (auto const m = month_name(in))
            return found(*m, first, name_separator(in) ? year(in) : none, DateForm::plain);
    }
    in.pos = start;
    return DateForm::none;
}

// A calendar date, a time after it or both; a time alone falls on day zero.
std::optional<DATE> parse_date(std::u16string_view text) noexcept {
    Scanner in{text};
    SYSTEMTIME st{1899, 12, 0, 30, 0, 0, 0, 0};
    auto const form = calendar_date(in, st);
    if (!form) return std::nullopt;
    if (*form != DateForm::none && !in.at_end()) {
        bool const separated = in.skip_blanks() > 0 || (*form == DateForm::iso && in.take(u'T'));
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
    Decimal decimal;
    if (HRESULT const hr = parse_number(s, decimal); FAILED(hr)) return hr;
    if (is_integer_type(vt)) {
        auto const v = integral_of(decimal);
        if (!v) return DISP_E_OVERFLOW;
        return store_integer(*v, vt, false, out);
    }
    if (vt == VT_BOOL) return number_to(signed_number(decimal.digits.empty() ? 0 : 1), vt, out);
    auto const d = double_of(decimal);
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
