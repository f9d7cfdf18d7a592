// The platform's own module: its enumerators and built-in classes lock it, and it is never
// unloaded while the process runs.
#include "platform/ModuleLock.h"

namespace ambivox {

module_base& this_module() noexcept {
    static module_base platform_module;
    return platform_module;
}

}  // namespace ambivox
