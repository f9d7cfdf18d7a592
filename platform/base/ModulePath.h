// The file a loaded module came from, found from an address inside it.
#pragma once

#include <string>

namespace ambivox {

// The full path of the shared object that holds `address`; empty when it cannot be told.
std::string module_path_of(void const* address);

}  // namespace ambivox
