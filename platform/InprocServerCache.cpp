#include "platform/InprocServerCache.h"

#include <dlfcn.h>

namespace ambivox {

namespace {
using get_class_object_fn = HRESULT (*)(REFCLSID, REFIID, void**);
using can_unload_fn = HRESULT (*)();
}  // namespace

InprocServerCache& InprocServerCache::instance() noexcept {
    static InprocServerCache cache;
    return cache;
}

HRESULT InprocServerCache::get_class_object(std::string const& path, REFCLSID clsid, REFIID riid,
                                            void** ppv) {
    *ppv = nullptr;
    void* handle = nullptr;
    {
        std::lock_guard lock(m_mutex);
        for (auto const& m : m_modules)
            if (m.path == path) handle = m.handle;
        if (handle == nullptr) {
            handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (handle == nullptr) return CO_E_DLLNOTFOUND;
            try {
                m_modules.push_back({path, handle});
            } catch (...) {
                dlclose(handle);
                throw;
            }
        }
    }
    auto entry = reinterpret_cast<get_class_object_fn>(dlsym(handle, "DllGetClassObject"));
    if (entry == nullptr) return CO_E_ERRORINDLL;
    return entry(clsid, riid, ppv);
}

void InprocServerCache::free_unused() noexcept {
    std::lock_guard lock(m_mutex);
    for (auto it = m_modules.begin(); it != m_modules.end();) {
        auto can_unload = reinterpret_cast<can_unload_fn>(dlsym(it->handle, "DllCanUnloadNow"));
        if (can_unload != nullptr && can_unload() == S_OK) {
            dlclose(it->handle);
            it = m_modules.erase(it);
        } else {
            ++it;
        }
    }
}

std::size_t InprocServerCache::loaded_count() noexcept {
    std::lock_guard lock(m_mutex);
    return m_modules.size();
}

}  // namespace ambivox
