// CAmbivoxSDKModule: the module object of AmbivoxSDK.so. It counts live objects and server
// locks, serves one cached class factory per creatable class, and registers the classes and
// the type library.
#pragma once

#include <array>
#include <mutex>
#include <string>

#include "platform/automation/TypeInfoCache.h"
#include "platform/automation/TypeInfoInterfaces.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ModuleLock.h"
#include "platform/registry/Registrar.h"

namespace ambivox {

class CAmbivoxSDKModule final : public module_base {
public:
    CAmbivoxSDKModule() noexcept;
    ~CAmbivoxSDKModule() override;

    // Adds the APPID variable (the braced AppID) to a registration run.
    virtual void AddCommonRGSReplacements(Registrar& registrar) const;

    // DllGetClassObject: E_UNEXPECTED when the module did not initialise, E_POINTER for a null
    // out-pointer, CLASS_E_CLASSNOTAVAILABLE for a class it does not serve. *ppv receives a
    // reference owned by the caller, or null.
    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) noexcept;
    HRESULT RegisterServer() noexcept;
    HRESULT UnregisterServer() noexcept;

    bool initialized() const noexcept { return !m_initializationFailed; }
    type_info_cache& type_infos() noexcept { return m_typeInfos; }

    static CAmbivoxSDKModule& instance() noexcept;

private:
    struct class_entry {
        CLSID const* clsid;
        std::u16string_view coclass;
        int script;  // the id of its registration script
        HRESULT (*create_factory)(REFIID riid, void** ppv) noexcept;
        com_ptr<IUnknown> factory;  // created on first request, kept until unload
    };

    // The module's full path, or a failure: registration cannot name a module it cannot find.
    HRESULT module_path(std::u16string& path) const;
    // The module's path and the type library it carries, loaded from the module file.
    HRESULT own_type_library(std::u16string& path, com_ptr<ITypeLib>& library) const;
    HRESULT run_scripts(bool registering);

    std::array<class_entry, 6> m_classes;
    std::mutex m_factoryLock;
    bool m_initializationFailed = false;
    type_info_cache m_typeInfos;
};

}  // namespace ambivox
