// InprocServerCache: the component modules the runtime has loaded, by file and by apartment.
//
// Each apartment (a thread that called CoInitialize) holds a load of its own of every module it
// created objects from, as the loader counts them: CoFreeUnusedLibraries lets go of the calling
// apartment's loads only, so a module is unmapped only once no apartment that may still be
// running its code holds it. A thread's objects stay on that thread, so while it frees its own
// loads it runs none of the module's code. Loads left when an apartment ends (objects still
// alive) pass to the process and go with the next CoFreeUnusedLibraries that finds them unused.
#pragma once

#include <mutex>
#include <string>
#include <thread>
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

    // Lets go of the calling apartment's loads (and the process's) of every module whose
    // DllCanUnloadNow answers S_OK.
    void free_unused() noexcept;

    // The calling apartment ends: its unused loads go, the others pass to the process.
    void end_apartment() noexcept;

    std::size_t loaded_count() noexcept;

private:
    struct loaded_module {
        std::string path;
        void* handle;
        std::thread::id apartment;  // no thread: a load the process holds
    };

    static bool can_unload(void* handle) noexcept;

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
