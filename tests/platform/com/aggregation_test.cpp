#include <gtest/gtest.h>

#include "platform/com/Implements.h"
#include "tests/support/CountingOuter.h"
#include "tests/support/LifeTracker.h"
#include "tests/support/LockCountTest.h"
#include "tests/support/TestInterfaces.h"

namespace {

using ambivox::implements;
using ambivox::testing::CountingOuter;
using ambivox::testing::LifeTracker;

class Part : public implements<Part, ITestDerived> {
public:
    explicit Part(LifeTracker& tracker) : m_tracker(tracker) { ++m_tracker.constructed; }
    HRESULT GetValue(LONG* value) noexcept override {
        *value = 42;
        return S_OK;
    }
    HRESULT GetDouble(LONG* value) noexcept override {
        *value = 84;
        return S_OK;
    }

protected:
    ~Part() override { ++m_tracker.destroyed; }

private:
    LifeTracker& m_tracker;
};

class Aggregation : public ambivox::testing::LockCountTest {
protected:
    LifeTracker tracker;
    CountingOuter outer;
};

TEST_F(Aggregation, OnlyIUnknownMayBeAskedForWithAnOuterObject) {
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(Part::create_instance(&outer, ITestBase::iid, &out, tracker), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(tracker.constructed, 0) << "nothing is created for a refused aggregation";
    EXPECT_EQ(locks_now(), 0);
    EXPECT_EQ(outer.addRefs + outer.releases + outer.queries, 0);
}

TEST_F(Aggregation, InnerIdentityIsNotDelegating) {
    void* out = nullptr;
    ASSERT_EQ(Part::create_instance(&outer, IUnknown::iid, &out, tracker), S_OK);
    auto* inner = static_cast<IUnknown*>(out);
    ASSERT_NE(inner, nullptr);
    EXPECT_NE(inner, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(locks_now(), 1);
    EXPECT_EQ(outer.addRefs, 0) << "the inner object must not hold its outer object";

    // The inner identity answers IUnknown with itself and counts on its own.
    void* again = nullptr;
    ASSERT_EQ(inner->QueryInterface(IUnknown::iid, &again), S_OK);
    EXPECT_EQ(again, inner);
    EXPECT_EQ(inner->AddRef(), 3u);
    EXPECT_EQ(inner->Release(), 2u);
    EXPECT_EQ(inner->Release(), 1u);
    EXPECT_EQ(outer.addRefs, 0);
    EXPECT_EQ(outer.releases, 0);

    EXPECT_EQ(inner->QueryInterface(ITestAbsent::iid, &again), E_NOINTERFACE);
    EXPECT_EQ(again, nullptr);
    EXPECT_EQ(inner->QueryInterface(IUnknown::iid, nullptr), E_POINTER);

    EXPECT_EQ(inner->Release(), 0u);
    EXPECT_EQ(tracker.destroyed, 1) << "releasing the inner identity destroys the object";
    EXPECT_EQ(locks_now(), 0);
}

TEST_F(Aggregation, InterfacesOfTheInnerDelegateToTheOuter) {
    void* out = nullptr;
    ASSERT_EQ(Part::create_instance(&outer, IUnknown::iid, &out, tracker), S_OK);
    auto* inner = static_cast<IUnknown*>(out);
    outer.inner = inner;

    void* found = nullptr;
    ASSERT_EQ(inner->QueryInterface(ITestDerived::iid, &found), S_OK);
    auto* derived = static_cast<ITestDerived*>(found);
    EXPECT_EQ(outer.addRefs, 1) << "the reference handed out belongs to the outer object";
    EXPECT_EQ(static_cast<Part*>(derived)->controlling_unknown(), static_cast<IUnknown*>(&outer));
    LONG value = 0;
    EXPECT_EQ(derived->GetDouble(&value), S_OK);
    EXPECT_EQ(value, 84);

    // AddRef and Release reach the outer object.
    ULONG const counted = derived->AddRef();
    EXPECT_EQ(counted, outer.refs);
    EXPECT_EQ(outer.addRefs, 2);
    derived->Release();
    EXPECT_EQ(outer.releases, 1);

    // QueryInterface reaches the outer object, so IUnknown is the outer identity.
    int const queriesBefore = outer.queries;
    void* identity = nullptr;
    ASSERT_EQ(derived->QueryInterface(IUnknown::iid, &identity), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(outer.queries, queriesBefore + 1);
    static_cast<IUnknown*>(identity)->Release();

    // A request the outer object passes back to the inner one still works.
    void* base = nullptr;
    ASSERT_EQ(derived->QueryInterface(ITestBase::iid, &base), S_OK);
    EXPECT_EQ(static_cast<ITestBase*>(base)->GetValue(&value), S_OK);
    EXPECT_EQ(value, 42);
    static_cast<ITestBase*>(base)->Release();

    derived->Release();
    EXPECT_EQ(outer.addRefs, outer.releases) << "every outer reference taken was given back";
    EXPECT_EQ(tracker.alive(), 1) << "interface references never kept the inner object alive";

    outer.inner = nullptr;
    EXPECT_EQ(inner->Release(), 0u);
    EXPECT_EQ(tracker.destroyed, 1);
}

}  // namespace
