// The test programs serve dispatch objects of two libraries: the test widget's and the SDK's
// own surface, so that the SDK's interfaces can be invoked from tests without the server.
#include "platform/DispatchImpl.h"
#include "platform/TypeInfoCache.h"
#include "server/AmbivoxTypeLibrary.h"
#include "tests/support/TestWidget.h"

namespace ambivox {

ITypeInfo* module_type_info(IID const& iid) noexcept {
    // Never destroyed: the libraries hold locks on the platform module, whose own static may
    // already be gone when the test program's statics are torn down.
    static type_info_cache& widget = *new type_info_cache(&testing::test_widget_library);
    static type_info_cache& surface = *new type_info_cache(&ambivox_type_library);
    if (ITypeInfo* info = widget.find(iid)) return info;
    return surface.find(iid);
}

}  // namespace ambivox
