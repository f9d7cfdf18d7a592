#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/automation/UniqueBstr.h"

namespace {

using ambivox::unique_bstr;
using namespace std::string_view_literals;

TEST(UniqueBstr, OwnsACopyOfTheText) {
    auto const text = u"a\0b"sv;
    unique_bstr owned(text);
    ASSERT_NE(owned.get(), nullptr);
    EXPECT_NE(owned.get(), text.data());
    EXPECT_EQ(owned.size(), 3u);
    EXPECT_EQ(owned.view(), text) << "embedded nulls survive";
    EXPECT_EQ(owned.str(), std::u16string(text));
    EXPECT_FALSE(owned.empty());

    unique_bstr empty(u""sv);
    EXPECT_NE(empty.get(), nullptr) << "an empty string is allocated, not null";
    EXPECT_TRUE(empty.empty());

    unique_bstr none;
    EXPECT_EQ(none.get(), nullptr);
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(none.view(), u""sv);
}

TEST(UniqueBstr, CopiesAreDeepAndByteExact) {
    unique_bstr odd = unique_bstr::attach(SysAllocStringByteLen("abc", 3));
    unique_bstr copy(odd);
    ASSERT_NE(copy.get(), odd.get());
    EXPECT_EQ(SysStringByteLen(copy.get()), 3u) << "an odd byte length is kept";
    EXPECT_EQ(reinterpret_cast<char const*>(copy.get())[2], 'c');

    unique_bstr assigned;
    assigned = odd;
    EXPECT_NE(assigned.get(), odd.get());
    EXPECT_EQ(SysStringByteLen(assigned.get()), 3u);

    EXPECT_EQ(unique_bstr::copy_of(nullptr).get(), nullptr);
    BSTR fresh = odd.copy();
    EXPECT_NE(fresh, odd.get());
    EXPECT_EQ(SysStringByteLen(fresh), 3u);
    SysFreeString(fresh);

    unique_bstr nothing;
    EXPECT_EQ(nothing.copy(), nullptr) << "a null string copies as null";
}

TEST(UniqueBstr, MovesAndSelfAssignment) {
    unique_bstr a(u"alpha"sv);
    BSTR const raw = a.get();
    unique_bstr b(std::move(a));
    EXPECT_EQ(a.get(), nullptr);
    EXPECT_EQ(b.get(), raw) << "a move does not copy";

    auto& alias = b;
    b = alias;
    EXPECT_EQ(b.view(), u"alpha"sv);
    b = std::move(alias);
    EXPECT_EQ(b.view(), u"alpha"sv);

    unique_bstr c(u"gamma"sv);
    c = std::move(b);
    EXPECT_EQ(c.view(), u"alpha"sv);
}

TEST(UniqueBstr, PutReleaseAndReset) {
    unique_bstr a(u"first"sv);
    BSTR* slot = a.put();
    EXPECT_EQ(*slot, nullptr) << "the old string is freed, not leaked";
    *slot = SysAllocString(u"second");
    EXPECT_EQ(a.view(), u"second"sv);

    BSTR taken = a.release();
    EXPECT_EQ(a.get(), nullptr);
    EXPECT_EQ(std::u16string_view(taken), u"second"sv);
    SysFreeString(taken);

    a = unique_bstr(u"third"sv);
    a.reset();
    EXPECT_EQ(a.get(), nullptr);
    EXPECT_EQ(ambivox::bstr_view(nullptr), u""sv);
}

TEST(UniqueBstr, MakeBstrCopiesTheView) {
    BSTR made = ambivox::make_bstr(u"x\0y"sv);
    EXPECT_EQ(SysStringLen(made), 3u);
    EXPECT_EQ(ambivox::bstr_view(made), u"x\0y"sv);
    SysFreeString(made);
}

}  // namespace
