#include "tools/ambivox/RegistryValues.h"

#include <algorithm>

#include "tools/ambivox/RegistryError.h"

namespace ambivox {

std::vector<RegistryValues::value> RegistryValues::read(HKEY key, char const* what) {
    std::vector<value> values;
    std::vector<char16_t> name(16384);
    std::vector<BYTE> data(1024);
    for (DWORD index = 0;;) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        LSTATUS const status =
            RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_MORE_DATA) {
            data.resize(std::max<std::size_t>(size, data.size() * 2));
            continue;
        }
        if (status != ERROR_SUCCESS) throw cli::RegistryError(what, status);
        ++index;
        values.push_back({std::u16string(name.data(), nameLength), type,
                          std::vector<BYTE>(data.begin(), data.begin() + size)});
    }
    return values;
}

}  // namespace ambivox
