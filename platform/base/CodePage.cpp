#include "platform/base/CodePage.h"

#include <climits>
#include <cstring>
#include <optional>

#include "platform/base/Errors.h"
#include "platform/base/ThreadState.h"

namespace {

enum class Page { windows1252, oem437, utf8 };

std::optional<Page> resolve(UINT code_page) noexcept {
    switch (code_page) {
        case CP_ACP:
        case CP_THREAD_ACP:
        case 1252:
            return Page::windows1252;
        case CP_OEMCP:
        case 437:
            return Page::oem437;
        case CP_UTF8:
            return Page::utf8;
        default:
            return std::nullopt;
    }
}

// 0x80..0x9F of Windows-1252. The five bytes the code page leaves undefined keep the C1
// control of the same value, so every byte survives a round trip.
constexpr char16_t cp1252_high[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// 0x80..0xFF of code page 437; the low half is ASCII with control characters as such.
constexpr char16_t cp437_high[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

constexpr char16_t replacement = 0xFFFD;

char16_t byte_to_unit(Page page, unsigned char b) noexcept {
    if (b < 0x80) return b;
    if (page == Page::oem437) return cp437_high[b - 0x80];
    if (b < 0xA0) return cp1252_high[b - 0x80];
    return b;
}

std::optional<unsigned char> unit_to_byte(Page page, char16_t c) noexcept {
    if (c < 0x80) return static_cast<unsigned char>(c);
    if (page == Page::windows1252 && c >= 0xA0 && c <= 0xFF) return static_cast<unsigned char>(c);
    char16_t const* table = page == Page::oem437 ? cp437_high : cp1252_high;
    std::size_t const size = page == Page::oem437 ? 128 : 32;
    for (std::size_t i = 0; i < size; ++i)
        if (table[i] == c) return static_cast<unsigned char>(0x80 + i);
    return std::nullopt;
}

// Decodes one UTF-8 sequence at s[0..n) into *cp and answers the bytes it used. An ill-formed
// sequence uses its longest well-formed prefix (at least one byte) and answers *cp = 0xFFFD
// with *valid false, so each broken piece of the input becomes exactly one replacement.
std::size_t decode_utf8(unsigned char const* s, std::size_t n, char32_t* cp, bool* valid) noexcept {
    unsigned char const b0 = s[0];
    *valid = true;
    if (b0 < 0x80) {
        *cp = b0;
        return 1;
    }
    std::size_t need;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    char32_t value;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        value = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        value = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;  // overlong
        if (b0 == 0xED) hi = 0x9F;  // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        value = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;  // overlong
        if (b0 == 0xF4) hi = 0x8F;  // beyond U+10FFFF
    } else {
        *valid = false;
        *cp = replacement;
        return 1;
    }
    for (std::size_t i = 1; i <= need; ++i) {
        if (i >= n || s[i] < lo || s[i] > hi) {
            *valid = false;
            *cp = replacement;
            return i;
        }
        value = (value << 6) | (s[i] & 0x3F);
        lo = 0x80;
        hi = 0xBF;
    }
    *cp = value;
    return need + 1;
}

// Runs the byte-to-UTF-16 conversion, handing each code unit to sink. False when strict and
// the input is invalid.
template <class Sink>
bool to_utf16(Page page, unsigned char const* s, std::size_t n, bool strict, Sink&& sink) {
    if (page != Page::utf8) {
        for (std::size_t i = 0; i < n; ++i)
            sink(byte_to_unit(page, s[i]));
        return true;
    }
    std::size_t i = 0;
    while (i < n) {
        char32_t cp;
        bool valid;
        i += decode_utf8(s + i, n - i, &cp, &valid);
        if (!valid && strict) return false;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            sink(static_cast<char16_t>(0xD800 + (cp >> 10)));
            sink(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            sink(static_cast<char16_t>(cp));
        }
    }
    return true;
}

// Runs the UTF-16-to-byte conversion, handing each byte to sink; answers whether the default
// character was needed.
template <class Sink>
bool from_utf16(Page page, char16_t const* s, std::size_t n, char fallback, Sink&& sink) {
    bool used_default = false;
    if (page != Page::utf8) {
        for (std::size_t i = 0; i < n; ++i) {
            if (auto const b = unit_to_byte(page, s[i])) {
                sink(static_cast<char>(*b));
            } else {
                sink(fallback);
                used_default = true;
            }
        }
        return used_default;
    }
    for (std::size_t i = 0; i < n; ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = replacement;
        }
        if (cp < 0x80) {
            sink(static_cast<char>(cp));
        } else if (cp < 0x800) {
            sink(static_cast<char>(0xC0 | (cp >> 6)));
            sink(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            sink(static_cast<char>(0xE0 | (cp >> 12)));
            sink(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            sink(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            sink(static_cast<char>(0xF0 | (cp >> 18)));
            sink(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            sink(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            sink(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return false;
}

int fail(DWORD error) noexcept {
    SetLastError(error);
    return 0;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLen, LPWSTR dst,
                        int dstLen) noexcept {
    if (src == nullptr || srcLen == 0 || srcLen < -1 || dstLen < 0 ||
        (dstLen > 0 && dst == nullptr) ||
        static_cast<void const*>(src) == static_cast<void const*>(dst))
        return fail(ERROR_INVALID_PARAMETER);
    auto const page = resolve(codePage);
    if (!page || (flags & ~MB_ERR_INVALID_CHARS) != 0) return fail(ERROR_INVALID_PARAMETER);

    auto const* bytes = reinterpret_cast<unsigned char const*>(src);
    std::size_t const n = srcLen == -1 ? std::strlen(src) + 1 : static_cast<std::size_t>(srcLen);
    bool const strict = (flags & MB_ERR_INVALID_CHARS) != 0;

    std::size_t needed = 0;
    if (!to_utf16(*page, bytes, n, strict, [&](char16_t) { ++needed; }))
        return fail(ERROR_NO_UNICODE_TRANSLATION);
    if (needed > static_cast<std::size_t>(INT_MAX)) return fail(ERROR_INSUFFICIENT_BUFFER);
    if (dstLen == 0) return static_cast<int>(needed);
    if (needed > static_cast<std::size_t>(dstLen)) return fail(ERROR_INSUFFICIENT_BUFFER);

    std::size_t written = 0;
    to_utf16(*page, bytes, n, strict, [&](char16_t c) { dst[written++] = c; });
    return static_cast<int>(written);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLen, LPSTR dst, int dstLen,
                        LPCSTR defaultChar, BOOL* usedDefault) noexcept {
    if (src == nullptr || srcLen == 0 || srcLen < -1 || dstLen < 0 ||
        (dstLen > 0 && dst == nullptr) ||
        static_cast<void const*>(src) == static_cast<void const*>(dst))
        return fail(ERROR_INVALID_PARAMETER);
    auto const page = resolve(codePage);
    if (!page || flags != 0) return fail(ERROR_INVALID_PARAMETER);
    // UTF-8 represents every character, so a default character makes no sense there.
    if (*page == Page::utf8 && (defaultChar != nullptr || usedDefault != nullptr))
        return fail(ERROR_INVALID_PARAMETER);

    std::size_t n = 0;
    if (srcLen == -1) {
        while (src[n] != u'\0')
            ++n;
        ++n;
    } else {
        n = static_cast<std::size_t>(srcLen);
    }
    char const fallback = defaultChar != nullptr ? defaultChar[0] : '?';

    std::size_t needed = 0;
    bool const defaulted = from_utf16(*page, src, n, fallback, [&](char) { ++needed; });
    if (usedDefault != nullptr) *usedDefault = defaulted ? TRUE : FALSE;
    if (needed > static_cast<std::size_t>(INT_MAX)) return fail(ERROR_INSUFFICIENT_BUFFER);
    if (dstLen == 0) return static_cast<int>(needed);
    if (needed > static_cast<std::size_t>(dstLen)) return fail(ERROR_INSUFFICIENT_BUFFER);

    std::size_t written = 0;
    from_utf16(*page, src, n, fallback, [&](char b) { dst[written++] = b; });
    return static_cast<int>(written);
}

namespace ambivox {

std::u16string widen(std::string_view bytes, UINT code_page) {
    std::u16string out;
    auto const page = resolve(code_page);
    if (!page) return out;
    auto const* data = reinterpret_cast<unsigned char const*>(bytes.data());
    std::size_t needed = 0;
    to_utf16(*page, data, bytes.size(), false, [&](char16_t) { ++needed; });
    out.reserve(needed);
    to_utf16(*page, data, bytes.size(), false, [&](char16_t c) { out.push_back(c); });
    return out;
}

std::string narrow(std::u16string_view text, UINT code_page) {
    std::string out;
    auto const page = resolve(code_page);
    if (!page) return out;
    std::size_t needed = 0;
    from_utf16(*page, text.data(), text.size(), '?', [&](char) { ++needed; });
    out.reserve(needed);
    from_utf16(*page, text.data(), text.size(), '?', [&](char b) { out.push_back(b); });
    return out;
}

}  // namespace ambivox
