// Creating objects by class identifier through the registry, with a real module loaded from
// disk: registration, ProgIDs, late binding by name, type library registration and unloading.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/automation/TypeLibrary.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/automation/UniqueVariant.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/InprocServerCache.h"
#include "platform/registry/Registry.h"
#include "platform/registry/UniqueHkey.h"
#include "tests/support/TempRegistry.h"
#include "tests/support/server/TestServerIds.h"

namespace {

using ambivox::com_ptr;
using ambivox::unique_bstr;
using ambivox::unique_variant;

std::u16string const server_path = [] {
    std::string const narrow = AMBIVOX_TEST_SERVER_PATH;
    return std::u16string(narrow.begin(), narrow.end());
}();

std::u16string read_string(std::u16string const& key, std::u16string const& name = {}) {
    std::u16string value;
    EXPECT_EQ(ambivox::reg_get_string(HKEY_CLASSES_ROOT, key, name, value), ERROR_SUCCESS)
        << std::string(key.begin(), key.end());
    return value;
}

bool key_exists(std::u16string const& key) {
    ambivox::unique_hkey handle;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, handle.put()) ==
           ERROR_SUCCESS;
}

// Calls one of the module's exports the way a registration tool does.
HRESULT call_export(char const* name, char const* file = AMBIVOX_TEST_SERVER_PATH) {
    void* module = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) return E_FAIL;
    auto entry = reinterpret_cast<HRESULT (*)()>(dlsym(module, name));
    HRESULT const hr = entry != nullptr ? entry() : E_FAIL;
    dlclose(module);
    return hr;
}

class ClassRegistration : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        ASSERT_EQ(call_export("DllRegisterServer"), S_OK);
    }
    void TearDown() override {
        CoFreeUnusedLibraries();
        CoUninitialize();
    }

    com_ptr<ITestCounter> create() {
        com_ptr<ITestCounter> counter;
        EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_ALL, ITestCounter::iid,
                                   counter.put_void()),
                  S_OK);
        return counter;
    }

    ambivox::testing::TempRegistry registry;
};

TEST_F(ClassRegistration, RegistrationWritesClassAndTypeLibraryKeys) {
    std::u16string const clsid = ambivox::to_u16string(CLSID_TestCounter);
    EXPECT_EQ(read_string(u"CLSID\\" + clsid + u"\\InprocServer32"), server_path);

    std::u16string const lib = u"TypeLib\\" + ambivox::to_u16string(LIBID_TestServerLib) + u"\\1.0";
    EXPECT_EQ(read_string(lib), u"TestServer 1.0 Type Library");
    EXPECT_EQ(read_string(lib + u"\\0\\win32"), server_path);
    EXPECT_EQ(read_string(lib + u"\\FLAGS"), u"0");
    EXPECT_TRUE(key_exists(lib + u"\\HELPDIR"));

    std::u16string const itf = u"Interface\\" + ambivox::to_u16string(IID_ITestCounter);
    EXPECT_EQ(read_string(itf), u"ITestCounter");
    EXPECT_EQ(read_string(itf + u"\\TypeLib"), ambivox::to_u16string(LIBID_TestServerLib));
    EXPECT_EQ(read_string(itf + u"\\TypeLib", u"Version"), u"1.0");
    EXPECT_EQ(read_string(itf + u"\\ProxyStubClsid32"), u"{00020424-0000-0000-C000-000000000046}");
}

TEST_F(ClassRegistration, ProgIdsMapBothWays) {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"AmbivoxTest.Counter.1", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TestCounter);
    EXPECT_EQ(CLSIDFromProgID(u"ambivoxtest.counter.1", &clsid), S_OK) << "ProgIDs ignore case";
    EXPECT_EQ(CLSIDFromProgID(u"AmbivoxTest.Nothing", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);

    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_TestCounter, &progId), S_OK);
    EXPECT_EQ(std::u16string(progId), u"AmbivoxTest.Counter.1");
    CoTaskMemFree(progId);
    EXPECT_EQ(ProgIDFromCLSID(LIBID_TestServerLib, &progId), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(progId, nullptr);
}

TEST_F(ClassRegistration, CreatedByProgIdAndDrivenThroughTheVtable) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"AmbivoxTest.Counter.1", &clsid), S_OK);
    com_ptr<ITestCounter> counter;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, ITestCounter::iid,
                               counter.put_void()),
              S_OK);
    EXPECT_EQ(counter->put_Value(40), S_OK);
    LONG result = 0;
    EXPECT_EQ(counter->Increment(2, &result), S_OK);
    EXPECT_EQ(result, 42);
    EXPECT_EQ(counter->put_Label(nullptr), E_INVALIDARG);
}

TEST_F(ClassRegistration, DrivenByNameThroughInvoke) {
    auto counter = create();
    auto dispatch = counter.as<IDispatch>();

    LPOLESTR names[] = {const_cast<LPOLESTR>(u"INCREMENT"), const_cast<LPOLESTR>(u"By")};
    DISPID ids[2] = {};
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 2, 0x409, ids), S_OK);
    EXPECT_EQ(ids[0], 3);
    EXPECT_EQ(ids[1], 0);

    // A script passes text where the method takes a short.
    unique_variant by = unique_variant::from(std::u16string_view(u"5"));
    VARIANT args[] = {by.get()};
    DISPPARAMS params{args, nullptr, 1, 0};
    unique_variant result;
    ASSERT_EQ(dispatch->Invoke(ids[0], IID_NULL, 0x409, DISPATCH_METHOD, &params, result.put(),
                               nullptr, nullptr),
              S_OK);
    EXPECT_EQ(result.type(), VT_I4);
    EXPECT_EQ(result->lVal, 5);

    // Property put with the named DISPID_PROPERTYPUT argument, then get.
    unique_variant label = unique_variant::from(std::u16string_view(u"north wall"));
    VARIANT putArgs[] = {label.get()};
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put{putArgs, &named, 1, 1};
    EXPECT_EQ(
        dispatch->Invoke(2, IID_NULL, 0x409, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr),
        S_OK);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    ASSERT_EQ(dispatch->Invoke(2, IID_NULL, 0x409, DISPATCH_PROPERTYGET, &none, result.put(),
                               nullptr, nullptr),
              S_OK);
    ASSERT_EQ(result.type(), VT_BSTR);
    EXPECT_EQ(ambivox::bstr_view(result->bstrVal), u"north wall");
}

TEST_F(ClassRegistration, InvokeAnswersEveryFailureWithItsCode) {
    auto dispatch = create().as<IDispatch>();
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"Decrement")};
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);

    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(dispatch->Invoke(99, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(dispatch->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);

    unique_variant word = unique_variant::from(std::u16string_view(u"five"));
    VARIANT args[] = {word.get()};
    DISPPARAMS params{args, nullptr, 1, 0};
    UINT argErr = 99;
    EXPECT_EQ(dispatch->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);

    // The member's own failure arrives as an exception whose scode is that failure.
    unique_variant empty = unique_variant::from(std::u16string_view(u""));
    VARIANT putArgs[] = {empty.get()};
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put{putArgs, &named, 1, 1};
    EXCEPINFO info{};
    EXPECT_EQ(dispatch->Invoke(2, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, &info, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(info.scode, E_INVALIDARG);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
}

TEST_F(ClassRegistration, ClassesThatCannotBeServedFailWithTheirCodes) {
    com_ptr<IUnknown> object;
    GUID const stranger = ambivox::make_guid("00000000-1111-2222-3333-444444444444");
    EXPECT_EQ(CoCreateInstance(stranger, nullptr, CLSCTX_ALL, IUnknown::iid, object.put_void()),
              REGDB_E_CLASSNOTREG);

    std::u16string const key = u"CLSID\\" + ambivox::to_u16string(stranger) + u"\\InprocServer32";
    ASSERT_EQ(ambivox::reg_set_string(HKEY_CLASSES_ROOT, key, {}, u"/nonexistent/module.so"),
              ERROR_SUCCESS);
    EXPECT_EQ(CoCreateInstance(stranger, nullptr, CLSCTX_ALL, IUnknown::iid, object.put_void()),
              CO_E_DLLNOTFOUND);

    // A loadable file that is no component server.
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&SysAllocString), &info), 0);
    std::string const runtime = info.dli_fname;
    ASSERT_EQ(ambivox::reg_set_string(HKEY_CLASSES_ROOT, key, {},
                                      std::u16string(runtime.begin(), runtime.end())),
              ERROR_SUCCESS);
    EXPECT_EQ(CoCreateInstance(stranger, nullptr, CLSCTX_ALL, IUnknown::iid, object.put_void()),
              CO_E_ERRORINDLL);

    // Aggregation asks for IUnknown only.
    com_ptr<ITestCounter> outer = create();
    EXPECT_EQ(CoCreateInstance(CLSID_TestCounter, outer.get(), CLSCTX_ALL, ITestCounter::iid,
                               object.put_void()),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
}

TEST_F(ClassRegistration, UninitialisedThreadsCannotCreate) {
    CoUninitialize();
    com_ptr<IUnknown> object;
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_ALL, IUnknown::iid, object.put_void()),
        CO_E_NOTINITIALIZED);
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
}

TEST_F(ClassRegistration, ModulesUnloadOnlyWhenNothingOfThemLives) {
    auto& servers = ambivox::InprocServerCache::instance();
    CoFreeUnusedLibraries();
    std::size_t const before = servers.loaded_count();
    {
        auto counter = create();
        EXPECT_EQ(servers.loaded_count(), before + 1);
        CoFreeUnusedLibraries();
        EXPECT_EQ(servers.loaded_count(), before + 1) << "a live object keeps its module";
    }
    CoFreeUnusedLibraries();
    EXPECT_EQ(servers.loaded_count(), before);
    // And it loads again on demand.
    EXPECT_TRUE(create());
}

bool module_mapped() {
    void* handle = dlopen(AMBIVOX_TEST_SERVER_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) dlclose(handle);
    return handle != nullptr;
}

TEST_F(ClassRegistration, TypeInformationKeepsItsModuleMapped) {
    com_ptr<ITypeInfo> info;
    {
        com_ptr<IDispatch> counter;
        ASSERT_EQ(create()->QueryInterface(IDispatch::iid, counter.put_void()), S_OK);
        ASSERT_EQ(counter->GetTypeInfo(0, 0x409, info.put()), S_OK);
    }
    CoFreeUnusedLibraries();
    ASSERT_TRUE(module_mapped()) << "type information reads the module's own description";
    unique_bstr name;
    EXPECT_EQ(info->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(ambivox::bstr_view(name.get()), u"ITestCounter");

    info = nullptr;
    CoFreeUnusedLibraries();
    EXPECT_FALSE(module_mapped()) << "the module must go once nothing of it is held";
}

// One thread enters the module while another frees unused modules: a module a thread is
// entering must stay mapped until the object it asked for holds it.
TEST_F(ClassRegistration, ModulesStayMappedWhileAThreadEntersThem) {
    std::atomic<bool> done{false};
    std::thread freeing([&] {
        while (!done.load())
            CoFreeUnusedLibraries();
    });
    std::thread creating([&] {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        for (int i = 0; i < 3000; ++i) {
            com_ptr<ITestCounter> counter;
            ASSERT_EQ(CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_ALL, ITestCounter::iid,
                                       counter.put_void()),
                      S_OK);
            LONG result = 0;
            ASSERT_EQ(counter->Increment(1, &result), S_OK);
        }
        CoUninitialize();
    });
    creating.join();
    done = true;
    freeing.join();
}

TEST_F(ClassRegistration, TypeLibraryLoadsFromTheModuleFile) {
    com_ptr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLib(server_path.c_str(), library.put()), S_OK);
    com_ptr<ITypeInfo> info;
    EXPECT_EQ(library->GetTypeInfoOfGuid(IID_ITestCounter, info.put()), S_OK);
    EXPECT_EQ(LoadTypeLib(u"/nonexistent/module.so", library.put()), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(library, nullptr);
}

TEST_F(ClassRegistration, UnregistrationRemovesWhatRegistrationWrote) {
    ASSERT_EQ(call_export("DllUnregisterServer"), S_OK);
    EXPECT_FALSE(key_exists(u"CLSID\\" + ambivox::to_u16string(CLSID_TestCounter)));
    EXPECT_FALSE(key_exists(u"TypeLib\\" + ambivox::to_u16string(LIBID_TestServerLib)));
    EXPECT_FALSE(key_exists(u"Interface\\" + ambivox::to_u16string(IID_ITestCounter)));
    EXPECT_TRUE(key_exists(u"CLSID")) << "the CLSID root stays";
    EXPECT_EQ(UnRegisterTypeLib(LIBID_TestServerLib, 1, 0, 0x409, SYS_WIN32),
              TYPE_E_LIBNOTREGISTERED);
}

// The module file may be gone by the time its registration is removed.
TEST_F(ClassRegistration, UnregistrationNeedsNoModuleFile) {
    std::string const copy = registry.folder() + "/AmbivoxTestServer.so";
    std::filesystem::copy_file(AMBIVOX_TEST_SERVER_PATH, copy);
    ASSERT_EQ(call_export("DllRegisterServer", copy.c_str()), S_OK);
    std::u16string const lib = u"TypeLib\\" + ambivox::to_u16string(LIBID_TestServerLib);
    ASSERT_EQ(read_string(lib + u"\\1.0\\0\\win32"), std::u16string(copy.begin(), copy.end()));
    std::filesystem::remove(copy);

    EXPECT_EQ(UnRegisterTypeLib(LIBID_TestServerLib, 1, 0, 0x409, SYS_WIN32), S_OK);
    EXPECT_FALSE(key_exists(u"Interface\\" + ambivox::to_u16string(IID_ITestCounter)));
    EXPECT_FALSE(key_exists(lib));
}

}  // namespace

namespace {

// Class lookups are kept between creations; a change to the store, by this process or another,
// must be seen at the next creation.
TEST_F(ClassRegistration, LookupsFollowChangesToTheStore) {
    EXPECT_TRUE(create()) << "the lookup is now known";
    std::u16string const key = u"CLSID\\" + ambivox::to_u16string(CLSID_TestCounter);

    pid_t const child = fork();
    if (child == 0) {
        // Another process takes the class out of the store.
        _exit(RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str()) == ERROR_SUCCESS ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    com_ptr<IUnknown> object;
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_ALL, IUnknown::iid, object.put_void()),
        REGDB_E_CLASSNOTREG);

    // And this process puts it back.
    ASSERT_EQ(call_export("DllRegisterServer"), S_OK);
    EXPECT_TRUE(create());
}

}  // namespace
