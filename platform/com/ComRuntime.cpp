#include "platform/com/ComRuntime.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/base/CodePage.h"
#include "platform/base/HResultBoundary.h"
#include "platform/com/InprocServerCache.h"
#include "platform/registry/Registry.h"

namespace {

struct apartment_state {
    ULONG init_count = 0;
    DWORD model = 0;
};
thread_local apartment_state t_apartment;

struct builtin_entry {
    CLSID clsid;
    ambivox::builtin_class_getter getter;
};

std::mutex& builtin_mutex() {
    static std::mutex m;
    return m;
}
std::vector<builtin_entry>& builtin_classes() {
    static std::vector<builtin_entry> table;
    return table;
}

ambivox::builtin_class_getter find_builtin(REFCLSID clsid) {
    std::lock_guard lock(builtin_mutex());
    for (auto const& entry : builtin_classes())
        if (entry.clsid == clsid) return entry.getter;
    return nullptr;
}

}  // namespace

namespace ambivox {

void register_builtin_class(CLSID const& clsid, builtin_class_getter getter) {
    std::lock_guard lock(builtin_mutex());
    for (auto& entry : builtin_classes()) {
        if (entry.clsid == clsid) {
            entry.getter = getter;
            return;
        }
    }
    builtin_classes().push_back({clsid, getter});
}

bool runtime_initialized() noexcept {
    return t_apartment.init_count > 0;
}

}  // namespace ambivox

HRESULT CoInitializeEx(void*, DWORD coinit) noexcept {
    DWORD const model = coinit & COINIT_APARTMENTTHREADED;
    if (t_apartment.init_count > 0) {
        if (t_apartment.model != model) return RPC_E_CHANGED_MODE;
        ++t_apartment.init_count;
        return S_FALSE;
    }
    t_apartment.model = model;
    t_apartment.init_count = 1;
    return S_OK;
}

HRESULT CoInitialize(void* reserved) noexcept {
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() noexcept {
    if (t_apartment.init_count == 0) return;
    if (--t_apartment.init_count == 0) ambivox::InprocServerCache::instance().end_apartment();
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsctx, void*, REFIID riid, void** ppv) noexcept {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!ambivox::runtime_initialized()) return CO_E_NOTINITIALIZED;
    if ((clsctx & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
    if (auto getter = find_builtin(clsid)) return getter(riid, ppv);
    return ambivox::hresult_boundary([&]() -> HRESULT {
        std::u16string const path = ambivox::InprocServerCache::instance().module_of(clsid);
        if (path.empty()) return REGDB_E_CLASSNOTREG;
        return ambivox::InprocServerCache::instance().get_class_object(
            ambivox::narrow(path, CP_UTF8), clsid, riid, ppv);
    });
}

void CoFreeUnusedLibraries() noexcept {
    ambivox::InprocServerCache::instance().free_unused();
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) noexcept {
    if (progId == nullptr || clsid == nullptr) return E_INVALIDARG;
    return ambivox::hresult_boundary([&]() -> HRESULT {
        std::u16string text;
        if (ambivox::reg_get_string(HKEY_CLASSES_ROOT, std::u16string(progId) + u"\\CLSID", {},
                                    text) != ERROR_SUCCESS)
            return CO_E_CLASSSTRING;
        auto const parsed = ambivox::parse_guid(text);
        if (!parsed) return CO_E_CLASSSTRING;
        *clsid = *parsed;
        return S_OK;
    });
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progId) noexcept {
    if (progId == nullptr) return E_INVALIDARG;
    *progId = nullptr;
    return ambivox::hresult_boundary([&]() -> HRESULT {
        std::u16string text;
        if (ambivox::reg_get_string(HKEY_CLASSES_ROOT,
                                    u"CLSID\\" + ambivox::to_u16string(clsid) + u"\\ProgID", {},
                                    text) != ERROR_SUCCESS)
            return REGDB_E_CLASSNOTREG;
        auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
        if (copy == nullptr) return E_OUTOFMEMORY;
        std::copy(text.begin(), text.end(), copy);
        copy[text.size()] = u'\0';
        *progId = copy;
        return S_OK;
    });
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsctx, REFIID riid,
                         void** ppv) noexcept {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(clsid, clsctx, nullptr, IClassFactory::iid,
                                  reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(outer, riid, ppv);
    factory->Release();
    return hr;
}

void* CoTaskMemAlloc(SIZE_T size) noexcept {
    return std::malloc(size == 0 ? 1 : size);
}
void* CoTaskMemRealloc(void* block, SIZE_T size) noexcept {
    return std::realloc(block, size == 0 ? 1 : size);
}
void CoTaskMemFree(void* block) noexcept {
    std::free(block);
}
