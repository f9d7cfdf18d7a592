#include <gtest/gtest.h>

#include "platform/automation/UniqueBstr.h"
#include "platform/com/Implements.h"
#include "tests/support/LifeTracker.h"
#include "tests/support/LockCountTest.h"
#include "tests/support/RefCount.h"
#include "tests/support/TestInterfaces.h"

namespace {

using ambivox::com_ptr;
using ambivox::implements;
using ambivox::testing::LifeTracker;
using ambivox::testing::ref_count;

// Answers ITestDerived (and through it ITestBase) and ITestOther.
class Widget : public implements<Widget, ITestDerived, ITestOther> {
public:
    explicit Widget(LifeTracker& tracker, LONG value = 7) : m_tracker(tracker), m_value(value) {
        ++m_tracker.constructed;
    }

    HRESULT GetValue(LONG* value) noexcept override {
        *value = m_value;
        return S_OK;
    }
    HRESULT GetDouble(LONG* value) noexcept override {
        *value = 2 * m_value;
        return S_OK;
    }
    HRESULT GetName(BSTR* name) noexcept override {
        return ambivox::hresult_boundary([&] { *name = ambivox::make_bstr(u"widget"); });
    }

protected:
    ~Widget() override { ++m_tracker.destroyed; }

private:
    LifeTracker& m_tracker;
    LONG m_value;
};

// Uses ITestOther for itself but never hands it out; listed first so that the identity is
// reached through an internal entry.
class Secretive : public implements<Secretive, ambivox::internal<ITestOther>, ITestBase> {
public:
    HRESULT GetValue(LONG* value) noexcept override {
        *value = 11;
        return S_OK;
    }
    HRESULT GetName(BSTR* name) noexcept override {
        *name = nullptr;
        return S_OK;
    }
    ITestOther* self_as_other() noexcept { return this; }
};

// A reusable implementation of ITestOther that names its interface.
struct NamedMixin : ITestOther {
    using interface_type = ITestOther;
    HRESULT GetName(BSTR* name) noexcept override {
        return ambivox::hresult_boundary([&] { *name = ambivox::make_bstr(u"mixin"); });
    }
};

class WithMixin : public implements<WithMixin, ITestBase, NamedMixin> {
public:
    HRESULT GetValue(LONG* value) noexcept override {
        *value = 3;
        return S_OK;
    }
};

// Takes and drops a reference to itself while being destroyed.
class SelfReferencingOnDestroy : public implements<SelfReferencingOnDestroy, ITestBase> {
public:
    explicit SelfReferencingOnDestroy(LifeTracker& tracker) : m_tracker(tracker) {
        ++m_tracker.constructed;
    }
    HRESULT GetValue(LONG* value) noexcept override {
        *value = 0;
        return S_OK;
    }

protected:
    ~SelfReferencingOnDestroy() override {
        com_ptr<ITestBase> self = ambivox::com_copy<ITestBase>(this);
        self = nullptr;
        ++m_tracker.destroyed;
    }

private:
    LifeTracker& m_tracker;
};

class ThrowingConstructor : public implements<ThrowingConstructor, ITestBase> {
public:
    explicit ThrowingConstructor(HRESULT code) { ambivox::throw_hresult(code); }
    HRESULT GetValue(LONG*) noexcept override { return E_NOTIMPL; }
};

// Kept by its module (as a class factory is); only references beyond that one lock the module.
class Cached : public implements<Cached, ITestBase> {
public:
    static constexpr ambivox::module_hold module_hold_policy = ambivox::module_hold::cached;
    explicit Cached(LifeTracker& tracker) : m_tracker(tracker) { ++m_tracker.constructed; }
    HRESULT GetValue(LONG* value) noexcept override {
        *value = 0;
        return S_OK;
    }

protected:
    ~Cached() override { ++m_tracker.destroyed; }

private:
    LifeTracker& m_tracker;
};

template <class I>
com_ptr<I> query(IUnknown* object, HRESULT* result = nullptr) {
    com_ptr<I> out;
    HRESULT const hr = object->QueryInterface(I::iid, out.put_void());
    if (result != nullptr) *result = hr;
    return out;
}

class ObjectBase : public ambivox::testing::LockCountTest {
protected:
    LifeTracker tracker;
};

TEST_F(ObjectBase, AnswersListedInterfacesTheirBasesAndIUnknown) {
    auto widget = ambivox::make<Widget>(tracker, 5);
    IUnknown* const any = static_cast<ITestDerived*>(widget.get());

    auto derived = query<ITestDerived>(any);
    auto base = query<ITestBase>(any);
    auto other = query<ITestOther>(any);
    auto unknown = query<IUnknown>(any);
    ASSERT_TRUE(derived && base && other && unknown);

    // Each pointer reaches the right part of the object.
    LONG value = 0;
    ASSERT_EQ(base->GetValue(&value), S_OK);
    EXPECT_EQ(value, 5);
    ASSERT_EQ(derived->GetDouble(&value), S_OK);
    EXPECT_EQ(value, 10);
    ambivox::unique_bstr name;
    ASSERT_EQ(other->GetName(name.put()), S_OK);
    EXPECT_EQ(name.view(), u"widget");
}

TEST_F(ObjectBase, RefusesWhatItDoesNotImplement) {
    auto widget = ambivox::make<Widget>(tracker);
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(widget->QueryInterface(ITestAbsent::iid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr) << "a refusal leaves the out-pointer null";
    out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(widget->QueryInterface(ITestEvents::iid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);

    EXPECT_EQ(widget->QueryInterface(ITestBase::iid, nullptr), E_POINTER);
    EXPECT_EQ(widget->QueryInterface(IUnknown::iid, nullptr), E_POINTER);
    EXPECT_EQ(ref_count(static_cast<ITestDerived*>(widget.get())), 1u)
        << "refusals take no reference";
}

TEST_F(ObjectBase, EveryInterfaceGivesTheSameIdentity) {
    auto widget = ambivox::make<Widget>(tracker);
    auto const identity = query<IUnknown>(static_cast<ITestDerived*>(widget.get()));
    auto const fromBase = query<IUnknown>(query<ITestBase>(identity.get()).get());
    auto const fromOther = query<IUnknown>(query<ITestOther>(identity.get()).get());
    auto const fromIdentity = query<IUnknown>(identity.get());
    EXPECT_EQ(identity.get(), fromBase.get());
    EXPECT_EQ(identity.get(), fromOther.get());
    EXPECT_EQ(identity.get(), fromIdentity.get());
    // Asking twice for one interface gives one pointer.
    EXPECT_EQ(query<ITestOther>(fromBase.get()).get(), query<ITestOther>(fromOther.get()).get());
}

TEST_F(ObjectBase, InternalInterfacesAreRefused) {
    auto object = ambivox::make<Secretive>();
    HRESULT hr = S_OK;
    auto other = query<ITestOther>(static_cast<ITestBase*>(object.get()), &hr);
    EXPECT_EQ(hr, E_NOINTERFACE);
    EXPECT_FALSE(other);

    // The identity, reached through the internal entry, still behaves as the object.
    auto const identity = query<IUnknown>(static_cast<ITestBase*>(object.get()));
    ASSERT_TRUE(identity);
    auto const base = query<ITestBase>(identity.get());
    ASSERT_TRUE(base);
    EXPECT_EQ(query<IUnknown>(base.get()).get(), identity.get());
    LONG value = 0;
    EXPECT_EQ(base->GetValue(&value), S_OK);
    EXPECT_EQ(value, 11);
    // The object itself still uses the interface.
    BSTR name = reinterpret_cast<BSTR>(1);
    EXPECT_EQ(object->self_as_other()->GetName(&name), S_OK);
    EXPECT_EQ(name, nullptr);
}

TEST_F(ObjectBase, MixinEntriesAnswerTheirInterface) {
    auto object = ambivox::make<WithMixin>();
    auto other = query<ITestOther>(static_cast<ITestBase*>(object.get()));
    ASSERT_TRUE(other);
    ambivox::unique_bstr name;
    ASSERT_EQ(other->GetName(name.put()), S_OK);
    EXPECT_EQ(name.view(), u"mixin");
    EXPECT_EQ(query<IUnknown>(other.get()).get(),
              query<IUnknown>(static_cast<ITestBase*>(object.get())).get());
}

TEST_F(ObjectBase, CountsReferencesAndDiesAtZero) {
    Widget* raw = nullptr;
    {
        auto widget = ambivox::make<Widget>(tracker);
        raw = widget.get();
        EXPECT_EQ(tracker.alive(), 1);
        EXPECT_EQ(locks_now(), 1) << "a live object holds one module lock";
        EXPECT_EQ(raw->AddRef(), 2u);
        EXPECT_EQ(raw->AddRef(), 3u);
        EXPECT_EQ(raw->Release(), 2u);
        {
            auto base = query<ITestBase>(static_cast<ITestDerived*>(raw));
            EXPECT_EQ(ref_count(base.get()), 3u) << "QueryInterface takes a reference";
        }
        EXPECT_EQ(raw->Release(), 1u);
        EXPECT_EQ(tracker.alive(), 1);
    }
    EXPECT_EQ(tracker.destroyed, 1);
    EXPECT_EQ(locks_now(), 0);
}

TEST_F(ObjectBase, CreateInstanceHandsOutTheOnlyReference) {
    void* out = nullptr;
    ASSERT_EQ(Widget::create_instance(nullptr, ITestOther::iid, &out, tracker), S_OK);
    ASSERT_NE(out, nullptr);
    auto* other = static_cast<ITestOther*>(out);
    ambivox::unique_bstr name;
    EXPECT_EQ(other->GetName(name.put()), S_OK) << "the pointer is the asked-for interface";
    EXPECT_EQ(name.view(), u"widget");
    EXPECT_EQ(other->Release(), 0u);
    EXPECT_EQ(tracker.destroyed, 1);

    out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(Widget::create_instance(nullptr, ITestAbsent::iid, &out, tracker), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(tracker.alive(), 0) << "an object nobody asked for does not stay alive";

    EXPECT_EQ(Widget::create_instance(nullptr, ITestBase::iid, nullptr, tracker), E_POINTER);
    EXPECT_EQ(tracker.constructed, 2);
}

TEST_F(ObjectBase, ConstructorFailuresBecomeResults) {
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(ThrowingConstructor::create_instance(nullptr, ITestBase::iid, &out, E_ACCESSDENIED),
              E_ACCESSDENIED);
    EXPECT_EQ(out, nullptr);
    EXPECT_THROW(ambivox::make<ThrowingConstructor>(E_FAIL), ambivox::hresult_error);
    // The fixture checks that the half-built objects released their module locks.
}

TEST_F(ObjectBase, DestructorMayTakeAndDropAReference) {
    auto object = ambivox::make<SelfReferencingOnDestroy>(tracker);
    object = nullptr;
    EXPECT_EQ(tracker.destroyed, 1) << "destroyed exactly once";
}

TEST_F(ObjectBase, CachedObjectsLockOnlyForOutsideReferences) {
    auto kept = ambivox::make<Cached>(tracker);  // the module's own reference
    EXPECT_EQ(locks_now(), 0);
    {
        auto handedOut = query<ITestBase>(kept.get());
        EXPECT_EQ(locks_now(), 1);
        auto another = query<IUnknown>(kept.get());
        EXPECT_EQ(locks_now(), 1) << "one lock however many outside references";
    }
    EXPECT_EQ(locks_now(), 0);
    kept->AddRef();
    EXPECT_EQ(locks_now(), 1);
    kept->Release();
    EXPECT_EQ(locks_now(), 0);
    kept = nullptr;
    EXPECT_EQ(tracker.destroyed, 1);
    EXPECT_EQ(locks_now(), 0);
}

TEST_F(ObjectBase, ControllingUnknownIsTheIdentity) {
    auto widget = ambivox::make<Widget>(tracker);
    EXPECT_EQ(widget->controlling_unknown(),
              query<IUnknown>(static_cast<ITestDerived*>(widget.get())).get());
}

}  // namespace
