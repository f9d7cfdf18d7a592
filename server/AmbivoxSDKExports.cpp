// The module's exported entry points, with C linkage. Nothing else of the module is visible to
// its clients: they reach the classes through the component runtime.
#include "platform/automation/TypeLibrary.h"
#include "server/AmbivoxTypeLibrary.h"
#include "server/CAmbivoxSDKModule.h"

#define AMBIVOX_EXPORT extern "C" [[gnu::visibility("default")]]

namespace {
// The module object exists once the module is loaded, before any entry point runs.
[[maybe_unused]] ambivox::CAmbivoxSDKModule& loaded_module = ambivox::CAmbivoxSDKModule::instance();
}  // namespace

AMBIVOX_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) noexcept {
    return ambivox::CAmbivoxSDKModule::instance().GetClassObject(clsid, riid, ppv);
}

AMBIVOX_EXPORT HRESULT DllCanUnloadNow() noexcept {
    return ambivox::CAmbivoxSDKModule::instance().GetLockCount() == 0 ? S_OK : S_FALSE;
}

AMBIVOX_EXPORT HRESULT DllRegisterServer() noexcept {
    return ambivox::CAmbivoxSDKModule::instance().RegisterServer();
}

AMBIVOX_EXPORT HRESULT DllUnregisterServer() noexcept {
    return ambivox::CAmbivoxSDKModule::instance().UnregisterServer();
}

// The module's type library, read by LoadTypeLib on the module file.
AMBIVOX_EXPORT ambivox::library_description const* AmbivoxTypeLibraryResource() noexcept {
    return &ambivox::ambivox_type_library();
}
