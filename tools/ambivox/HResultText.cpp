#include "tools/ambivox/HResultText.h"

#include <cstdio>

#include "platform/CodePage.h"
#include "platform/HResultMessage.h"

namespace ambivox::cli {

std::string hresult_hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

std::string hresult_symbol(HRESULT hr) {
    std::string_view const name = hresult_name(hr);
    return name.empty() ? hresult_hex(hr) : std::string(name);
}

std::string describe_hresult(HRESULT hr) {
    std::string_view const name = hresult_name(hr);
    std::string text = name.empty() ? hresult_hex(hr) : std::string(name) + " (" + hresult_hex(hr) + ")";
    std::u16string_view const message = hresult_message(hr);
    if (!message.empty()) text += ": " + narrow(message, CP_UTF8);
    return text;
}

}  // namespace ambivox::cli
