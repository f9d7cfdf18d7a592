// InprocServerCache: the component modules the runtime has loaded, by file. A module stays
// loaded until CoFreeUnusedLibraries finds that it may unload (DllCanUnloadNow answers S_OK).
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/com/Unknown.h"
#include "platform/registry/RegistryStore.h"

namespace ambivox {

class InprocServerCache {
public:
    static InprocServerCache& instance() noexcept;

    // Loads `path` (once) and asks its DllGetClassObject. CO_E_DLLNOTFOUND when the file cannot
    // be loaded, CO_E_ERRORINDLL when it exports no DllGetClassObject. *ppv is null on failure.
    HRESULT get_class_object(std::string const& path, REFCLSID clsid, REFIID riid, void** ppv);

    // The module file registered for clsid (CLSID\{clsid}\InprocServer32), or empty when the
    // class is not registered. Answers are kept until the registry store changes.
    std::u16string module_of(REFCLSID clsid);

    // Unloads every module whose DllCanUnloadNow answers S_OK and that no thread is entering.
    void free_unused() noexcept;

    std::size_t loaded_count() noexcept;

private:
    struct loaded_module {
        std::string path;
        void* handle;
        // Threads inside the module's DllGetClassObject: until the class object it hands out
        // holds the module's lock, only this count keeps the module mapped.
        std::size_t entering = 0;
    };

    std::mutex m_mutex;
    std::vector<loaded_module> m_modules;

    struct known_class {
        CLSID clsid;
        std::u16string path;
    };
    std::mutex m_lookup_mutex;
    RegistryStore::generation_mark m_lookup_mark;  // the store state the known classes are from
    std::vector<known_class> m_known;
};

}  // namespace ambivox
