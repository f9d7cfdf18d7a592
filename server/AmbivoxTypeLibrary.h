// The description of the Ambivox SDK's automation surface: the one source of its type library,
// its dispatch tables and its registration.
#pragma once

#include "platform/automation/LibraryDescription.h"

namespace ambivox {

library_description const& ambivox_type_library();

}  // namespace ambivox
