#include "platform/com/InprocServerCache.h"

#include <dlfcn.h>

#include <algorithm>

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
    std::thread::id const apartment = std::this_thread::get_id();
    void* handle = nullptr;
    {
        std::lock_guard lock(m_mutex);
        for (auto const& m : m_modules)
            if (m.path == path && m.apartment == apartment) handle = m.handle;
        if (handle == nullptr) {
            handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (handle == nullptr) return CO_E_DLLNOTFOUND;
            try {
                m_modules.push_back({path, handle, apartment});
            } catch (...) {
                dlclose(handle);
                throw;
            }
        }
    }
    // The call runs outside the lock: a module may create objects of other modules (or its own)
    // while it answers. Only this apartment lets go of its load, so none can unmap it meanwhile.
    auto entry = reinterpret_cast<get_class_object_fn>(dlsym(handle, "DllGetClassObject"));
    return entry != nullptr ? entry(clsid, riid, ppv) : CO_E_ERRORINDLL;
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

bool InprocServerCache::can_unload(void* handle) noexcept {
    auto answer = reinterpret_cast<can_unload_fn>(dlsym(handle, "DllCanUnloadNow"));
    return answer != nullptr && answer() == S_OK;
}

void InprocServerCache::free_unused() noexcept {
    std::thread::id const apartment = std::this_thread::get_id();
    std::lock_guard lock(m_mutex);
    std::erase_if(m_modules, [&](loaded_module const& m) {
        if (m.apartment != apartment && m.apartment != std::thread::id()) return false;
        if (!can_unload(m.handle)) return false;
        dlclose(m.handle);
        return true;
    });
}

void InprocServerCache::end_apartment() noexcept {
    std::thread::id const apartment = std::this_thread::get_id();
    std::lock_guard lock(m_mutex);
    for (std::size_t i = 0; i < m_modules.size();) {
        loaded_module& m = m_modules[i];
        if (m.apartment != apartment) {
            ++i;
            continue;
        }
        bool const held = std::any_of(m_modules.begin(), m_modules.end(), [&](auto const& o) {
            return o.path == m.path && o.apartment == std::thread::id();
        });
        // One load of a module is enough for the process to keep; a second is let go at once.
        if (can_unload(m.handle) || held) {
            dlclose(m.handle);
            m_modules.erase(m_modules.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            m.apartment = std::thread::id();
            ++i;
        }
    }
}

std::size_t InprocServerCache::loaded_count() noexcept {
    std::lock_guard lock(m_mutex);
    return m_modules.size();
}

}  // namespace ambivox
