#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/automation/UniqueBstr.h"
#include "platform/automation/UniqueVariant.h"
#include "readings/CProbe.h"
#include "readings/CProbeCollection.h"
#include "tests/support/FakeProbe.h"
#include "tests/support/LockCountTest.h"
#include "tests/support/RefCount.h"

namespace {

using ambivox::com_ptr;
using ambivox::CProbe;
using ambivox::CProbeCollection;
using ambivox::unique_bstr;
using ambivox::unique_variant;
using ambivox::testing::FakeProbe;
using ambivox::testing::ref_count;

unique_variant i2(SHORT value) {
    return unique_variant::from(value);
}
unique_variant i4(LONG value) {
    return unique_variant::from(value);
}
unique_variant text(std::u16string_view value) {
    return unique_variant::from(value);
}

IDispatch* dispatch_of(IProbe* probe) {
    return probe;
}

template <class T>
ULONG refs(T* object) {
    return ref_count(object->controlling_unknown());
}

class ProbeCollectionTest : public ambivox::testing::LockCountTest {
protected:
    void SetUp() override {
        LockCountTest::SetUp();
        probes = ambivox::make<CProbeCollection>();
    }
    void TearDown() override {
        probes = nullptr;
        LockCountTest::TearDown();
    }

    static com_ptr<CProbe> new_probe(std::u16string_view name, SHORT number = -1) {
        auto probe = ambivox::make<CProbe>();
        unique_bstr text(name);
        EXPECT_EQ(probe->put_Name(text.get()), S_OK);
        EXPECT_EQ(probe->put_Number(number), S_OK);
        return probe;
    }
    // A probe of that name and number, added, and kept by the collection alone.
    void add_new(std::u16string_view name, SHORT number = -1) {
        ASSERT_EQ(probes->Add(new_probe(name, number).get()), S_OK);
    }
    LONG count() {
        LONG value = -1;
        EXPECT_EQ(probes->get_Count(&value), S_OK);
        return value;
    }
    static SHORT number_of(IProbe* probe) {
        SHORT number = 0;
        EXPECT_EQ(probe->get_Number(&number), S_OK);
        return number;
    }
    static SHORT number_of(IDispatch* item) {
        com_ptr<IProbe> probe;
        EXPECT_EQ(item->QueryInterface(IProbe::iid, probe.put_void()), S_OK);
        return number_of(probe.get());
    }
    static std::u16string name_of(IDispatch* item) {
        com_ptr<IProbe> probe;
        EXPECT_EQ(item->QueryInterface(IProbe::iid, probe.put_void()), S_OK);
        unique_bstr name;
        EXPECT_EQ(probe->get_Name(name.put()), S_OK);
        return name.str();
    }
    // The number of the probe Item hands out, or the failure as a negative HRESULT.
    LONG item(unique_variant const& index) {
        com_ptr<IDispatch> found;
        HRESULT const hr = probes->Item(index.get(), found.put());
        if (FAILED(hr)) {
            EXPECT_EQ(found, nullptr);
            return hr;
        }
        return number_of(found.get());
    }
    LONG item_by_number(VARIANT const& index) {
        com_ptr<IDispatch> found;
        HRESULT const hr = probes->ItemByNumber(index, found.put());
        if (FAILED(hr)) {
            EXPECT_EQ(found, nullptr);
            return hr;
        }
        return number_of(found.get());
    }
    LONG item_by_number(unique_variant const& index) { return item_by_number(index.get()); }
    std::vector<SHORT> numbers() {
        std::vector<SHORT> result;
        for (LONG position = 1; position <= count(); ++position)
            result.push_back(static_cast<SHORT>(item(i4(position))));
        return result;
    }

    com_ptr<CProbeCollection> probes;
};

TEST_F(ProbeCollectionTest, NewCollectionIsEmpty) {
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(item(i4(1)), E_INVALIDARG);
    EXPECT_EQ(item_by_number(i2(1)), E_INVALIDARG);
    EXPECT_EQ(probes->Remove(i4(1).get()), E_INVALIDARG);
    EXPECT_EQ(probes->Clear(), S_OK);
    EXPECT_EQ(count(), 0);
}

TEST_F(ProbeCollectionTest, NullPointers) {
    EXPECT_EQ(probes->get_Count(nullptr), E_POINTER);
    EXPECT_EQ(probes->Add(nullptr), E_POINTER);
    add_new(u"one");
    EXPECT_EQ(probes->Item(i4(1).get(), nullptr), E_POINTER);
    EXPECT_EQ(probes->ItemByNumber(i4(1).get(), nullptr), E_POINTER);
    EXPECT_EQ(probes->get__NewEnum(nullptr), E_POINTER);
    EXPECT_EQ(count(), 1);
}

TEST_F(ProbeCollectionTest, UnnumberedProbesGetTheLowestFreeNumber) {
    // Fresh probes, as a device makes them: named "default" and unnumbered.
    auto first = ambivox::make<CProbe>();
    auto second = ambivox::make<CProbe>();
    ASSERT_EQ(probes->Add(first.get()), S_OK);
    ASSERT_EQ(probes->Add(second.get()), S_OK);
    EXPECT_EQ(number_of(first.get()), 1);
    EXPECT_EQ(number_of(second.get()), 2);

    ASSERT_EQ(probes->Clear(), S_OK);
    add_new(u"a", 1);
    add_new(u"c", 3);
    auto gap = new_probe(u"b");
    ASSERT_EQ(probes->Add(gap.get()), S_OK);
    EXPECT_EQ(number_of(gap.get()), 2);
    auto after = new_probe(u"d");
    ASSERT_EQ(probes->Add(after.get()), S_OK);
    EXPECT_EQ(number_of(after.get()), 4);
    EXPECT_EQ(numbers(), (std::vector<SHORT>{1, 2, 3, 4}));

    // Numbers given back by Remove are given out again, lowest first; Clear frees them all.
    add_new(u"top", 32767);
    for (SHORT removed : {3, 1})
        ASSERT_EQ(probes->Remove(i2(removed).get()), S_OK);
    for (SHORT expected : {1, 3, 5}) {
        auto next = new_probe(u"n");
        ASSERT_EQ(probes->Add(next.get()), S_OK);
        EXPECT_EQ(number_of(next.get()), expected);
    }
    ASSERT_EQ(probes->Clear(), S_OK);
    auto again = new_probe(u"again");
    ASSERT_EQ(probes->Add(again.get()), S_OK);
    EXPECT_EQ(number_of(again.get()), 1);
}

TEST_F(ProbeCollectionTest, AProbeWhoseNumberCannotBeReadCountsAsUnnumbered) {
    add_new(u"a", 1);
    auto fake = ambivox::make<FakeProbe>(u"fake", SHORT{1});
    fake->number_fails = true;
    ASSERT_EQ(probes->Add(fake.get()), S_OK);
    EXPECT_EQ(fake->number, 2);
    EXPECT_EQ(fake->number_writes, 1);
    EXPECT_EQ(count(), 2);
}

TEST_F(ProbeCollectionTest, RefusedAddsInsertNothing) {
    auto five = new_probe(u"five", 5);
    ASSERT_EQ(probes->Add(five.get()), S_OK);
    auto again = new_probe(u"other five", 5);
    EXPECT_EQ(probes->Add(again.get()), E_INVALIDARG);
    EXPECT_EQ(probes->Add(five.get()), E_INVALIDARG);  // the same probe twice
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(refs(again.get()), 1u);
    EXPECT_EQ(refs(five.get()), 2u);

    // A name is required, and a real probe cannot lose its own.
    auto nameless = ambivox::make<FakeProbe>(u"");
    EXPECT_EQ(probes->Add(nameless.get()), E_INVALIDARG);
    EXPECT_EQ(nameless->number_writes, 0);
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(refs(nameless.get()), 1u);
}

TEST_F(ProbeCollectionTest, OrderIsBySignedNumberAndAddedNumbersStayKeys) {
    add_new(u"nine", 9);
    add_new(u"minus", -5);
    add_new(u"two", 2);
    auto zero = new_probe(u"zero", 0);
    ASSERT_EQ(probes->Add(zero.get()), S_OK);
    EXPECT_EQ(numbers(), (std::vector<SHORT>{-5, 0, 2, 9}));

    // Renumbering a probe afterwards neither moves nor re-keys its entry.
    ASSERT_EQ(zero->put_Number(50), S_OK);
    EXPECT_EQ(item_by_number(i2(0)), 50);
    EXPECT_EQ(item_by_number(i2(50)), E_INVALIDARG);
    EXPECT_EQ(item(i4(2)), 50);
    EXPECT_EQ(probes->Remove(i2(0).get()), S_OK);
    EXPECT_EQ(count(), 3);
}

TEST_F(ProbeCollectionTest, IntegersArePositionsForItemButNumbersElsewhere) {
    add_new(u"two", 2);
    add_new(u"five", 5);
    add_new(u"nine", 9);

    EXPECT_EQ(item(i4(1)), 2);
    EXPECT_EQ(item(i2(2)), 5);
    EXPECT_EQ(item(i4(3)), 9);
    for (LONG outOfRange : {4, 0, -1, 65537})
        EXPECT_EQ(item(i4(outOfRange)), E_INVALIDARG);
    EXPECT_EQ(item(i2(-1)), E_INVALIDARG);

    EXPECT_EQ(item_by_number(i2(5)), 5);
    EXPECT_EQ(item_by_number(i4(9)), 9);
    EXPECT_EQ(item_by_number(i2(1)), E_INVALIDARG);
    EXPECT_EQ(item_by_number(i4(3)), E_INVALIDARG);

    EXPECT_EQ(probes->Remove(i4(2).get()), S_OK);  // probe number 2, not the second
    EXPECT_EQ(numbers(), (std::vector<SHORT>{5, 9}));
    EXPECT_EQ(probes->Remove(i4(3).get()), E_INVALIDARG);
    EXPECT_EQ(count(), 2);
}

TEST_F(ProbeCollectionTest, NumbersAreTheLow16BitsSigned) {
    add_new(u"five", 5);
    add_new(u"low", -32768);

    EXPECT_EQ(item_by_number(i4(65541)), 5);
    EXPECT_EQ(item_by_number(i4(-65531)), 5);  // 0xFFFF0005
    EXPECT_EQ(item_by_number(i4(32768)), -32768);
    EXPECT_EQ(item_by_number(i4(65535)), E_INVALIDARG);  // number -1
    EXPECT_EQ(probes->Remove(i4(0x10005).get()), S_OK);
    EXPECT_EQ(numbers(), (std::vector<SHORT>{-32768}));
}

TEST_F(ProbeCollectionTest, ItemByNumberTakesAnyOtherIndexAsNumberOne) {
    add_new(u"one", 1);
    add_new(u"five", 5);
    EXPECT_EQ(item_by_number(text(u"five")), 1);
    EXPECT_EQ(item_by_number(unique_variant::from(5.0)), 1);
    LONG five = 5;
    VARIANT byRef{};
    byRef.vt = VT_BYREF | VT_I4;
    byRef.plVal = &five;
    EXPECT_EQ(item_by_number(byRef), 1);
    EXPECT_EQ(item_by_number(unique_variant()), 1);

    ASSERT_EQ(probes->Remove(i2(1).get()), S_OK);
    EXPECT_EQ(item_by_number(text(u"five")), E_INVALIDARG);
}

TEST_F(ProbeCollectionTest, UnsupportedIndexTypesAreRefused) {
    add_new(u"one", 1);
    LONG one = 1;
    VARIANT byRef{};
    byRef.vt = VT_BYREF | VT_I4;
    byRef.plVal = &one;
    std::vector<unique_variant> refused;
    refused.push_back(unique_variant::from(1.0));
    refused.push_back(unique_variant::from(LONGLONG{1}));
    refused.push_back(unique_variant());
    for (unique_variant const& index : refused) {
        EXPECT_EQ(item(index), E_INVALIDARG) << "type " << index.type();
        EXPECT_EQ(probes->Remove(index.get()), E_INVALIDARG) << "type " << index.type();
    }
    com_ptr<IDispatch> found;
    EXPECT_EQ(probes->Item(byRef, found.put()), E_INVALIDARG);
    EXPECT_EQ(probes->Remove(byRef), E_INVALIDARG);
    EXPECT_EQ(count(), 1);
}

TEST_F(ProbeCollectionTest, NamesMatchCaseSensitivelyLowestNumberFirst) {
    add_new(u"dup", 7);
    add_new(u"dup", 3);
    add_new(u"other", 1);

    EXPECT_EQ(item(text(u"dup")), 3);
    EXPECT_EQ(item(text(u"other")), 1);
    EXPECT_EQ(item(text(u"Dup")), E_INVALIDARG);
    EXPECT_EQ(item(text(u"du")), E_INVALIDARG);
    EXPECT_EQ(item(text(u"")), E_INVALIDARG);

    EXPECT_EQ(probes->Remove(text(u"DUP").get()), E_INVALIDARG);
    EXPECT_EQ(probes->Remove(text(u"dup").get()), S_OK);
    EXPECT_EQ(item(text(u"dup")), 7);
    EXPECT_EQ(probes->Remove(text(u"dup").get()), S_OK);
    EXPECT_EQ(probes->Remove(text(u"dup").get()), E_INVALIDARG);
    EXPECT_EQ(numbers(), (std::vector<SHORT>{1}));
}

TEST_F(ProbeCollectionTest, NamesFollowRenamesRemovesAndClears) {
    auto one = new_probe(u"a", 1);
    auto two = new_probe(u"b", 2);
    ASSERT_EQ(probes->Add(one.get()), S_OK);
    ASSERT_EQ(probes->Add(two.get()), S_OK);
    auto rename = [](IProbe* probe, std::u16string_view name) {
        unique_bstr text(name);
        ASSERT_EQ(probe->put_Name(text.get()), S_OK);
    };

    rename(two.get(), u"a");
    EXPECT_EQ(item(text(u"a")), 1);
    EXPECT_EQ(item(text(u"b")), E_INVALIDARG);
    rename(one.get(), u"c");
    EXPECT_EQ(item(text(u"a")), 2);
    EXPECT_EQ(item(text(u"c")), 1);

    ASSERT_EQ(probes->Remove(text(u"a").get()), S_OK);
    EXPECT_EQ(item(text(u"a")), E_INVALIDARG);
    rename(two.get(), u"z");  // no longer held: the collection's index must not hear of it
    EXPECT_EQ(item(text(u"z")), E_INVALIDARG);

    // A probe kept twice, and in a second collection, is found under its new name in both.
    auto other = ambivox::make<CProbeCollection>();
    ASSERT_EQ(other->Add(one.get()), S_OK);
    ASSERT_EQ(one->put_Number(9), S_OK);
    ASSERT_EQ(probes->Add(one.get()), S_OK);
    rename(one.get(), u"d");
    EXPECT_EQ(item(text(u"d")), 9);  // the probe's own number, whichever entry is found
    com_ptr<IDispatch> found;
    EXPECT_EQ(other->Item(text(u"d").get(), found.put()), S_OK);
    EXPECT_EQ(found.get(), dispatch_of(one.get()));
    ASSERT_EQ(probes->Remove(i2(1).get()), S_OK);
    EXPECT_EQ(item(text(u"d")), 9);
    ASSERT_EQ(probes->Remove(i2(9).get()), S_OK);
    EXPECT_EQ(item(text(u"d")), E_INVALIDARG);

    ASSERT_EQ(probes->Add(one.get()), S_OK);
    ASSERT_EQ(probes->Clear(), S_OK);
    EXPECT_EQ(item(text(u"d")), E_INVALIDARG);
    other = nullptr;
    rename(one.get(), u"e");  // after both collections let go

    // A probe of another kind is found under the name it bears now, however it was renamed.
    auto fake = ambivox::make<FakeProbe>(u"fake", SHORT{4});
    ASSERT_EQ(probes->Add(fake.get()), S_OK);
    add_new(u"own", 5);
    fake->name = u"renamed";
    EXPECT_EQ(item(text(u"renamed")), 4);
    EXPECT_EQ(item(text(u"own")), 5);
    ASSERT_EQ(probes->Remove(i2(4).get()), S_OK);
    EXPECT_EQ(item(text(u"own")), 5);
    EXPECT_EQ(item(text(u"renamed")), E_INVALIDARG);
}

TEST_F(ProbeCollectionTest, ItemsAreTheStoredProbesThemselves) {
    auto probe = new_probe(u"same", 4);
    ASSERT_EQ(probes->Add(probe.get()), S_OK);
    com_ptr<IDispatch> byPosition, byName, byNumber;
    ASSERT_EQ(probes->Item(i4(1).get(), byPosition.put()), S_OK);
    ASSERT_EQ(probes->Item(text(u"same").get(), byName.put()), S_OK);
    ASSERT_EQ(probes->ItemByNumber(i2(4).get(), byNumber.put()), S_OK);
    EXPECT_EQ(byPosition.get(), dispatch_of(probe.get()));
    EXPECT_EQ(byName.get(), dispatch_of(probe.get()));
    EXPECT_EQ(byNumber.get(), dispatch_of(probe.get()));
    EXPECT_EQ(name_of(byName.get()), u"same");
    EXPECT_EQ(refs(probe.get()), 5u);  // ours, the collection's and three handed out
}

TEST_F(ProbeCollectionTest, TheCollectionHoldsOneReferencePerEntry) {
    auto a = new_probe(u"a");
    auto b = new_probe(u"b");
    auto c = new_probe(u"c");
    for (auto* probe : {a.get(), b.get(), c.get()}) {
        ASSERT_EQ(probes->Add(probe), S_OK);
        EXPECT_EQ(refs(probe), 2u);
    }
    ASSERT_EQ(probes->Remove(text(u"a").get()), S_OK);
    EXPECT_EQ(refs(a.get()), 1u);
    ASSERT_EQ(probes->Clear(), S_OK);
    EXPECT_EQ(refs(b.get()), 1u);
    EXPECT_EQ(refs(c.get()), 1u);
    EXPECT_EQ(count(), 0);

    ASSERT_EQ(probes->Add(b.get()), S_OK);
    probes = nullptr;
    EXPECT_EQ(refs(b.get()), 1u);

    // Probes the collection alone holds go with it.
    probes = ambivox::make<CProbeCollection>();
    add_new(u"x");
    add_new(u"y");
    EXPECT_EQ(locks_now(), 6);  // a, b, c, the collection and its two probes
    probes = nullptr;
    EXPECT_EQ(locks_now(), 3);
}

}  // namespace
