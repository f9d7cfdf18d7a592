#include "platform/com/InprocServerCache.h"

#include <dlfcn.h>

#include "platform/base/Guid.h"
#include "platform/registry/Registry.h"

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
        loaded_module* module = nullptr;
        for (auto& m : m_modules)
            if (m.path == path) module = &m;
        if (module == nullptr) {
            handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (handle == nullptr) return CO_E_DLLNOTFOUND;
            try {
                module = &m_modules.emplace_back(loaded_module{path, handle});
            } catch (...) {
                dlclose(handle);
                throw;
            }
        }
        handle = module->handle;
        ++module->entering;
    }
    // The call runs outside the lock: a module may create objects of other modules (or its own)
    // while it answers.
    HRESULT hr = CO_E_ERRORINDLL;
    if (auto entry = reinterpret_cast<get_class_object_fn>(dlsym(handle, "DllGetClassObject")))
        hr = entry(clsid, riid, ppv);
    std::lock_guard lock(m_mutex);
    for (auto& m : m_modules)
        if (m.handle == handle) --m.entering;
    return hr;
}

std::u16string InprocServerCache::module_of(REFCLSID clsid) {
    RegistryStore::generation_mark mark;
    bool const markable = RegistryStore::instance().generation(mark);
    {
        std::lock_guard lock(m_lookup_mutex);
        if (markable && mark == m_lookup_mark) {
            for (auto const& known : m_known)
                if (known.clsid == clsid) return known.path;
        } else {
            m_known.clear();
        }
    }
    std::u16string path;
    std::u16string const key = u"CLSID\\" + to_u16string(clsid) + u"\\InprocServer32";
    if (reg_get_string(HKEY_CLASSES_ROOT, key, {}, path) != ERROR_SUCCESS) return {};
    if (markable && !path.empty()) {
        std::lock_guard lock(m_lookup_mutex);
        // Kept only while the store is still in the state the answer was read from.
        if (!(m_lookup_mark == mark)) {
            m_known.clear();
            m_lookup_mark = mark;
        }
        m_known.push_back({clsid, path});
    }
    return path;
}

void InprocServerCache::free_unused() noexcept {
    std::lock_guard lock(m_mutex);
    for (auto it = m_modules.begin(); it != m_modules.end();) {
        auto can_unload = reinterpret_cast<can_unload_fn>(dlsym(it->handle, "DllCanUnloadNow"));
        if (it->entering == 0 && can_unload != nullptr && can_unload() == S_OK) {
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
