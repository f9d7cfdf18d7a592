// A client that links only the runtime creates every class of the registered module by ProgID,
// as scripts do, and uses it both through its vtable and by name.
#include <gtest/gtest.h>

#include "ambivox/AmbivoxSDK.h"
#include "platform/automation/ConnectionPointInterfaces.h"
#include "platform/automation/ErrorInfo.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ComRuntime.h"
#include "tests/support/SdkModule.h"
#include "tests/support/TempRegistry.h"

namespace {

using ambivox::com_ptr;

class CreationByProgId : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ambivox::testing::SdkModule().register_server(), S_OK);
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
    }
    void TearDown() override {
        CoFreeUnusedLibraries();
        CoUninitialize();
    }

    com_ptr<IDispatch> create(char16_t const* progId) {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
        com_ptr<IDispatch> object;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IDispatch::iid, object.put_void()),
                  S_OK);
        return object;
    }

    ambivox::testing::TempRegistry registry;
};

TEST_F(CreationByProgId, EveryClassWithAndWithoutVersion) {
    struct expected {
        char16_t const* progId;
        IID const* itf;
    };
    for (auto const& e : {expected{u"AmbivoxSDK.DataConnector", &IID_IDataConnector},
                          expected{u"AmbivoxSDK.DataPoint", &IID_IDataPoint},
                          expected{u"AmbivoxSDK.Probe", &IID_IProbe},
                          expected{u"AmbivoxSDK.ProbeCollection", &IID_IProbeCollection},
                          expected{u"AmbivoxSDK.AmbivoxModelN", &IID_IAmbivoxModelN},
                          expected{u"AmbivoxSDK.AmbivoxModelQ", &IID_IAmbivoxModelQ}}) {
        for (std::u16string const& progId :
             {std::u16string(e.progId), e.progId + std::u16string(u".1")}) {
            auto object = create(progId.c_str());
            ASSERT_TRUE(object) << std::string(progId.begin(), progId.end());
            com_ptr<IUnknown> itf;
            EXPECT_EQ(object->QueryInterface(*e.itf, itf.put_void()), S_OK);
            auto const support = object.as<ISupportErrorInfo>();
            EXPECT_EQ(support->InterfaceSupportsErrorInfo(*e.itf), S_OK);
            EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_OK);
            EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IConnectionPointContainer), S_FALSE);
        }
    }
}

TEST_F(CreationByProgId, ObjectsWorkThroughTheRuntimeAlone) {
    auto probe = create(u"AmbivoxSDK.Probe").as<IProbe>();
    ambivox::unique_bstr name(u"Server room");
    EXPECT_EQ(probe->put_Name(name.get()), S_OK);

    auto collection = create(u"AmbivoxSDK.ProbeCollection").as<IProbeCollection>();
    EXPECT_EQ(collection->Add(probe.get()), S_OK);
    SHORT number = 0;
    EXPECT_EQ(probe->get_Number(&number), S_OK);
    EXPECT_EQ(number, 1);

    // By name: Count, through the type library the runtime loads from the module.
    auto dispatch = collection.as<IDispatch>();
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"count")};
    DISPID id = 0;
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(
        dispatch->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 1);
}

}  // namespace
