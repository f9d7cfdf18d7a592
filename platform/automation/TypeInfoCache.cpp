#include "platform/automation/TypeInfoCache.h"

#include "platform/automation/TypeLibrary.h"
#include "platform/com/ModuleLock.h"

namespace ambivox {

type_info_cache::type_info_cache(describer describe) noexcept : m_describe(describe) {
    // Compiled into the platform, so this is the platform's own module.
    this_module();
}

HRESULT type_info_cache::library(ITypeLib** out) noexcept {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    std::lock_guard lock(m_mutex);
    return hresult_boundary([&] {
        if (!m_library) m_library = make_type_library(m_describe());
        m_library.copy_to(out);
    });
}

ITypeInfo* type_info_cache::find(IID const& iid) noexcept {
    std::lock_guard lock(m_mutex);
    for (auto const& [known, info] : m_infos)
        if (known == iid) return info.get();
    ITypeInfo* result = nullptr;
    hresult_boundary([&] {
        if (!m_library) m_library = make_type_library(m_describe());
        com_ptr<ITypeInfo> info;
        if (FAILED(m_library->GetTypeInfoOfGuid(iid, info.put()))) return;
        result = info.get();
        m_infos.emplace_back(iid, std::move(info));
    });
    return result;
}

}  // namespace ambivox
