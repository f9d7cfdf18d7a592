#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "platform/automation/SnapshotEnumerator.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/automation/UniqueVariant.h"
#include "tests/support/LifeTracker.h"
#include "tests/support/LockCountTest.h"
#include "tests/support/RefCount.h"
#include "tests/support/TestInterfaces.h"

namespace {

using ambivox::com_ptr;
using ambivox::enum_snapshot;
using ambivox::unique_variant;
using ambivox::testing::LifeTracker;
using ambivox::testing::ref_count;
using namespace std::string_view_literals;

class Item : public ambivox::implements<Item, ITestBase> {
public:
    explicit Item(LifeTracker& tracker) : m_tracker(tracker) { ++m_tracker.constructed; }
    HRESULT GetValue(LONG* value) noexcept override {
        *value = 0;
        return S_OK;
    }

protected:
    ~Item() override { ++m_tracker.destroyed; }

private:
    LifeTracker& m_tracker;
};

class SnapshotEnumerator : public ambivox::testing::LockCountTest {
protected:
    // Enumerates 1, "two", 3.
    static com_ptr<IEnumVARIANT> three_items() {
        auto snapshot = std::make_shared<enum_snapshot<VARIANT>>();
        snapshot->push_back(unique_variant::from(LONG{1}).get());
        snapshot->push_back(unique_variant::from(u"two"sv).get());
        snapshot->push_back(unique_variant::from(LONG{3}).get());
        return ambivox::make_snapshot_enumerator<IEnumVARIANT, VARIANT>(std::move(snapshot));
    }

    // The next item as text ("1", "two", ...), or "" when none was fetched.
    static std::u16string next_text(IEnumVARIANT* e) {
        unique_variant item;
        ULONG fetched = 99;
        HRESULT const hr = e->Next(1, item.put(), &fetched);
        if (hr != S_OK || fetched != 1) return u"";
        if (item.type() == VT_I4)
            return std::u16string(1, static_cast<char16_t>(u'0' + item->lVal));
        if (item.type() == VT_BSTR) return std::u16string(ambivox::bstr_view(item->bstrVal));
        return u"?";
    }
};

TEST_F(SnapshotEnumerator, NextChecksItsArguments) {
    auto e = three_items();
    VARIANT items[2];
    ULONG fetched = 99;
    EXPECT_EQ(e->Next(0, items, &fetched), E_INVALIDARG);
    EXPECT_EQ(e->Next(1, nullptr, &fetched), E_POINTER);
    EXPECT_EQ(e->Next(2, items, nullptr), E_POINTER)
        << "more than one item needs somewhere to report the count";
    // None of the refusals moved the position.
    EXPECT_EQ(next_text(e.get()), u"1");
}

TEST_F(SnapshotEnumerator, NextFetchesWhatRemains) {
    auto e = three_items();
    VARIANT items[10];
    ULONG fetched = 0;
    ASSERT_EQ(e->Next(10, items, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 3u);
    EXPECT_EQ(items[0].vt, VT_I4);
    EXPECT_EQ(items[0].lVal, 1);
    ASSERT_EQ(items[1].vt, VT_BSTR);
    EXPECT_EQ(ambivox::bstr_view(items[1].bstrVal), u"two"sv);
    EXPECT_EQ(items[2].lVal, 3);
    for (ULONG i = 0; i < fetched; ++i)
        VariantClear(&items[i]);

    fetched = 99;
    EXPECT_EQ(e->Next(1, items, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u) << "an exhausted enumerator fetches nothing";

    // A single item may be fetched without a count.
    ASSERT_EQ(e->Reset(), S_OK);
    unique_variant one;
    EXPECT_EQ(e->Next(1, one.put(), nullptr), S_OK);
    EXPECT_EQ(one->lVal, 1);
}

TEST_F(SnapshotEnumerator, EachFetchIsAnIndependentCopy) {
    auto e = three_items();
    unique_variant first;
    unique_variant second;
    ASSERT_EQ(e->Skip(1), S_OK);
    ASSERT_EQ(e->Next(1, first.put(), nullptr), S_OK);
    ASSERT_EQ(e->Reset(), S_OK);
    ASSERT_EQ(e->Skip(1), S_OK);
    ASSERT_EQ(e->Next(1, second.put(), nullptr), S_OK);
    ASSERT_EQ(first.type(), VT_BSTR);
    EXPECT_NE(first->bstrVal, second->bstrVal);
    first.reset();  // freeing one fetched string leaves the snapshot's intact
    EXPECT_EQ(ambivox::bstr_view(second->bstrVal), u"two"sv);
}

TEST_F(SnapshotEnumerator, SkipAndReset) {
    auto e = three_items();
    EXPECT_EQ(e->Skip(0), E_INVALIDARG);
    EXPECT_EQ(e->Skip(2), S_OK);
    EXPECT_EQ(next_text(e.get()), u"3");
    ASSERT_EQ(e->Reset(), S_OK);
    EXPECT_EQ(e->Skip(5), S_FALSE);
    EXPECT_EQ(next_text(e.get()), u"") << "skipping past the end stops at the end";
    EXPECT_EQ(e->Skip(1), S_FALSE);
    ASSERT_EQ(e->Reset(), S_OK);
    EXPECT_EQ(next_text(e.get()), u"1");
}

TEST_F(SnapshotEnumerator, CloneKeepsPositionAndOutlivesTheOriginal) {
    auto e = three_items();
    ASSERT_EQ(e->Skip(1), S_OK);
    com_ptr<IEnumVARIANT> clone;
    ASSERT_EQ(e->Clone(clone.put()), S_OK);
    ASSERT_TRUE(clone);
    EXPECT_NE(clone.get(), e.get());
    EXPECT_EQ(e->Clone(nullptr), E_POINTER);

    EXPECT_EQ(next_text(e.get()), u"two");
    EXPECT_EQ(next_text(e.get()), u"3");
    e = nullptr;  // the clone shares the items, not the original's life
    EXPECT_EQ(next_text(clone.get()), u"two") << "the clone starts where the original was";
    EXPECT_EQ(next_text(clone.get()), u"3");
    EXPECT_EQ(next_text(clone.get()), u"");
    ASSERT_EQ(clone->Reset(), S_OK);
    EXPECT_EQ(next_text(clone.get()), u"1");
}

TEST_F(SnapshotEnumerator, AnswersOnlyItsInterface) {
    auto e = three_items();
    EXPECT_TRUE(e.try_as<IUnknown>());
    EXPECT_TRUE(e.try_as<IEnumVARIANT>());
    EXPECT_FALSE(e.try_as<IEnumConnections>());
    EXPECT_EQ(locks_now(), 1) << "a live enumerator locks the module";
}

TEST_F(SnapshotEnumerator, HoldsItsItemsAlive) {
    LifeTracker tracker;
    com_ptr<IEnumVARIANT> e;
    {
        auto item = ambivox::make<Item>(tracker);
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_UNKNOWN;
        v.punkVal = static_cast<ITestBase*>(item.get());  // borrowed
        auto snapshot = std::make_shared<enum_snapshot<VARIANT>>();
        snapshot->push_back(v);
        e = ambivox::make_snapshot_enumerator<IEnumVARIANT, VARIANT>(std::move(snapshot));
        EXPECT_EQ(ref_count(v.punkVal), 2u);
    }
    EXPECT_EQ(tracker.alive(), 1) << "the snapshot keeps its items";
    {
        unique_variant fetched;
        ASSERT_EQ(e->Next(1, fetched.put(), nullptr), S_OK);
        ASSERT_EQ(fetched.type(), VT_UNKNOWN);
        EXPECT_EQ(ref_count(fetched->punkVal), 2u) << "the fetched copy has its own reference";
    }
    e = nullptr;
    EXPECT_EQ(tracker.destroyed, 1);
}

TEST_F(SnapshotEnumerator, FailedCopiesLeaveNothingInTheSnapshot) {
    VARIANT bogus;
    VariantInit(&bogus);
    bogus.vt = 0x0FFF;
    enum_snapshot<VARIANT> snapshot;
    snapshot.push_back(unique_variant::from(LONG{1}).get());
    EXPECT_THROW(snapshot.push_back(bogus), ambivox::hresult_error);
    EXPECT_EQ(snapshot.items().size(), 1u);
}

}  // namespace
