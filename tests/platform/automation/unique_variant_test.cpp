#include <gtest/gtest.h>

#include <string_view>
#include <utility>

#include "platform/automation/UniqueBstr.h"
#include "platform/automation/UniqueVariant.h"
#include "platform/base/HResultBoundary.h"
#include "platform/com/Implements.h"
#include "tests/support/LockCountTest.h"
#include "tests/support/RefCount.h"
#include "tests/support/TestInterfaces.h"

namespace {

using ambivox::unique_variant;
using ambivox::testing::ref_count;
using namespace std::string_view_literals;

class Token : public ambivox::implements<Token, ITestBase> {
public:
    HRESULT GetValue(LONG* value) noexcept override {
        *value = 9;
        return S_OK;
    }
};

class UniqueVariant : public ambivox::testing::LockCountTest {};

TEST_F(UniqueVariant, FactoriesSetTypeAndValue) {
    EXPECT_EQ(unique_variant().type(), VT_EMPTY);
    auto i4 = unique_variant::from(LONG{-5});
    EXPECT_EQ(i4.type(), VT_I4);
    EXPECT_EQ(i4->lVal, -5);
    EXPECT_EQ(unique_variant::from(SHORT{7}).type(), VT_I2);
    EXPECT_EQ(unique_variant::from(2.5).get().dblVal, 2.5);
    EXPECT_EQ(unique_variant::from(LONGLONG{1} << 40).get().llVal, LONGLONG{1} << 40);
    auto text = unique_variant::from(u"probe"sv);
    ASSERT_EQ(text.type(), VT_BSTR);
    EXPECT_EQ(ambivox::bstr_view(text->bstrVal), u"probe"sv);
}

TEST_F(UniqueVariant, CopiesAreDeep) {
    auto text = unique_variant::from(u"deep"sv);
    unique_variant copy(text);
    ASSERT_EQ(copy.type(), VT_BSTR);
    EXPECT_NE(copy->bstrVal, text->bstrVal) << "each variant owns its own string";
    EXPECT_EQ(ambivox::bstr_view(copy->bstrVal), u"deep"sv);

    VARIANT out;
    text.copy_to(&out);
    EXPECT_NE(out.bstrVal, text->bstrVal);
    VariantClear(&out);

    auto token = ambivox::make<Token>();
    IUnknown* const unknown = static_cast<ITestBase*>(token.get());
    {
        VARIANT holder;
        VariantInit(&holder);
        holder.vt = VT_UNKNOWN;
        holder.punkVal = unknown;  // borrowed: holder is never cleared
        unique_variant first(holder);
        EXPECT_EQ(ref_count(unknown), 2u) << "copying a variant takes its own reference";
        unique_variant second(first);
        EXPECT_EQ(ref_count(unknown), 3u);
    }
    EXPECT_EQ(ref_count(unknown), 1u) << "destruction gives the references back";
}

TEST_F(UniqueVariant, MovesAttachAndRelease) {
    auto text = unique_variant::from(u"moving"sv);
    BSTR const raw = text->bstrVal;
    unique_variant moved(std::move(text));
    EXPECT_EQ(text.type(), VT_EMPTY);
    EXPECT_EQ(moved->bstrVal, raw);

    unique_variant assigned;
    assigned = std::move(moved);
    EXPECT_EQ(assigned->bstrVal, raw);
    auto& alias = assigned;
    assigned = alias;  // a deep copy of itself replaces itself
    EXPECT_EQ(ambivox::bstr_view(assigned->bstrVal), u"moving"sv);

    VARIANT loose;
    VariantInit(&loose);
    loose.vt = VT_BSTR;
    loose.bstrVal = SysAllocString(u"loose");
    auto owner = unique_variant::attach(loose);
    EXPECT_EQ(loose.vt, VT_EMPTY) << "the source gives up what it owned";
    EXPECT_EQ(ambivox::bstr_view(owner->bstrVal), u"loose"sv);

    VARIANT handed = owner.release();
    EXPECT_EQ(owner.type(), VT_EMPTY);
    EXPECT_EQ(handed.vt, VT_BSTR);
    VariantClear(&handed);
}

TEST_F(UniqueVariant, PutClearsWhatWasHeld) {
    auto text = unique_variant::from(u"old"sv);
    VARIANT* slot = text.put();
    EXPECT_EQ(slot->vt, VT_EMPTY);
    slot->vt = VT_BSTR;
    slot->bstrVal = SysAllocString(u"new");
    EXPECT_EQ(ambivox::bstr_view(text->bstrVal), u"new"sv);
    text.reset();
    EXPECT_EQ(text.type(), VT_EMPTY);
}

TEST_F(UniqueVariant, CopyOfAnUnknownTypeThrows) {
    VARIANT bogus;
    VariantInit(&bogus);
    bogus.vt = 0x0FFF;
    try {
        unique_variant copy(bogus);
        ADD_FAILURE() << "copying an unknown type must fail";
    } catch (ambivox::hresult_error const& e) {
        EXPECT_EQ(e.code(), DISP_E_BADVARTYPE);
    }
}

}  // namespace
