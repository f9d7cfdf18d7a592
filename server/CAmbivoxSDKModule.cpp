#include "server/CAmbivoxSDKModule.h"

#include "ambivox/AmbivoxIds.h"
#include "connector/CDataConnector.h"
#include "devices/CAmbivoxModelN.h"
#include "devices/CAmbivoxModelQ.h"
#include "platform/automation/TypeLibrary.h"
#include "platform/base/CodePage.h"
#include "platform/base/ModulePath.h"
#include "platform/base/ThreadState.h"
#include "platform/com/ClassFactory.h"
#include "readings/CDataPoint.h"
#include "readings/CProbe.h"
#include "readings/CProbeCollection.h"
#include "server/AmbivoxTypeLibrary.h"
#include "server/RegistrationScripts.h"

namespace ambivox {

namespace {

template <class T>
HRESULT create_factory(REFIID riid, void** ppv) noexcept {
    return hresult_boundary([&] { return make<class_factory<T>>()->QueryInterface(riid, ppv); });
}

// The thread runs registration under the system default locale and gets its own back on every
// way out.
class thread_locale_scope {
public:
    explicit thread_locale_scope(LCID locale) noexcept : m_saved(GetThreadLocale()) {
        SetThreadLocale(locale);
    }
    ~thread_locale_scope() { SetThreadLocale(m_saved); }
    thread_locale_scope(thread_locale_scope const&) = delete;
    thread_locale_scope& operator=(thread_locale_scope const&) = delete;

private:
    LCID m_saved;
};

}  // namespace

CAmbivoxSDKModule::CAmbivoxSDKModule() noexcept
    : m_classes{{
          {&CLSID_DataConnector, u"DataConnector", 102, &create_factory<CDataConnector>, {}},
          {&CLSID_DataPoint, u"DataPoint", 103, &create_factory<CDataPoint>, {}},
          {&CLSID_Probe, u"Probe", 104, &create_factory<CProbe>, {}},
          {&CLSID_ProbeCollection, u"ProbeCollection", 105, &create_factory<CProbeCollection>, {}},
          {&CLSID_AmbivoxModelN, u"AmbivoxModelN", 107, &create_factory<CAmbivoxModelN>, {}},
          {&CLSID_AmbivoxModelQ, u"AmbivoxModelQ", 108, &create_factory<CAmbivoxModelQ>, {}},
      }},
      m_typeInfos(&ambivox_type_library) {}

CAmbivoxSDKModule::~CAmbivoxSDKModule() = default;

CAmbivoxSDKModule& CAmbivoxSDKModule::instance() noexcept {
    static CAmbivoxSDKModule module;
    return module;
}

void CAmbivoxSDKModule::AddCommonRGSReplacements(Registrar& registrar) const {
    registrar.add_replacement(u"APPID", to_u16string(APPID_AmbivoxSDK));
}

HRESULT CAmbivoxSDKModule::GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) noexcept {
    if (!initialized()) return E_UNEXPECTED;
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    for (auto& entry : m_classes) {
        if (*entry.clsid != clsid || entry.create_factory == nullptr) continue;
        // Clients on threads of their own may ask at once: the slot is read, filled and handed
        // out under the lock, never looked at outside it.
        std::lock_guard lock(m_factoryLock);
        if (!entry.factory) {
            com_ptr<IUnknown> factory;
            HRESULT const hr = entry.create_factory(IUnknown::iid, factory.put_void());
            if (FAILED(hr)) return hr;
            entry.factory = std::move(factory);
        }
        HRESULT const hr = entry.factory->QueryInterface(riid, ppv);
        if (SUCCEEDED(hr) && *ppv == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
        return hr;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CAmbivoxSDKModule::module_path(std::u16string& path) const {
    SetLastError(ERROR_SUCCESS);
    std::string const file = module_path_of(reinterpret_cast<void const*>(&ambivox_type_library));
    if (file.empty()) {
        DWORD const error = GetLastError();
        return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
    }
    path = widen(file, CP_UTF8);
    if (path.size() >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    return S_OK;
}

HRESULT CAmbivoxSDKModule::own_type_library(std::u16string& path,
                                            com_ptr<ITypeLib>& library) const {
    HRESULT const hr = module_path(path);
    if (FAILED(hr)) return hr;
    return LoadTypeLib(path.c_str(), library.put());
}

HRESULT CAmbivoxSDKModule::RegisterServer() noexcept {
    thread_locale_scope const locale(LOCALE_SYSTEM_DEFAULT);
    return hresult_boundary([&]() -> HRESULT {
        HRESULT hr = run_scripts(true);
        if (FAILED(hr)) return hr;
        std::u16string path;
        com_ptr<ITypeLib> library;
        hr = own_type_library(path, library);
        if (FAILED(hr)) return hr;
        std::u16string const folder = path.substr(0, path.rfind(u'/') + 1);
        return RegisterTypeLib(library.get(), path.c_str(), folder.c_str());
    });
}

HRESULT CAmbivoxSDKModule::UnregisterServer() noexcept {
    thread_locale_scope const locale(LOCALE_SYSTEM_DEFAULT);
    return hresult_boundary([&]() -> HRESULT {
        HRESULT hr = run_scripts(false);
        if (FAILED(hr)) return hr;
        std::u16string path;
        com_ptr<ITypeLib> library;
        hr = own_type_library(path, library);
        if (FAILED(hr)) return hr;
        TLIBATTR* attr = nullptr;
        hr = library->GetLibAttr(&attr);
        if (FAILED(hr)) return hr;
        TLIBATTR const lib = *attr;
        library->ReleaseTLibAttr(attr);
        hr = UnRegisterTypeLib(lib.guid, lib.wMajorVerNum, lib.wMinorVerNum, lib.lcid, lib.syskind);
        if (FAILED(hr)) return hr;

        Registrar registrar;
        AddCommonRGSReplacements(registrar);
        return registrar.unregister_script(RegistrationScripts::application());
    });
}

// Registering: the application id first, then every class in table order. Unregistering: the
// classes only; the application id goes last, once everything else is gone.
HRESULT CAmbivoxSDKModule::run_scripts(bool registering) {
    std::u16string path;
    HRESULT hr = module_path(path);
    if (FAILED(hr)) return hr;
    Registrar registrar;
    std::u16string const quoted = Registrar::quote_escaped(path);
    registrar.add_replacement(u"MODULE", quoted);
    registrar.add_replacement(u"Module_Raw", quoted);
    AddCommonRGSReplacements(registrar);

    if (registering) {
        hr = registrar.register_script(RegistrationScripts::application());
        if (FAILED(hr)) return hr;
    }
    for (auto const& entry : m_classes) {
        std::u16string const script =
            RegistrationScripts::creatable_class(entry.coclass, *entry.clsid);
        hr = registering ? registrar.register_script(script) : registrar.unregister_script(script);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

module_base& this_module() noexcept {
    return CAmbivoxSDKModule::instance();
}

ITypeInfo* module_type_info(IID const& iid) noexcept {
    return CAmbivoxSDKModule::instance().type_infos().find(iid);
}

}  // namespace ambivox
