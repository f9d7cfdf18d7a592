// type_info_cache: a module's type library, built from its own description on first use and
// kept until the module unloads, with the type information of each interface it serves.
#pragma once

#include <mutex>
#include <utility>
#include <vector>

#include "platform/automation/LibraryDescription.h"
#include "platform/com/ComPtr.h"

namespace ambivox {

class type_info_cache {
public:
    using describer = library_description const& (*)();

    // The library is an object of the platform and locks the platform's module until the cache
    // lets it go, so that module is made to exist first: statics are torn down in reverse, and
    // the module then outlives a cache that is itself a static.
    explicit type_info_cache(describer describe) noexcept;

    // The type information of interface iid, borrowed: it lives as long as the cache. Null when
    // the library does not describe iid or could not be built.
    ITypeInfo* find(IID const& iid) noexcept;
    // The library itself, as a new reference owned by the caller (null on failure).
    HRESULT library(ITypeLib** out) noexcept;

private:
    describer m_describe;
    std::mutex m_mutex;
    com_ptr<ITypeLib> m_library;
    std::vector<std::pair<IID, com_ptr<ITypeInfo>>> m_infos;
};

}  // namespace ambivox
