#include <gtest/gtest.h>

#include <string>

#include "platform/base/CodePage.h"
#include "platform/base/Errors.h"
#include "platform/base/ThreadState.h"

namespace {

std::u16string decode(UINT cp, std::string const& bytes, DWORD flags = 0) {
    int const n =
        MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n == 0) return u"#failed";
    std::u16string out(static_cast<std::size_t>(n), u'\0');
    EXPECT_EQ(
        MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), out.data(), n),
        n);
    return out;
}

std::string encode(UINT cp, std::u16string const& text, BOOL* usedDefault = nullptr,
                   char const* defaultChar = nullptr) {
    int const n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      defaultChar, usedDefault);
    if (n == 0) return "#failed";
    std::string out(static_cast<std::size_t>(n), '\0');
    EXPECT_EQ(WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                                  defaultChar, usedDefault),
              n);
    return out;
}

}  // namespace

TEST(CodePage, AnsiIsWindows1252AndEveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    for (UINT cp : {CP_ACP, CP_THREAD_ACP, 1252u}) {
        std::u16string const wide = decode(cp, all);
        ASSERT_EQ(wide.size(), 256u);
        EXPECT_EQ(wide[0x41], u'A');
        EXPECT_EQ(wide[0x80], u'\x20AC');
        EXPECT_EQ(wide[0x8A], u'\x0160');
        EXPECT_EQ(wide[0x9F], u'\x0178');
        EXPECT_EQ(wide[0xA0], u'\xA0');
        EXPECT_EQ(wide[0xFF], u'\xFF');
        // The bytes the code page leaves undefined keep their C1 control.
        for (int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
            EXPECT_EQ(wide[b], char16_t(b)) << b;
        BOOL usedDefault = TRUE;
        EXPECT_EQ(encode(cp, wide, &usedDefault), all);
        EXPECT_FALSE(usedDefault);
    }
}

TEST(CodePage, UnmappableCharactersBecomeTheDefault) {
    BOOL usedDefault = FALSE;
    EXPECT_EQ(encode(CP_ACP,
                     u"A\x4E2D\x0100"
                     u"B",
                     &usedDefault),
              "A??B");
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(encode(CP_ACP, u"x\x0081y", &usedDefault), "x\x81y");
    EXPECT_FALSE(usedDefault);
    EXPECT_EQ(encode(CP_ACP, u"\xD83D\xDE00", &usedDefault, "*"), "**");
    EXPECT_TRUE(usedDefault);
    EXPECT_EQ(encode(CP_ACP, u"\x20AC"), "\x80");
}

TEST(CodePage, OemIsCodePage437) {
    EXPECT_EQ(decode(CP_OEMCP, "\x80\xB0\xE1\xFF"), u"\x00C7\x2591\x00DF\x00A0");
    BOOL usedDefault = FALSE;
    EXPECT_EQ(encode(437, u"\x2591\x20AC", &usedDefault), "\xB0?");
    EXPECT_TRUE(usedDefault);
}

TEST(CodePage, CountsTerminatorAndChecksBufferSize) {
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
    char16_t wide[8] = {u'x', u'x', u'x', u'x', u'x'};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 8), 4);
    EXPECT_EQ(std::u16string(wide), u"abc");
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 2, wide, 8), 2);

    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 3), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    char narrow[8];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\x20AC", -1, nullptr, 0, nullptr, nullptr), 4);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\x20AC", -1, narrow, 8, nullptr, nullptr), 4);
    EXPECT_EQ(std::string(narrow), "\xE2\x82\xAC");
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\x20AC", -1, narrow, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(CodePage, RejectsInvalidParameters) {
    char16_t wide[4];
    char narrow[4];
    BOOL usedDefault;
    auto rejected = [](int result) {
        return result == 0 && GetLastError() == ERROR_INVALID_PARAMETER;
    };
    SetLastError(0);
    EXPECT_TRUE(rejected(MultiByteToWideChar(CP_ACP, 0, nullptr, 3, wide, 4)));
    EXPECT_TRUE(rejected(MultiByteToWideChar(CP_ACP, 0, "abc", 0, wide, 4)));
    EXPECT_TRUE(rejected(MultiByteToWideChar(CP_ACP, 0, "abc", -2, wide, 4)));
    EXPECT_TRUE(rejected(MultiByteToWideChar(CP_ACP, 0, "abc", 3, nullptr, 4)));
    EXPECT_TRUE(rejected(MultiByteToWideChar(CP_ACP, 0, "abc", 3, wide, -1)));
    EXPECT_TRUE(rejected(MultiByteToWideChar(12345, 0, "abc", 3, wide, 4)));
    EXPECT_TRUE(rejected(MultiByteToWideChar(CP_ACP, 0x1000, "abc", 3, wide, 4)));
    EXPECT_TRUE(rejected(WideCharToMultiByte(CP_ACP, 0, nullptr, 3, narrow, 4, nullptr, nullptr)));
    EXPECT_TRUE(rejected(WideCharToMultiByte(CP_ACP, 0, u"abc", 0, narrow, 4, nullptr, nullptr)));
    EXPECT_TRUE(rejected(WideCharToMultiByte(2, 0, u"abc", 3, narrow, 4, nullptr, nullptr)));
    EXPECT_TRUE(
        rejected(WideCharToMultiByte(CP_UTF8, 0, u"abc", 3, narrow, 4, nullptr, &usedDefault)));
    EXPECT_TRUE(rejected(WideCharToMultiByte(CP_UTF8, 0, u"abc", 3, narrow, 4, "?", nullptr)));
}

TEST(CodePage, Utf8HandlesSurrogatePairs) {
    std::u16string const text = u"a\xD83D\xDE00\x00E9\x20AC\xDBFF\xDFFF";
    std::string const bytes = "a\xF0\x9F\x98\x80\xC3\xA9\xE2\x82\xAC\xF4\x8F\xBF\xBF";
    EXPECT_EQ(encode(CP_UTF8, text), bytes);
    EXPECT_EQ(decode(CP_UTF8, bytes), text);
    // Unpaired surrogates cannot be encoded.
    EXPECT_EQ(encode(CP_UTF8, u"\xD800x\xDC00"), "\xEF\xBF\xBDx\xEF\xBF\xBD");
    EXPECT_EQ(encode(CP_UTF8, u"\xDE00\xD83D"), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(CodePage, InvalidUtf8IsReplacedOrRejected) {
    EXPECT_EQ(decode(CP_UTF8,
                     "a\xFF"
                     "b"),
              u"a\xFFFD"
              u"b");
    EXPECT_EQ(decode(CP_UTF8, "\xC0\xAF"), u"\xFFFD\xFFFD");  // overlong
    EXPECT_EQ(decode(CP_UTF8,
                     "\xE2\x82"
                     "A"),
              u"\xFFFD"
              u"A");                                                    // truncated
    EXPECT_EQ(decode(CP_UTF8, "\xED\xA0\x80"), u"\xFFFD\xFFFD\xFFFD");  // encoded surrogate
    EXPECT_EQ(decode(CP_UTF8, "\xF4\x90\x80\x80"), u"\xFFFD\xFFFD\xFFFD\xFFFD");  // > U+10FFFF
    EXPECT_EQ(decode(CP_UTF8, "\xF0\x9F\x98"), u"\xFFFD");                        // cut at the end
    EXPECT_EQ(decode(CP_UTF8, "\x80"), u"\xFFFD");

    char16_t wide[8];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "ok\xE2\x82", 4, wide, 8), 0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "ok\xE2\x82\xAC", -1, wide, 8), 4);
}

TEST(CodePage, WholeStringHelpers) {
    std::string const bytes("\x80 \x00 \xFF", 5);
    std::u16string const wide = ambivox::widen(bytes, CP_ACP);
    EXPECT_EQ(wide, std::u16string(u"\x20AC \0 \xFF", 5));
    EXPECT_EQ(ambivox::narrow(wide, CP_ACP), bytes);
    EXPECT_EQ(ambivox::narrow(u"\x20AC\xD83D\xDE00", CP_UTF8), "\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(ambivox::widen("\xE2\x82", CP_UTF8), u"\xFFFD");
    EXPECT_EQ(ambivox::narrow(u"\x4E2D", CP_ACP), "?");
    EXPECT_EQ(ambivox::widen("", CP_UTF8), u"");
    EXPECT_EQ(ambivox::widen("abc", 12345), u"");
}
