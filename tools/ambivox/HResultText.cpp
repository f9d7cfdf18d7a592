#include "tools/ambivox/HResultText.h"

#include <cstdio>

#include "platform/base/CodePage.h"
#include "platform/base/Errors.h"
#include "platform/base/HResultMessage.h"

namespace ambivox::cli {

namespace {

struct win32_code {
    DWORD code;
    char const* name;
    char const* message;
};

// The failures of the registry and the serial ports that the runtime does not name itself.
constexpr win32_code win32_codes[] = {
    {ERROR_PATH_NOT_FOUND, "ERROR_PATH_NOT_FOUND", "The system cannot find the path specified."},
    {ERROR_ACCESS_DENIED, "ERROR_ACCESS_DENIED", "Access is denied."},
    {ERROR_INVALID_HANDLE, "ERROR_INVALID_HANDLE", "The handle is invalid."},
    {ERROR_SHARING_VIOLATION, "ERROR_SHARING_VIOLATION", "Another process holds the file locked."},
    {ERROR_INVALID_PARAMETER, "ERROR_INVALID_PARAMETER", "The parameter is incorrect."},
    {ERROR_BAD_PATHNAME, "ERROR_BAD_PATHNAME", "The path name is not valid."},
    {ERROR_REGISTRY_CORRUPT, "ERROR_REGISTRY_CORRUPT", "The file is not a registry store."},
    {ERROR_KEY_DELETED, "ERROR_KEY_DELETED", "The key has been deleted."},
    {ERROR_TIMEOUT, "ERROR_TIMEOUT", "This operation returned because the timeout period expired."},
};

win32_code const* win32_of(HRESULT hr) {
    auto const bits = static_cast<std::uint32_t>(hr);
    if ((bits & 0xFFFF0000u) != 0x80070000u) return nullptr;
    for (win32_code const& known : win32_codes)
        if (known.code == (bits & 0xFFFFu)) return &known;
    return nullptr;
}

}  // namespace

std::string hresult_hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

std::string hresult_symbol(HRESULT hr) {
    std::string_view const name = hresult_name(hr);
    if (!name.empty()) return std::string(name);
    if (win32_code const* known = win32_of(hr))
        return std::string("HRESULT_FROM_WIN32(") + known->name + ")";
    return hresult_hex(hr);
}

std::string describe_hresult(HRESULT hr) {
    std::string const symbol = hresult_symbol(hr);
    std::string const hex = hresult_hex(hr);
    std::string text = symbol == hex ? hex : symbol + " (" + hex + ")";
    std::u16string_view const message = hresult_message(hr);
    if (!message.empty())
        text += ": " + narrow(message, CP_UTF8);
    else if (win32_code const* known = win32_of(hr))
        text += std::string(": ") + known->message;
    return text;
}

}  // namespace ambivox::cli
