#include "tests/support/RegistryDump.h"

#include <cstring>
#include <vector>

#include "platform/base/CodePage.h"
#include "platform/registry/UniqueHkey.h"

namespace ambivox::testing {

namespace {

void dump_key(HKEY root, std::u16string const& path, std::set<std::string>& lines) {
    unique_hkey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
    std::string const name = narrow(path, CP_UTF8);
    if (!path.empty()) lines.insert(name);
    for (DWORD index = 0;; ++index) {
        char16_t valueName[512];
        DWORD nameLength = 512;
        DWORD type = 0;
        BYTE data[4096];
        DWORD size = sizeof data;
        if (RegEnumValueW(key.get(), index, valueName, &nameLength, nullptr, &type, data, &size) !=
            ERROR_SUCCESS)
            break;
        std::string text;
        if (type == REG_SZ) {
            std::u16string value(reinterpret_cast<char16_t const*>(data), size / 2);
            while (!value.empty() && value.back() == u'\0')
                value.pop_back();
            text = narrow(value, CP_UTF8);
        } else if (type == REG_DWORD) {
            DWORD v;
            std::memcpy(&v, data, sizeof v);
            text = "dword:" + std::to_string(v);
        }
        std::string const valueText =
            nameLength == 0 ? std::string("@") : narrow({valueName, nameLength}, CP_UTF8);
        lines.insert(name + " | " + valueText + " = " + text);
    }
    std::vector<std::u16string> children;
    if (reg_subkey_names(root, path, children) != ERROR_SUCCESS) return;
    for (auto const& child : children)
        dump_key(root, path.empty() ? child : path + u"\\" + child, lines);
}

}  // namespace

std::set<std::string> registry_dump(HKEY root, std::u16string const& subKey) {
    std::set<std::string> lines;
    dump_key(root, subKey, lines);
    return lines;
}

}  // namespace ambivox::testing
