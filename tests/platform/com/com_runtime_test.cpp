#include <gtest/gtest.h>

#include <thread>

#include "platform/com/ComRuntime.h"
#include "platform/com/Implements.h"
#include "tests/support/CountingOuter.h"
#include "tests/support/LockCountTest.h"
#include "tests/support/TestInterfaces.h"

namespace {

using ambivox::com_ptr;

constexpr CLSID clsid_gadget = ambivox::make_guid("7A1C1001-5E2B-4C1D-9A10-0000000000C1");
constexpr CLSID clsid_nobody = ambivox::make_guid("7A1C1002-5E2B-4C1D-9A10-0000000000C2");

class Gadget : public ambivox::implements<Gadget, ITestBase> {
public:
    explicit Gadget(LONG value = 17) noexcept : m_value(value) {}
    HRESULT GetValue(LONG* value) noexcept override {
        *value = m_value;
        return S_OK;
    }

private:
    LONG m_value;
};

template <LONG Value>
class GadgetFactory : public ambivox::implements<GadgetFactory<Value>, IClassFactory> {
public:
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept override {
        return Gadget::create_instance(outer, riid, ppv, Value);
    }
    HRESULT LockServer(BOOL lock) noexcept override {
        if (lock)
            ambivox::this_module().Lock();
        else
            ambivox::this_module().Unlock();
        return S_OK;
    }

    static HRESULT get(REFIID riid, void** ppv) noexcept {
        return GadgetFactory::create_instance(nullptr, riid, ppv);
    }
};

// Runs body on a thread of its own, whose runtime state starts uninitialised.
template <class F>
void on_fresh_thread(F body) {
    std::thread(body).join();
}

class ComRuntime : public ambivox::testing::LockCountTest {};

TEST_F(ComRuntime, InitialisationCountsPerThread) {
    on_fresh_thread([] {
        EXPECT_FALSE(ambivox::runtime_initialized());
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        EXPECT_TRUE(ambivox::runtime_initialized());

        on_fresh_thread([] { EXPECT_FALSE(ambivox::runtime_initialized()); });

        CoUninitialize();
        CoUninitialize();
        EXPECT_TRUE(ambivox::runtime_initialized()) << "one initialisation still outstanding";
        CoUninitialize();
        EXPECT_FALSE(ambivox::runtime_initialized());
        CoUninitialize();  // an extra call is harmless
        EXPECT_EQ(CoInitialize(nullptr), S_OK) << "a thread may initialise again";
        CoUninitialize();
    });
}

TEST_F(ComRuntime, AnotherApartmentModelIsRefusedAndNotCounted) {
    on_fresh_thread([] {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        CoUninitialize();
        EXPECT_FALSE(ambivox::runtime_initialized());
    });
    on_fresh_thread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(CoInitialize(nullptr), RPC_E_CHANGED_MODE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
        EXPECT_FALSE(ambivox::runtime_initialized());
    });
}

TEST_F(ComRuntime, CreationNeedsAnInitialisedThread) {
    ambivox::register_builtin_class(clsid_gadget, &GadgetFactory<17>::get);
    on_fresh_thread([] {
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(
            CoCreateInstance(clsid_gadget, nullptr, CLSCTX_INPROC_SERVER, ITestBase::iid, &out),
            CO_E_NOTINITIALIZED);
        EXPECT_EQ(out, nullptr);
        out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(
            CoGetClassObject(clsid_gadget, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, &out),
            CO_E_NOTINITIALIZED);
        EXPECT_EQ(out, nullptr);
    });
}

TEST_F(ComRuntime, CreatesBuiltInClasses) {
    ambivox::register_builtin_class(clsid_gadget, &GadgetFactory<17>::get);
    on_fresh_thread([] {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        {
            com_ptr<ITestBase> gadget;
            ASSERT_EQ(CoCreateInstance(clsid_gadget, nullptr, CLSCTX_ALL, ITestBase::iid,
                                       gadget.put_void()),
                      S_OK);
            LONG value = 0;
            EXPECT_EQ(gadget->GetValue(&value), S_OK);
            EXPECT_EQ(value, 17);

            void* out = reinterpret_cast<void*>(0x1);
            EXPECT_EQ(CoCreateInstance(clsid_gadget, nullptr, CLSCTX_INPROC_SERVER,
                                       ITestAbsent::iid, &out),
                      E_NOINTERFACE);
            EXPECT_EQ(out, nullptr);
            EXPECT_EQ(CoCreateInstance(clsid_gadget, nullptr, CLSCTX_INPROC_SERVER, ITestBase::iid,
                                       nullptr),
                      E_POINTER);

            com_ptr<IClassFactory> factory;
            ASSERT_EQ(CoGetClassObject(clsid_gadget, CLSCTX_INPROC_SERVER, nullptr,
                                       IID_IClassFactory, factory.put_void()),
                      S_OK);
            com_ptr<ITestBase> another;
            EXPECT_EQ(factory->CreateInstance(nullptr, ITestBase::iid, another.put_void()), S_OK);
            EXPECT_NE(another.get(), gadget.get());
        }
        CoUninitialize();
    });
}

TEST_F(ComRuntime, AggregationThroughCreation) {
    ambivox::register_builtin_class(clsid_gadget, &GadgetFactory<17>::get);
    on_fresh_thread([] {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        ambivox::testing::CountingOuter outer;
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(
            CoCreateInstance(clsid_gadget, &outer, CLSCTX_INPROC_SERVER, ITestBase::iid, &out),
            CLASS_E_NOAGGREGATION);
        EXPECT_EQ(out, nullptr);
        ASSERT_EQ(CoCreateInstance(clsid_gadget, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &out),
                  S_OK);
        auto* inner = static_cast<IUnknown*>(out);
        EXPECT_NE(inner, static_cast<IUnknown*>(&outer));
        EXPECT_EQ(inner->Release(), 0u);
        CoUninitialize();
    });
}

TEST_F(ComRuntime, UnknownClassesAndContexts) {
    ambivox::register_builtin_class(clsid_gadget, &GadgetFactory<17>::get);
    on_fresh_thread([] {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        void* out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(CoCreateInstance(clsid_nobody, nullptr, CLSCTX_ALL, IID_IUnknown, &out),
                  REGDB_E_CLASSNOTREG);
        EXPECT_EQ(out, nullptr);
        out = reinterpret_cast<void*>(0x1);
        EXPECT_EQ(CoGetClassObject(clsid_nobody, CLSCTX_ALL, nullptr, IID_IClassFactory, &out),
                  REGDB_E_CLASSNOTREG);
        EXPECT_EQ(out, nullptr);
        // Built-in classes are served in process only.
        EXPECT_EQ(CoCreateInstance(clsid_gadget, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &out),
                  REGDB_E_CLASSNOTREG);
        EXPECT_EQ(out, nullptr);
        CoUninitialize();
    });
}

TEST_F(ComRuntime, RegisteringAgainReplacesTheClass) {
    ambivox::register_builtin_class(clsid_gadget, &GadgetFactory<17>::get);
    ambivox::register_builtin_class(clsid_gadget, &GadgetFactory<99>::get);
    on_fresh_thread([] {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        {
            com_ptr<ITestBase> gadget;
            ASSERT_EQ(CoCreateInstance(clsid_gadget, nullptr, CLSCTX_INPROC_SERVER, ITestBase::iid,
                                       gadget.put_void()),
                      S_OK);
            LONG value = 0;
            gadget->GetValue(&value);
            EXPECT_EQ(value, 99);
        }
        CoUninitialize();
    });
    ambivox::register_builtin_class(clsid_gadget, &GadgetFactory<17>::get);
}

TEST(CoTaskMem, AllocatesReallocatesAndFrees) {
    void* block = CoTaskMemAlloc(0);
    EXPECT_NE(block, nullptr) << "a zero-byte block is still a block";
    block = CoTaskMemRealloc(block, 64);
    ASSERT_NE(block, nullptr);
    static_cast<char*>(block)[63] = 'x';
    CoTaskMemFree(block);
    CoTaskMemFree(nullptr);
    void* fresh = CoTaskMemRealloc(nullptr, 8);
    EXPECT_NE(fresh, nullptr);
    CoTaskMemFree(fresh);
}

}  // namespace
