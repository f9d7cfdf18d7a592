#include "tools/ambivox/RegistryListing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/base/CodePage.h"
#include "platform/registry/UniqueHkey.h"
#include "tools/ambivox/RegistryError.h"
#include "tools/ambivox/RegistryValues.h"

namespace ambivox::cli {

namespace {

struct root_entry {
    char const* name;
    char const* shortName;
    HKEY key;
};

root_entry const roots[] = {
    {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
    {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
};

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string quoted(std::u16string_view text) {
    std::string out = "\"";
    for (char const c : narrow(text, CP_UTF8)) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string hex_bytes(BYTE const* data, DWORD size) {
    std::string out;
    for (DWORD i = 0; i < size; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", data[i]);
        if (i != 0) out += ',';
        out += byte;
    }
    return out;
}

void dump_key(HKEY root, std::string const& rootName, std::u16string const& path,
              std::string& out) {
    unique_hkey key;
    LSTATUS status = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put());
    if (status != ERROR_SUCCESS) throw RegistryError("cannot open the key", status);
    out += "[" + rootName + (path.empty() ? "" : "\\" + narrow(path, CP_UTF8)) + "]\n";

    for (auto const& v : RegistryValues::read(key.get(), "cannot read the values"))
        out +=
            (v.name.empty() ? std::string("@") : quoted(v.name)) + "=" +
            RegistryListing::value_text(v.type, v.data.data(), static_cast<DWORD>(v.data.size())) +
            "\n";
    out += "\n";

    std::vector<std::u16string> children;
    status = reg_subkey_names(root, path, children);
    if (status != ERROR_SUCCESS) throw RegistryError("cannot list the subkeys", status);
    for (std::u16string const& child : children)
        dump_key(root, rootName, path.empty() ? child : path + u"\\" + child, out);
}

}  // namespace

bool RegistryListing::parse(std::string_view text, key_path& out) {
    std::size_t const slash = text.find('\\');
    std::string_view const rootText = text.substr(0, slash);
    std::string_view rest = slash == std::string_view::npos ? "" : text.substr(slash + 1);
    if (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
    for (root_entry const& root : roots) {
        if (iequals(rootText, root.name) || iequals(rootText, root.shortName)) {
            out.root = root.key;
            out.root_name = root.name;
            out.sub_key = widen(rest, CP_UTF8);
            return true;
        }
    }
    return false;
}

std::string RegistryListing::dump(key_path const& key) {
    std::string out;
    dump_key(key.root, key.root_name, key.sub_key, out);
    return out;
}

std::string RegistryListing::value_text(DWORD type, BYTE const* data, DWORD size) {
    if (type == REG_SZ && size % 2 == 0) {
        std::u16string text(size / 2, u'\0');
        if (size != 0) std::memcpy(text.data(), data, size);
        if (!text.empty() && text.back() == u'\0') text.pop_back();
        // Text with a null inside cannot be written between quotes.
        if (text.find(u'\0') == std::u16string::npos) return quoted(text);
    }
    if (type == REG_DWORD && size == 4) {
        DWORD value = 0;
        std::memcpy(&value, data, 4);
        char text[24];
        std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(value));
        return text;
    }
    if (type == REG_BINARY) return "hex:" + hex_bytes(data, size);
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(type));
    return prefix + hex_bytes(data, size);
}

}  // namespace ambivox::cli
