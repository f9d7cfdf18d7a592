// A small component module for the runtime's tests: one dual-interface class, TestCounter,
// served, registered and described the way a real module does it.
#include <string>

#include "platform/automation/DispatchImpl.h"
#include "platform/automation/TypeInfoCache.h"
#include "platform/automation/TypeLibrary.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/base/CodePage.h"
#include "platform/base/ModulePath.h"
#include "platform/com/ClassFactory.h"
#include "platform/com/ComPtr.h"
#include "platform/registry/Registry.h"
#include "tests/support/server/TestServerIds.h"

namespace {

using namespace ambivox;

class CTestCounter final : public implements<CTestCounter, dispatch<ITestCounter>> {
public:
    HRESULT get_Value(LONG* pVal) noexcept override {
        if (pVal == nullptr) return E_POINTER;
        *pVal = m_value;
        return S_OK;
    }
    HRESULT put_Value(LONG newVal) noexcept override {
        m_value = newVal;
        return S_OK;
    }
    HRESULT get_Label(BSTR* pVal) noexcept override {
        if (pVal == nullptr) return E_POINTER;
        return hresult_boundary([&] { *pVal = m_label.copy(); });
    }
    HRESULT put_Label(BSTR newVal) noexcept override {
        if (SysStringLen(newVal) == 0) return E_INVALIDARG;
        return hresult_boundary([&] { m_label = unique_bstr(bstr_view(newVal)); });
    }
    HRESULT Increment(SHORT by, LONG* result) noexcept override {
        if (result == nullptr) return E_POINTER;
        m_value += by;
        *result = m_value;
        return S_OK;
    }

private:
    LONG m_value = 0;
    unique_bstr m_label;
};

library_description describe() {
    library_description lib;
    lib.libid = LIBID_TestServerLib;
    lib.name = u"TestServerLib";
    lib.help = u"TestServer 1.0 Type Library";
    lib.lcid = 0x409;
    lib.interfaces = {interface_description{
        IID_ITestCounter,
        u"ITestCounter",
        u"ITestCounter Interface",
        interface_kind::dual,
        {
            property_get<&ITestCounter::get_Value>(1, u"Value"),
            property_put<&ITestCounter::put_Value>(1, u"Value"),
            property_get<&ITestCounter::get_Label>(2, u"Label"),
            property_put<&ITestCounter::put_Label>(2, u"Label"),
            method<&ITestCounter::Increment>(3, u"Increment", {u"by", u"result"}),
        }}};
    lib.coclasses = {coclass_description{CLSID_TestCounter, u"TestCounter", u"TestCounter Class",
                                         &IID_ITestCounter, nullptr}};
    return lib;
}

library_description const& test_library() {
    static library_description const library = describe();
    return library;
}

type_info_cache& type_infos() {
    static type_info_cache cache(&test_library);
    return cache;
}

IClassFactory* cached_factory() {
    static com_ptr<class_factory<CTestCounter>> factory = make<class_factory<CTestCounter>>();
    return factory.get();
}

std::u16string own_path() {
    return widen(module_path_of(reinterpret_cast<void const*>(&own_path)), CP_UTF8);
}

}  // namespace

namespace ambivox {

module_base& this_module() noexcept {
    static module_base module;
    return module;
}

ITypeInfo* module_type_info(IID const& iid) noexcept {
    return type_infos().find(iid);
}

}  // namespace ambivox

extern "C" {

[[gnu::visibility("default")]] ambivox::library_description const*
AmbivoxTypeLibraryResource() noexcept {
    return &test_library();
}

[[gnu::visibility("default")]] HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid,
                                                         void** ppv) noexcept {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (clsid != CLSID_TestCounter) return CLASS_E_CLASSNOTAVAILABLE;
    return ambivox::hresult_boundary([&] { return cached_factory()->QueryInterface(riid, ppv); });
}

[[gnu::visibility("default")]] HRESULT DllCanUnloadNow() noexcept {
    return ambivox::this_module().GetLockCount() == 0 ? S_OK : S_FALSE;
}

[[gnu::visibility("default")]] HRESULT DllRegisterServer() noexcept {
    return ambivox::hresult_boundary([&]() -> HRESULT {
        std::u16string const path = own_path();
        std::u16string const clsid = ambivox::to_u16string(CLSID_TestCounter);
        std::u16string const key = u"CLSID\\" + clsid;
        for (auto status : {
                 ambivox::reg_set_string(HKEY_CLASSES_ROOT, key, {}, u"TestCounter Class"),
                 ambivox::reg_set_string(HKEY_CLASSES_ROOT, key + u"\\InprocServer32", {}, path),
                 ambivox::reg_set_string(HKEY_CLASSES_ROOT, key + u"\\ProgID", {},
                                         u"AmbivoxTest.Counter.1"),
                 ambivox::reg_set_string(HKEY_CLASSES_ROOT, u"AmbivoxTest.Counter.1\\CLSID", {},
                                         clsid),
             })
            if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
        ambivox::com_ptr<ITypeLib> library;
        HRESULT const hr = LoadTypeLib(path.c_str(), library.put());
        if (FAILED(hr)) return hr;
        return RegisterTypeLib(library.get(), path.c_str(), nullptr);
    });
}

[[gnu::visibility("default")]] HRESULT DllUnregisterServer() noexcept {
    std::u16string const key = u"CLSID\\" + ambivox::to_u16string(CLSID_TestCounter);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, u"AmbivoxTest.Counter.1");
    return UnRegisterTypeLib(LIBID_TestServerLib, 1, 0, 0x409, SYS_WIN32);
}

}  // extern "C"
