#include <gtest/gtest.h>

#include <utility>

#include "platform/com/ComPtr.h"
#include "platform/com/Implements.h"
#include "tests/support/LifeTracker.h"
#include "tests/support/LockCountTest.h"
#include "tests/support/RefCount.h"
#include "tests/support/TestInterfaces.h"

namespace {

using ambivox::com_ptr;
using ambivox::testing::LifeTracker;
using ambivox::testing::ref_count;

class Thing : public ambivox::implements<Thing, ITestDerived> {
public:
    explicit Thing(LifeTracker& tracker) : m_tracker(tracker) { ++m_tracker.constructed; }
    HRESULT GetValue(LONG* value) noexcept override {
        *value = 1;
        return S_OK;
    }
    HRESULT GetDouble(LONG* value) noexcept override {
        *value = 2;
        return S_OK;
    }

protected:
    ~Thing() override { ++m_tracker.destroyed; }

private:
    LifeTracker& m_tracker;
};

class ComPtr : public ambivox::testing::LockCountTest {
protected:
    com_ptr<ITestDerived> make_thing() {
        com_ptr<ITestDerived> result;
        result.attach(ambivox::make<Thing>(tracker).detach());
        return result;
    }
    LifeTracker tracker;
};

TEST_F(ComPtr, CopiesShareAndMovesTransfer) {
    auto first = make_thing();
    {
        com_ptr<ITestDerived> copy(first);
        EXPECT_EQ(ref_count(first.get()), 2u);
        com_ptr<ITestDerived> moved(std::move(copy));
        EXPECT_FALSE(copy);
        EXPECT_EQ(ref_count(first.get()), 2u) << "a move takes no reference";
        com_ptr<ITestBase> widened(moved);
        EXPECT_EQ(ref_count(first.get()), 3u);
        EXPECT_EQ(static_cast<ITestBase*>(first.get()), widened.get());
    }
    EXPECT_EQ(ref_count(first.get()), 1u);
    first = nullptr;
    EXPECT_EQ(tracker.destroyed, 1);
}

TEST_F(ComPtr, AssignmentReleasesTheOldValue) {
    auto a = make_thing();
    auto b = make_thing();
    a = b;
    EXPECT_EQ(tracker.destroyed, 1) << "a's first object lost its only reference";
    EXPECT_EQ(ref_count(b.get()), 2u);

    auto c = make_thing();
    a = std::move(c);
    EXPECT_EQ(ref_count(b.get()), 1u);
    EXPECT_EQ(ref_count(a.get()), 1u);
    EXPECT_FALSE(c);
    EXPECT_EQ(tracker.alive(), 2);
}

TEST_F(ComPtr, SelfAssignmentKeepsTheObject) {
    auto a = make_thing();
    auto& alias = a;
    a = alias;
    EXPECT_EQ(ref_count(a.get()), 1u);
    a = std::move(alias);
    ASSERT_TRUE(a);
    EXPECT_EQ(ref_count(a.get()), 1u);
    a.copy_from(a.get());
    EXPECT_EQ(ref_count(a.get()), 1u);
    EXPECT_EQ(tracker.alive(), 1);
}

TEST_F(ComPtr, PutReleasesWhatWasHeld) {
    auto a = make_thing();
    ITestDerived** slot = a.put();
    EXPECT_EQ(tracker.destroyed, 1);
    EXPECT_EQ(*slot, nullptr) << "the slot is empty for the callee to fill";
    *slot = ambivox::make<Thing>(tracker).detach();
    EXPECT_EQ(ref_count(a.get()), 1u);

    void** raw = a.put_void();
    EXPECT_EQ(tracker.destroyed, 2);
    EXPECT_EQ(*raw, nullptr);
}

TEST_F(ComPtr, AttachDetachAndCopies) {
    auto a = make_thing();
    ITestDerived* raw = a.detach();
    EXPECT_FALSE(a);
    EXPECT_EQ(ref_count(raw), 1u);
    a.attach(raw);
    EXPECT_EQ(ref_count(raw), 1u) << "attach takes over the reference";

    ITestDerived* out = nullptr;
    a.copy_to(&out);
    EXPECT_EQ(out, raw);
    EXPECT_EQ(ref_count(raw), 2u);
    out->Release();

    auto copy = ambivox::com_copy(raw);
    EXPECT_EQ(ref_count(raw), 2u);
    EXPECT_FALSE(ambivox::com_copy<ITestBase>(nullptr));
    com_ptr<ITestBase> empty;
    ITestBase* emptyOut = reinterpret_cast<ITestBase*>(0x1);
    empty.copy_to(&emptyOut);
    EXPECT_EQ(emptyOut, nullptr);
}

TEST_F(ComPtr, AsThrowsAndTryAsAnswersNullOnRefusal) {
    auto a = make_thing();
    auto base = a.as<ITestBase>();
    ASSERT_TRUE(base);
    EXPECT_EQ(ref_count(a.get()), 2u);

    try {
        (void)a.as<ITestOther>();
        ADD_FAILURE() << "as<> must throw on refusal";
    } catch (ambivox::hresult_error const& e) {
        EXPECT_EQ(e.code(), E_NOINTERFACE);
    }
    EXPECT_FALSE(a.try_as<ITestOther>());
    EXPECT_TRUE(a.try_as<IUnknown>());
    EXPECT_FALSE(com_ptr<ITestDerived>().try_as<ITestBase>());
    EXPECT_EQ(ref_count(a.get()), 2u) << "refusals leave no reference behind";

    void* out = nullptr;
    EXPECT_EQ(a.query_to(ITestBase::iid, &out), S_OK);
    static_cast<ITestBase*>(out)->Release();
}

}  // namespace
