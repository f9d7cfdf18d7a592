#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "platform/base/Errors.h"
#include "platform/base/Guid.h"

namespace {

constexpr GUID sample = ambivox::make_guid("01234567-89ab-CDEF-0123-456789ABCDEF");

TEST(Guid, MakeGuidPlacesEveryField) {
    EXPECT_EQ(sample.Data1, 0x01234567u);
    EXPECT_EQ(sample.Data2, 0x89ABu);
    EXPECT_EQ(sample.Data3, 0xCDEFu);
    BYTE const tail[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(sample.Data4[i], tail[i]) << i;

    constexpr GUID braced = ambivox::make_guid("{01234567-89AB-cdef-0123-456789abcdef}");
    static_assert(braced == sample);
    EXPECT_FALSE(sample == GUID_NULL);
    EXPECT_TRUE(IsEqualGUID(ambivox::make_guid("00000000-0000-0000-0000-000000000000"), GUID_NULL));
}

TEST(Guid, ParseAcceptsBracedAndUnbracedText) {
    auto const plain = ambivox::parse_guid(u"01234567-89AB-CDEF-0123-456789ABCDEF");
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(*plain, sample);
    auto const braced = ambivox::parse_guid(u"{01234567-89ab-cdef-0123-456789abcdef}");
    ASSERT_TRUE(braced.has_value());
    EXPECT_EQ(*braced, sample);
}

TEST(Guid, ParseRejectsMalformedText) {
    char16_t const* const bad[] = {
        u"",
        u"{}",
        u"01234567-89AB-CDEF-0123-456789ABCDE",     // one digit short
        u"01234567-89AB-CDEF-0123-456789ABCDEF0",   // one digit long
        u"{01234567-89AB-CDEF-0123-456789ABCDEF",   // brace not closed
        u"01234567-89AB-CDEF-0123-456789ABCDEF}",   // brace not opened
        u"(01234567-89AB-CDEF-0123-456789ABCDEF)",  // wrong brackets
        u"[01234567-89AB-CDEF-0123-456789ABCDEF}",
        u"0123456G-89AB-CDEF-0123-456789ABCDEF",  // not hex
        u"01234567-89AB-CDEF-0123-456789ABCDEg",
        u"01234567-89AB-CDEF-01 3-456789ABCDEF",
        u"01234567089AB-CDEF-0123-456789ABCDEF",  // dash replaced
        u"01234567-89AB-CDEF-0123+456789ABCDEF",
        u"0123456789ABCDEF0123456789ABCDEF----",   // dashes in the wrong places
        u"{0123456789AB-CDEF-0123-456789ABCDEF}",  // a dash missing, length kept by braces
        u"0x234567-89AB-CDEF-0123-456789ABCDEF",
        u"-1234567-89AB-CDEF-0123-456789ABCDEF",
        u"{{1234567-89AB-CDEF-0123-456789ABCDEF}",
        u"\uFF10123456-89AB-CDEF-0123-456789ABCDEF",  // a full-width digit
    };
    for (char16_t const* text : bad)
        EXPECT_FALSE(ambivox::parse_guid(text).has_value())
            << std::string(std::u16string_view(text).begin(), std::u16string_view(text).end());
}

TEST(Guid, FormatsBracedUpperCase) {
    EXPECT_EQ(ambivox::to_string(sample), "{01234567-89AB-CDEF-0123-456789ABCDEF}");
    EXPECT_EQ(ambivox::to_u16string(sample), u"{01234567-89AB-CDEF-0123-456789ABCDEF}");
    EXPECT_EQ(ambivox::to_string(GUID_NULL), "{00000000-0000-0000-0000-000000000000}");
    GUID const high = ambivox::make_guid("FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF");
    EXPECT_EQ(ambivox::to_string(high), "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}");
    // Formatting and parsing are inverses.
    EXPECT_EQ(ambivox::parse_guid(ambivox::to_u16string(high)), high);
}

TEST(Guid, StringFromGuid2NeedsRoomForTheTerminator) {
    OLECHAR buffer[40];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(StringFromGUID2(sample, buffer, 38), 0);
    EXPECT_EQ(buffer[0], u'#') << "nothing is written when the buffer is too small";
    EXPECT_EQ(StringFromGUID2(sample, nullptr, 39), 0);

    EXPECT_EQ(StringFromGUID2(sample, buffer, 39), 39);
    EXPECT_EQ(std::u16string_view(buffer), u"{01234567-89AB-CDEF-0123-456789ABCDEF}");
    EXPECT_EQ(buffer[39], u'#') << "nothing beyond the terminator is touched";
}

TEST(Guid, ClsidFromStringCodes) {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromString(u"{01234567-89AB-CDEF-0123-456789ABCDEF}", &clsid), S_OK);
    EXPECT_EQ(clsid, sample);

    CLSID untouched = sample;
    EXPECT_EQ(CLSIDFromString(u"{01234567-89AB-CDEF-0123-456789ABCDEX}", &untouched),
              CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromString(u"01234567-89AB-CDEF-0123-456789ABCDEF", &untouched),
              CO_E_CLASSSTRING)
        << "the class-string form is braced";
    EXPECT_EQ(CLSIDFromString(u"", &untouched), CO_E_CLASSSTRING);
    EXPECT_EQ(untouched, sample) << "a failure leaves the output alone";

    EXPECT_EQ(CLSIDFromString(nullptr, &clsid), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromString(u"{01234567-89AB-CDEF-0123-456789ABCDEF}", nullptr), E_INVALIDARG);

    IID iid{};
    EXPECT_EQ(IIDFromString(u"{01234567-89ab-cdef-0123-456789abcdef}", &iid), S_OK);
    EXPECT_EQ(iid, sample);
}

}  // namespace
