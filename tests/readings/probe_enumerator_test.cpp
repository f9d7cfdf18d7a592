#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/automation/UniqueBstr.h"
#include "platform/automation/UniqueVariant.h"
#include "readings/CProbe.h"
#include "readings/CProbeCollection.h"
#include "tests/support/LockCountTest.h"
#include "tests/support/RefCount.h"

namespace {

using ambivox::com_ptr;
using ambivox::CProbe;
using ambivox::CProbeCollection;
using ambivox::unique_bstr;
using ambivox::unique_variant;
using ambivox::testing::ref_count;

class ProbeEnumeratorTest : public ambivox::testing::LockCountTest {
protected:
    void SetUp() override {
        LockCountTest::SetUp();
        probes = ambivox::make<CProbeCollection>();
        for (char16_t const* name : {u"first", u"second", u"third"}) {
            auto probe = ambivox::make<CProbe>();
            unique_bstr text(name);
            ASSERT_EQ(probe->put_Name(text.get()), S_OK);
            ASSERT_EQ(probes->Add(probe.get()), S_OK);
        }
    }
    void TearDown() override {
        probes = nullptr;
        LockCountTest::TearDown();
    }

    com_ptr<IEnumVARIANT> new_enum() {
        com_ptr<IUnknown> unknown;
        EXPECT_EQ(probes->get__NewEnum(unknown.put()), S_OK);
        com_ptr<IEnumVARIANT> items;
        EXPECT_EQ(unknown->QueryInterface(IEnumVARIANT::iid, items.put_void()), S_OK);
        return items;
    }
    static std::u16string name_of(VARIANT const& item) {
        EXPECT_EQ(item.vt, VT_DISPATCH);
        if (item.vt != VT_DISPATCH) return {};
        com_ptr<IProbe> probe;
        EXPECT_EQ(item.pdispVal->QueryInterface(IProbe::iid, probe.put_void()), S_OK);
        unique_bstr name;
        EXPECT_EQ(probe->get_Name(name.put()), S_OK);
        return name.str();
    }
    // The names of the next celt items, fetched in one call that must return expected.
    static std::vector<std::u16string> next(IEnumVARIANT* items, ULONG celt, HRESULT expected) {
        std::vector<VARIANT> fetched(celt);
        ULONG count = 12345;
        EXPECT_EQ(items->Next(celt, fetched.data(), &count), expected);
        std::vector<std::u16string> names;
        for (ULONG i = 0; i < count && i < celt; ++i) {
            names.push_back(name_of(fetched[i]));
            VariantClear(&fetched[i]);
        }
        return names;
    }
    static std::u16string next_one(IEnumVARIANT* items) {
        unique_variant item;
        EXPECT_EQ(items->Next(1, item.put(), nullptr), S_OK);
        return name_of(item.get());
    }

    using names = std::vector<std::u16string>;
    com_ptr<CProbeCollection> probes;
};

TEST_F(ProbeEnumeratorTest, AnswersOnlyItsOwnInterface) {
    com_ptr<IEnumVARIANT> items = new_enum();
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(items->QueryInterface(IDispatch::iid, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(items->QueryInterface(IProbeCollection::iid, &other), E_NOINTERFACE);
}

TEST_F(ProbeEnumeratorTest, NextRunsShortWithSFalse) {
    com_ptr<IEnumVARIANT> items = new_enum();
    EXPECT_EQ(next(items.get(), 10, S_FALSE), (names{u"first", u"second", u"third"}));
    EXPECT_EQ(next(items.get(), 1, S_FALSE), names{});

    ASSERT_EQ(items->Reset(), S_OK);
    EXPECT_EQ(next(items.get(), 2, S_OK), (names{u"first", u"second"}));
    EXPECT_EQ(next(items.get(), 2, S_FALSE), (names{u"third"}));
}

TEST_F(ProbeEnumeratorTest, NextArgumentChecks) {
    com_ptr<IEnumVARIANT> items = new_enum();
    VARIANT slots[2];
    ULONG count = 0;
    EXPECT_EQ(items->Next(0, slots, &count), E_INVALIDARG);
    EXPECT_EQ(items->Next(1, nullptr, &count), E_POINTER);
    EXPECT_EQ(items->Next(2, slots, nullptr), E_POINTER);
    // None of that moved the enumerator.
    EXPECT_EQ(next_one(items.get()), u"first");
}

TEST_F(ProbeEnumeratorTest, SkipResetAndClone) {
    com_ptr<IEnumVARIANT> items = new_enum();
    EXPECT_EQ(items->Skip(0), E_INVALIDARG);
    EXPECT_EQ(items->Skip(2), S_OK);
    EXPECT_EQ(next_one(items.get()), u"third");
    EXPECT_EQ(items->Skip(1), S_FALSE);
    ASSERT_EQ(items->Reset(), S_OK);
    EXPECT_EQ(items->Skip(5), S_FALSE);
    EXPECT_EQ(next(items.get(), 1, S_FALSE), names{});

    ASSERT_EQ(items->Reset(), S_OK);
    ASSERT_EQ(items->Skip(1), S_OK);
    EXPECT_EQ(items->Clone(nullptr), E_POINTER);
    com_ptr<IEnumVARIANT> copy;
    ASSERT_EQ(items->Clone(copy.put()), S_OK);
    EXPECT_NE(copy.get(), items.get());
    // Same place, separate positions.
    EXPECT_EQ(next_one(copy.get()), u"second");
    EXPECT_EQ(next_one(copy.get()), u"third");
    EXPECT_EQ(next_one(items.get()), u"second");
    // The clone still works once its source is gone.
    items = nullptr;
    ASSERT_EQ(copy->Reset(), S_OK);
    EXPECT_EQ(next(copy.get(), 3, S_OK), (names{u"first", u"second", u"third"}));
}

TEST_F(ProbeEnumeratorTest, TheSnapshotOutlivesChangesToTheCollection) {
    com_ptr<IEnumVARIANT> before = new_enum();
    ASSERT_EQ(probes->Remove(unique_variant::from(LONG{2}).get()), S_OK);
    com_ptr<IEnumVARIANT> after = new_enum();
    ASSERT_EQ(probes->Clear(), S_OK);

    // The removed probes are alive only because the enumerators hold them.
    EXPECT_EQ(locks_now(), 1 + 2 + 3);
    EXPECT_EQ(next(before.get(), 3, S_OK), (names{u"first", u"second", u"third"}));
    EXPECT_EQ(next(after.get(), 3, S_FALSE), (names{u"first", u"third"}));

    before = nullptr;
    EXPECT_EQ(locks_now(), 1 + 1 + 2);  // "second" went with the last snapshot holding it
    after = nullptr;
    EXPECT_EQ(locks_now(), 1);
}

TEST_F(ProbeEnumeratorTest, EachFetchedItemHoldsItsOwnReference) {
    com_ptr<IDispatch> first;
    ASSERT_EQ(probes->Item(unique_variant::from(LONG{1}).get(), first.put()), S_OK);
    ULONG const held = ref_count(first.get());  // ours and the collection's
    com_ptr<IEnumVARIANT> items = new_enum();
    EXPECT_EQ(ref_count(first.get()), held + 1);
    {
        unique_variant item;
        ASSERT_EQ(items->Next(1, item.put(), nullptr), S_OK);
        EXPECT_EQ(item->pdispVal, first.get());
        EXPECT_EQ(ref_count(first.get()), held + 2);
    }
    EXPECT_EQ(ref_count(first.get()), held + 1);
    items = nullptr;
    EXPECT_EQ(ref_count(first.get()), held);
}

TEST_F(ProbeEnumeratorTest, LiveEnumeratorsHoldTheModule) {
    EXPECT_EQ(locks_now(), 4);  // the collection and its three probes
    com_ptr<IEnumVARIANT> items = new_enum();
    EXPECT_EQ(locks_now(), 5);
    com_ptr<IEnumVARIANT> copy;
    ASSERT_EQ(items->Clone(copy.put()), S_OK);
    EXPECT_EQ(locks_now(), 6);
    items = nullptr;
    copy = nullptr;
    EXPECT_EQ(locks_now(), 4);

    // An empty collection still hands out a working enumerator.
    ASSERT_EQ(probes->Clear(), S_OK);
    items = new_enum();
    EXPECT_EQ(next(items.get(), 1, S_FALSE), names{});
}

}  // namespace
