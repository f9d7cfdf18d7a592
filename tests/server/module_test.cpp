// The module's entry points: class objects, their caching, the lock count behind
// DllCanUnloadNow, and aggregation of every class it serves.
#include <gtest/gtest.h>

#include "ambivox/AmbivoxSDK.h"
#include "platform/automation/UniqueVariant.h"
#include "platform/com/ComPtr.h"
#include "tests/support/CountingOuter.h"
#include "tests/support/SdkModule.h"

namespace {

using ambivox::com_ptr;
using ambivox::testing::SdkModule;

CLSID const served[] = {CLSID_DataConnector,   CLSID_DataPoint,     CLSID_Probe,
                        CLSID_ProbeCollection, CLSID_AmbivoxModelN, CLSID_AmbivoxModelQ};

class ModuleEntryPoints : public ::testing::Test {
protected:
    com_ptr<IClassFactory> factory(CLSID const& clsid) {
        com_ptr<IClassFactory> result;
        EXPECT_EQ(module.get_class_object(clsid, IClassFactory::iid, result.put_void()), S_OK);
        return result;
    }

    template <class I>
    com_ptr<I> create(CLSID const& clsid) {
        com_ptr<I> result;
        EXPECT_EQ(factory(clsid)->CreateInstance(nullptr, I::iid, result.put_void()), S_OK);
        return result;
    }

    SdkModule module;
};

TEST_F(ModuleEntryPoints, CanUnloadOnlyWhileNothingOfItLives) {
    EXPECT_EQ(module.can_unload_now(), S_OK);
    {
        auto point = create<IDataPoint>(CLSID_DataPoint);
        EXPECT_EQ(module.can_unload_now(), S_FALSE);
    }
    EXPECT_EQ(module.can_unload_now(), S_OK);

    // An enumerator outlives the collection it came from, and holds the module as long.
    com_ptr<IUnknown> enumerator;
    {
        auto collection = create<IProbeCollection>(CLSID_ProbeCollection);
        ASSERT_EQ(collection->get__NewEnum(enumerator.put()), S_OK);
    }
    EXPECT_EQ(module.can_unload_now(), S_FALSE);
    enumerator = nullptr;
    EXPECT_EQ(module.can_unload_now(), S_OK);

    auto f = factory(CLSID_Probe);
    EXPECT_EQ(module.can_unload_now(), S_FALSE) << "a factory held beyond the module's own";
    EXPECT_EQ(f->LockServer(TRUE), S_OK);
    f = nullptr;
    EXPECT_EQ(module.can_unload_now(), S_FALSE) << "an outstanding server lock";
    EXPECT_EQ(factory(CLSID_Probe)->LockServer(FALSE), S_OK);
    EXPECT_EQ(module.can_unload_now(), S_OK);
}

TEST_F(ModuleEntryPoints, OneCachedFactoryPerClass) {
    for (CLSID const& clsid : served) {
        auto first = factory(clsid);
        auto second = factory(clsid);
        EXPECT_EQ(first.get(), second.get());
    }
    EXPECT_NE(factory(CLSID_Probe).get(), factory(CLSID_DataPoint).get());
}

TEST_F(ModuleEntryPoints, RefusesWhatItDoesNotServe) {
    com_ptr<IUnknown> object;
    EXPECT_EQ(module.get_class_object(LIBID_AmbivoxSDKLib, IClassFactory::iid, object.put_void()),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(module.get_class_object(CLSID_Probe, IClassFactory::iid, nullptr), E_POINTER);
    EXPECT_EQ(module.get_class_object(CLSID_Probe, IDispatch::iid, object.put_void()),
              E_NOINTERFACE);
}

TEST_F(ModuleEntryPoints, EveryClassAggregates) {
    for (CLSID const& clsid : served) {
        ambivox::testing::CountingOuter outer;
        com_ptr<IUnknown> inner;
        ASSERT_EQ(factory(clsid)->CreateInstance(&outer, IUnknown::iid, inner.put_void()), S_OK);
        ASSERT_TRUE(inner);
        // The inner identity answers its interfaces; they delegate to the outer object.
        com_ptr<IDispatch> dispatch;
        ASSERT_EQ(inner->QueryInterface(IDispatch::iid, dispatch.put_void()), S_OK);
        int const before = outer.queries;
        com_ptr<IUnknown> through;
        dispatch->QueryInterface(IUnknown::iid, through.put_void());
        EXPECT_GT(outer.queries, before) << "QueryInterface goes to the outer object";
        dispatch = nullptr;
        through = nullptr;

        com_ptr<IDispatch> refused;
        EXPECT_EQ(factory(clsid)->CreateInstance(&outer, IDispatch::iid, refused.put_void()),
                  CLASS_E_NOAGGREGATION);
        EXPECT_EQ(refused, nullptr);
    }
    EXPECT_EQ(module.can_unload_now(), S_OK);
}

}  // namespace
