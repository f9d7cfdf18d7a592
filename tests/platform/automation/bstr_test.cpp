#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/automation/Bstr.h"

namespace {

// The 32-bit byte length stored just before the data.
std::uint32_t stored_prefix(BSTR text) {
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<unsigned char const*>(text) - sizeof prefix,
                sizeof prefix);
    return prefix;
}

TEST(Bstr, PrefixHoldsByteLengthAndDataIsTerminated) {
    BSTR text = SysAllocString(u"probe");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(stored_prefix(text), 10u);
    EXPECT_EQ(SysStringLen(text), 5u);
    EXPECT_EQ(SysStringByteLen(text), 10u);
    EXPECT_EQ(std::u16string_view(text), u"probe");  // stops at the terminator
    EXPECT_EQ(text[5], u'\0');
    SysFreeString(text);

    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr) << "an empty string is a real string, not null";
    EXPECT_EQ(stored_prefix(empty), 0u);
    EXPECT_EQ(empty[0], u'\0');
    SysFreeString(empty);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
}

TEST(Bstr, AllocStringLenKeepsEmbeddedNullsAndZeroFillsWithoutText) {
    char16_t const source[] = {u'a', u'\0', u'b', u'c'};
    BSTR text = SysAllocStringLen(source, 4);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 4u);
    EXPECT_EQ(std::u16string_view(text, 4), std::u16string_view(source, 4));
    EXPECT_EQ(text[4], u'\0');
    SysFreeString(text);

    BSTR blank = SysAllocStringLen(nullptr, 6);
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(SysStringLen(blank), 6u);
    for (int i = 0; i <= 6; ++i)
        EXPECT_EQ(blank[i], u'\0') << i;
    SysFreeString(blank);
}

TEST(Bstr, ByteLenKeepsEmbeddedNullsAndOddLengths) {
    char const bytes[] = {'x', '\0', 'y', '\0', 'z'};
    BSTR text = SysAllocStringByteLen(bytes, 5);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(stored_prefix(text), 5u);
    EXPECT_EQ(SysStringByteLen(text), 5u);
    EXPECT_EQ(SysStringLen(text), 2u) << "an odd trailing byte is not a whole code unit";
    auto const* data = reinterpret_cast<unsigned char const*>(text);
    EXPECT_EQ(std::memcmp(data, bytes, 5), 0);
    // A whole zero code unit follows the data even though it ends mid-unit.
    EXPECT_EQ(data[5], 0);
    EXPECT_EQ(data[6], 0);
    SysFreeString(text);

    BSTR one = SysAllocStringByteLen("Q", 1);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(SysStringByteLen(one), 1u);
    EXPECT_EQ(SysStringLen(one), 0u);
    EXPECT_EQ(reinterpret_cast<unsigned char const*>(one)[0], 'Q');
    SysFreeString(one);

    BSTR zeroed = SysAllocStringByteLen(nullptr, 3);
    ASSERT_NE(zeroed, nullptr);
    EXPECT_EQ(SysStringByteLen(zeroed), 3u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(reinterpret_cast<unsigned char const*>(zeroed)[i], 0);
    SysFreeString(zeroed);
}

TEST(Bstr, NullIsAnEmptyStringEverywhere) {
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);  // must not crash
}

TEST(Bstr, UnrepresentableLengthsGiveNull) {
    EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
    // Doubled into bytes this is just below 4 GiB, too close to the prefix's limit.
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x7FFFFFFFu), nullptr);
    EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFFFu), nullptr);
    EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFFEu), nullptr);

    BSTR kept = SysAllocString(u"kept");
    EXPECT_EQ(SysReAllocStringLen(&kept, nullptr, 0xFFFFFFFFu), FALSE);
    EXPECT_EQ(std::u16string_view(kept), u"kept") << "a failed reallocation keeps the old string";
    SysFreeString(kept);
}

TEST(Bstr, ReAllocReplacesAndFreesTheOldString) {
    BSTR text = SysAllocString(u"old");
    ASSERT_EQ(SysReAllocString(&text, u"replacement"), TRUE);
    EXPECT_EQ(std::u16string_view(text), u"replacement");
    EXPECT_EQ(SysStringLen(text), 11u);

    ASSERT_EQ(SysReAllocStringLen(&text, u"abcdef", 3), TRUE);
    EXPECT_EQ(SysStringLen(text), 3u);
    EXPECT_EQ(std::u16string_view(text), u"abc");

    ASSERT_EQ(SysReAllocString(&text, nullptr), TRUE);
    EXPECT_EQ(text, nullptr);

    BSTR fromNull = nullptr;
    ASSERT_EQ(SysReAllocString(&fromNull, u"fresh"), TRUE);
    EXPECT_EQ(std::u16string_view(fromNull), u"fresh");
    SysFreeString(fromNull);

    EXPECT_EQ(SysReAllocString(nullptr, u"x"), FALSE);
    EXPECT_EQ(SysReAllocStringLen(nullptr, u"x", 1), FALSE);
}

TEST(Bstr, ReAllocFromItsOwnText) {
    BSTR text = SysAllocString(u"self");
    ASSERT_EQ(SysReAllocString(&text, text), TRUE);
    EXPECT_EQ(std::u16string_view(text), u"self");

    // A tail of the string being replaced is read before the old string goes.
    ASSERT_EQ(SysReAllocString(&text, text + 2), TRUE);
    EXPECT_EQ(std::u16string_view(text), u"lf");

    SysFreeString(text);
    text = SysAllocString(u"abcdef");
    ASSERT_EQ(SysReAllocStringLen(&text, text, 2), TRUE);
    EXPECT_EQ(SysStringLen(text), 2u);
    EXPECT_EQ(std::u16string_view(text), u"ab");

    // Lengthening a string from itself keeps what was there and reads nothing beyond it.
    ASSERT_EQ(SysReAllocStringLen(&text, text, 5), TRUE);
    EXPECT_EQ(SysStringLen(text), 5u);
    EXPECT_EQ(std::u16string_view(text, 5), std::u16string_view(u"ab\0\0\0", 5));
    EXPECT_EQ(text[5], u'\0');
    SysFreeString(text);
}

}  // namespace
