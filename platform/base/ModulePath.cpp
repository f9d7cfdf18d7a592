#include "platform/base/ModulePath.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

namespace ambivox {

std::string module_path_of(void const* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
    // dladdr answers the name the module was loaded under, which may be relative.
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) == nullptr) return info.dli_fname;
    return resolved;
}

}  // namespace ambivox
