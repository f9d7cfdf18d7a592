// RegistryListing: a registry subtree in the .reg form: a "[ROOT\path]" line per key, in the
// store's enumeration order with each key before its subkeys, followed by its values
// ("@" for the default value, "name"="text", "name"=dword:0000002a, "name"=hex(7):...).
#pragma once

#include <string>
#include <string_view>

#include "platform/registry/Registry.h"

namespace ambivox::cli {

class RegistryListing {
public:
    struct key_path {
        HKEY root = nullptr;
        std::string root_name;   // "HKEY_CLASSES_ROOT"
        std::u16string sub_key;  // empty for the root itself
    };

    // "HKEY_CLASSES_ROOT\CLSID", "HKCR\CLSID", "HKLM", ... (roots in any letter case; one
    // trailing backslash is ignored). False for a path under no known root.
    static bool parse(std::string_view text, key_path& out);

    // The listing of the key and everything below it. Raises RegistryError (ERROR_FILE_NOT_FOUND
    // when the key does not exist).
    static std::string dump(key_path const& key);

    // One value's data as the .reg form writes it after "=".
    static std::string value_text(DWORD type, BYTE const* data, DWORD size);
};

}  // namespace ambivox::cli
