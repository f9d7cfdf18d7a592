// The test programs serve objects of their own; this is their module.
#include "platform/com/ModuleLock.h"

namespace ambivox {

module_base& this_module() noexcept {
    static module_base test_module;
    return test_module;
}

}  // namespace ambivox
