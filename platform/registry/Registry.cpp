#include "platform/registry/Registry.h"

#include <cstring>
#include <new>

#include "platform/base/ThreadState.h"
#include "platform/registry/RegistryStore.h"
#include "platform/registry/UniqueHkey.h"

using ambivox::RegistryStore;

namespace {

constexpr std::size_t max_key_name = 255;
constexpr std::size_t max_value_name = 16383;

LSTATUS done(LSTATUS rc) noexcept {
    if (rc != ERROR_SUCCESS) SetLastError(static_cast<DWORD>(rc));
    return rc;
}

// Runs the body, turning an allocation failure into its error code and recording any failure
// as the thread's last error.
template <class Body>
LSTATUS guarded(Body&& body) noexcept {
    try {
        return done(body());
    } catch (std::bad_alloc const&) {
        return done(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        return done(ERROR_GEN_FAILURE);
    }
}

LSTATUS parse_path(LPCWSTR text, RegistryStore::KeyPath& path) {
    path.clear();
    if (text == nullptr || *text == u'\0') return ERROR_SUCCESS;
    if (*text == u'\\') return ERROR_BAD_PATHNAME;
    std::u16string_view rest(text);
    while (!rest.empty()) {
        std::size_t const slash = rest.find(u'\\');
        std::u16string_view const name = rest.substr(0, slash);
        if (name.empty()) return ERROR_BAD_PATHNAME;
        if (name.size() > max_key_name) return ERROR_INVALID_PARAMETER;
        path.emplace_back(name);
        if (slash == std::u16string_view::npos) break;
        rest.remove_prefix(slash + 1);  // one trailing backslash leaves `rest` empty
    }
    return ERROR_SUCCESS;
}

LSTATUS value_name(LPCWSTR text, std::u16string_view& name) noexcept {
    name = text == nullptr ? std::u16string_view{} : std::u16string_view(text);
    return name.size() > max_value_name ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}

// Copies `name` with its terminator when *capacity (in characters, terminator included) allows.
LSTATUS copy_name(std::u16string const& name, LPWSTR buffer, DWORD* capacity) noexcept {
    if (name.size() + 1 > *capacity) {
        *capacity = static_cast<DWORD>(name.size() + 1);
        return ERROR_MORE_DATA;
    }
    std::memcpy(buffer, name.data(), name.size() * sizeof(char16_t));
    buffer[name.size()] = u'\0';
    *capacity = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

}  // namespace

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD /*reserved*/, LPWSTR /*cls*/, DWORD options,
                        REGSAM desired, void* /*security*/, PHKEY result,
                        DWORD* disposition) noexcept {
    return guarded([&]() -> LSTATUS {
        if (result == nullptr) return ERROR_INVALID_PARAMETER;
        *result = nullptr;
        if (options != REG_OPTION_NON_VOLATILE) return ERROR_INVALID_PARAMETER;
        RegistryStore::KeyPath path;
        if (LSTATUS rc = parse_path(subKey, path); rc != ERROR_SUCCESS) return rc;
        HKEY opened = nullptr;
        DWORD how = 0;
        LSTATUS rc = RegistryStore::instance().create_key(key, path, desired, opened, how);
        if (rc != ERROR_SUCCESS) return rc;
        *result = opened;
        if (disposition != nullptr) *disposition = how;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD /*options*/, REGSAM desired,
                      PHKEY result) noexcept {
    return guarded([&]() -> LSTATUS {
        if (result == nullptr) return ERROR_INVALID_PARAMETER;
        *result = nullptr;
        RegistryStore::KeyPath path;
        if (LSTATUS rc = parse_path(subKey, path); rc != ERROR_SUCCESS) return rc;
        HKEY opened = nullptr;
        LSTATUS rc = RegistryStore::instance().open_key(key, path, desired, opened);
        if (rc == ERROR_SUCCESS) *result = opened;
        return rc;
    });
}

LSTATUS RegCloseKey(HKEY key) noexcept {
    return done(RegistryStore::instance().close_key(key));
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD /*reserved*/, DWORD type,
                       const BYTE* data, DWORD size) noexcept {
    return guarded([&]() -> LSTATUS {
        std::u16string_view name;
        if (LSTATUS rc = value_name(valueName, name); rc != ERROR_SUCCESS) return rc;
        if (data == nullptr && size != 0) return ERROR_NOACCESS;
        if (type == REG_DWORD && size != sizeof(DWORD)) return ERROR_INVALID_PARAMETER;
        if (type == REG_QWORD && size != sizeof(ULONGLONG)) return ERROR_INVALID_PARAMETER;
        return RegistryStore::instance().set_value(key, name, type, data, size);
    });
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* /*reserved*/, DWORD* type, BYTE* data,
                         DWORD* size) noexcept {
    return guarded([&]() -> LSTATUS {
        std::u16string_view name;
        if (LSTATUS rc = value_name(valueName, name); rc != ERROR_SUCCESS) return rc;
        if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
        DWORD stored_type = REG_NONE;
        std::vector<BYTE> bytes;
        LSTATUS rc = RegistryStore::instance().query_value(key, name, stored_type, bytes);
        if (rc != ERROR_SUCCESS) return rc;
        if (type != nullptr) *type = stored_type;
        if (size == nullptr) return ERROR_SUCCESS;
        DWORD const needed = static_cast<DWORD>(bytes.size());
        if (data != nullptr) {
            if (*size < needed) {
                *size = needed;
                return ERROR_MORE_DATA;
            }
            if (needed != 0) std::memcpy(data, bytes.data(), needed);
        }
        *size = needed;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) noexcept {
    return guarded([&]() -> LSTATUS {
        std::u16string_view name;
        if (LSTATUS rc = value_name(valueName, name); rc != ERROR_SUCCESS) return rc;
        return RegistryStore::instance().delete_value(key, name);
    });
}

LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey) noexcept {
    return guarded([&]() -> LSTATUS {
        if (subKey == nullptr) return ERROR_INVALID_PARAMETER;
        RegistryStore::KeyPath path;
        if (LSTATUS rc = parse_path(subKey, path); rc != ERROR_SUCCESS) return rc;
        return RegistryStore::instance().delete_key(key, path);
    });
}

LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR subKey) noexcept {
    return guarded([&]() -> LSTATUS {
        RegistryStore::KeyPath path;
        if (LSTATUS rc = parse_path(subKey, path); rc != ERROR_SUCCESS) return rc;
        return RegistryStore::instance().delete_tree(key, path);
    });
}

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* cchName, DWORD* /*reserved*/,
                      LPWSTR cls, DWORD* cchClass, void* lastWrite) noexcept {
    return guarded([&]() -> LSTATUS {
        if (name == nullptr || cchName == nullptr) return ERROR_INVALID_PARAMETER;
        if (cls != nullptr && cchClass == nullptr) return ERROR_INVALID_PARAMETER;
        std::u16string found;
        LSTATUS rc = RegistryStore::instance().enum_key(key, index, found);
        if (rc != ERROR_SUCCESS) return rc;
        if (rc = copy_name(found, name, cchName); rc != ERROR_SUCCESS) return rc;
        if (cchClass != nullptr) {
            if (cls != nullptr && *cchClass > 0) cls[0] = u'\0';
            *cchClass = 0;
        }
        if (lastWrite != nullptr) std::memset(lastWrite, 0, sizeof(ULONGLONG));
        return ERROR_SUCCESS;
    });
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* cchName, DWORD* /*reserved*/,
                      DWORD* type, BYTE* data, DWORD* size) noexcept {
    return guarded([&]() -> LSTATUS {
        if (name == nullptr || cchName == nullptr) return ERROR_INVALID_PARAMETER;
        if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
        std::u16string found;
        DWORD stored_type = REG_NONE;
        std::vector<BYTE> bytes;
        LSTATUS rc = RegistryStore::instance().enum_value(key, index, found, stored_type, bytes);
        if (rc != ERROR_SUCCESS) return rc;
        if (rc = copy_name(found, name, cchName); rc != ERROR_SUCCESS) return rc;
        if (type != nullptr) *type = stored_type;
        if (size == nullptr) return ERROR_SUCCESS;
        DWORD const needed = static_cast<DWORD>(bytes.size());
        if (data != nullptr) {
            if (*size < needed) {
                *size = needed;
                return ERROR_MORE_DATA;
            }
            if (needed != 0) std::memcpy(data, bytes.data(), needed);
        }
        *size = needed;
        return ERROR_SUCCESS;
    });
}

namespace ambivox {

std::string registry_path() noexcept {
    return RegistryStore::path();
}

namespace {

// A null-terminated copy for the C-style functions; false when the view holds a null character
// (which would silently shorten the name).
bool terminated(std::u16string_view view, std::u16string& out) {
    if (view.find(u'\0') != std::u16string_view::npos) return false;
    out.assign(view);
    return true;
}

// Opens `sub_key` of `key`, or answers `key` itself for an empty path. `owner` closes what was
// opened.
LSTATUS open_for(HKEY key, std::u16string_view sub_key, REGSAM access, unique_hkey& owner,
                 HKEY& target) {
    if (sub_key.empty()) {
        target = key;
        return ERROR_SUCCESS;
    }
    std::u16string path;
    if (!terminated(sub_key, path)) return ERROR_INVALID_PARAMETER;
    LSTATUS const rc = RegOpenKeyExW(key, path.c_str(), 0, access, owner.put());
    target = owner.get();
    return rc;
}

LSTATUS set_value(HKEY key, std::u16string_view sub_key, std::u16string_view name, DWORD type,
                  BYTE const* data, DWORD size) {
    std::u16string terminated_name;
    if (!terminated(name, terminated_name)) return ERROR_INVALID_PARAMETER;
    if (sub_key.empty()) return RegSetValueExW(key, terminated_name.c_str(), 0, type, data, size);
    std::u16string path;
    if (!terminated(sub_key, path)) return ERROR_INVALID_PARAMETER;
    RegistryStore::KeyPath keys;
    if (LSTATUS rc = parse_path(path.c_str(), keys); rc != ERROR_SUCCESS) return rc;
    std::u16string_view checked_name;
    if (LSTATUS rc = value_name(terminated_name.c_str(), checked_name); rc != ERROR_SUCCESS)
        return rc;
    // Creating the key and setting the value as one call: registration tools running at once
    // delete and recreate keys, and one of them could otherwise delete the key in between.
    return RegistryStore::instance().create_and_set_value(key, keys, checked_name, type, data,
                                                          size);
}

}  // namespace

LSTATUS reg_set_string(HKEY key, std::u16string_view sub_key, std::u16string_view name,
                       std::u16string_view value) noexcept {
    return guarded([&]() -> LSTATUS {
        std::size_t const bytes = (value.size() + 1) * sizeof(char16_t);
        if (bytes > 0xFFFFFFFFu) return ERROR_INVALID_PARAMETER;
        std::u16string text(value);  // brings the terminator
        return set_value(key, sub_key, name, REG_SZ, reinterpret_cast<BYTE const*>(text.c_str()),
                         static_cast<DWORD>(bytes));
    });
}

LSTATUS reg_set_dword(HKEY key, std::u16string_view sub_key, std::u16string_view name,
                      DWORD value) noexcept {
    return guarded([&]() -> LSTATUS {
        return set_value(key, sub_key, name, REG_DWORD, reinterpret_cast<BYTE const*>(&value),
                         sizeof value);
    });
}

LSTATUS reg_get_string(HKEY key, std::u16string_view sub_key, std::u16string_view name,
                       std::u16string& value) noexcept {
    return guarded([&]() -> LSTATUS {
        std::u16string terminated_name;
        if (!terminated(name, terminated_name)) return ERROR_INVALID_PARAMETER;
        unique_hkey owner;
        HKEY target = nullptr;
        if (LSTATUS rc = open_for(key, sub_key, KEY_QUERY_VALUE, owner, target);
            rc != ERROR_SUCCESS)
            return rc;
        // Another process may grow the value between the two reads; then ask again.
        std::vector<BYTE> bytes;
        DWORD type = REG_NONE;
        for (;;) {
            DWORD size = 0;
            LSTATUS rc =
                RegQueryValueExW(target, terminated_name.c_str(), nullptr, &type, nullptr, &size);
            if (rc != ERROR_SUCCESS) return rc;
            if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
            bytes.resize(size);
            rc = RegQueryValueExW(target, terminated_name.c_str(), nullptr, &type, bytes.data(),
                                  &size);
            if (rc == ERROR_MORE_DATA) continue;
            if (rc != ERROR_SUCCESS) return rc;
            if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
            bytes.resize(size);
            break;
        }
        std::u16string text(bytes.size() / sizeof(char16_t), u'\0');
        if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * sizeof(char16_t));
        if (auto const end = text.find(u'\0'); end != std::u16string::npos) text.resize(end);
        value = std::move(text);
        return ERROR_SUCCESS;
    });
}

LSTATUS reg_get_dword(HKEY key, std::u16string_view sub_key, std::u16string_view name,
                      DWORD& value) noexcept {
    return guarded([&]() -> LSTATUS {
        std::u16string terminated_name;
        if (!terminated(name, terminated_name)) return ERROR_INVALID_PARAMETER;
        unique_hkey owner;
        HKEY target = nullptr;
        if (LSTATUS rc = open_for(key, sub_key, KEY_QUERY_VALUE, owner, target);
            rc != ERROR_SUCCESS)
            return rc;
        DWORD type = REG_NONE;
        DWORD data = 0;
        DWORD size = sizeof data;
        LSTATUS const rc = RegQueryValueExW(target, terminated_name.c_str(), nullptr, &type,
                                            reinterpret_cast<BYTE*>(&data), &size);
        if ((rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) &&
            (type != REG_DWORD || size != sizeof data))
            return ERROR_INVALID_DATA;
        if (rc != ERROR_SUCCESS) return rc;
        value = data;
        return ERROR_SUCCESS;
    });
}

LSTATUS reg_subkey_names(HKEY key, std::u16string_view sub_key,
                         std::vector<std::u16string>& names) noexcept {
    return guarded([&]() -> LSTATUS {
        unique_hkey owner;
        HKEY target = nullptr;
        if (LSTATUS rc = open_for(key, sub_key, KEY_ENUMERATE_SUB_KEYS, owner, target);
            rc != ERROR_SUCCESS)
            return rc;
        std::vector<std::u16string> found;
        char16_t buffer[max_key_name + 1];
        for (DWORD index = 0;; ++index) {
            DWORD length = static_cast<DWORD>(std::size(buffer));
            LSTATUS const rc =
                RegEnumKeyExW(target, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_NO_MORE_ITEMS) break;
            if (rc != ERROR_SUCCESS) return rc;
            found.emplace_back(buffer, length);
        }
        names = std::move(found);
        return ERROR_SUCCESS;
    });
}

}  // namespace ambivox
