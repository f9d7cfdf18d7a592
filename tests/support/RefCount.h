// Reading an object's reference count from the outside, for tests only.
#pragma once

#include "platform/com/Unknown.h"

namespace ambivox::testing {

// The count AddRef and Release report: the count the object had before the call.
inline ULONG ref_count(IUnknown* object) noexcept {
    object->AddRef();
    return object->Release();
}

}  // namespace ambivox::testing
