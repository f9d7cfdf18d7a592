// The platform's own module: its enumerators and built-in classes lock it, and it is never
// unloaded while the process runs.
#include "platform/com/ModuleLock.h"

namespace ambivox {

module_base& this_module() noexcept {
    // Never destroyed: objects of other modules' static storage may still release platform
    // objects while the process exits.
    static module_base& platform_module = *new module_base;
    return platform_module;
}

}  // namespace ambivox
