// The test programs serve dispatch objects of two libraries: the test widget's and the SDK's
// own surface, so that the SDK's interfaces can be invoked from tests without the server.
#include "platform/automation/DispatchImpl.h"
#include "platform/automation/TypeInfoCache.h"
#include "server/AmbivoxTypeLibrary.h"
#include "tests/support/TestWidget.h"

namespace ambivox {

ITypeInfo* module_type_info(IID const& iid) noexcept {
    // Plain statics, torn down at exit while holding libraries that lock the platform's module:
    // every test program's exit checks that the module outlives them.
    static type_info_cache widget(&testing::test_widget_library);
    static type_info_cache surface(&ambivox_type_library);
    if (ITypeInfo* info = widget.find(iid)) return info;
    return surface.find(iid);
}

}  // namespace ambivox
