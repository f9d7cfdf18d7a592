// RegistryValues: every value of an open key, read whole whatever its size.
#pragma once

#include <string>
#include <vector>

#include "platform/registry/Registry.h"

namespace ambivox {

class RegistryValues {
public:
    struct value {
        std::u16string name;  // empty for the default value
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };

    // The values in enumeration order; raises RegistryError(`what`) when they cannot be read.
    static std::vector<value> read(HKEY key, char const* what);
};

}  // namespace ambivox
