#include "platform/base/Guid.h"

#include <cstdio>

#include "platform/base/Errors.h"

namespace ambivox {

std::optional<GUID> parse_guid(std::u16string_view text) noexcept {
    return guid_detail::parse(text);
}

std::string to_string(GUID const& g) {
    char buf[39];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

std::u16string to_u16string(GUID const& g) {
    auto const narrow = to_string(g);
    return {narrow.begin(), narrow.end()};
}

}  // namespace ambivox

int StringFromGUID2(REFGUID rguid, LPOLESTR buffer, int cchMax) noexcept {
    constexpr int needed = 39;
    if (buffer == nullptr || cchMax < needed) return 0;
    auto const narrow = ambivox::to_string(rguid);
    for (int i = 0; i < needed - 1; ++i)
        buffer[i] = static_cast<OLECHAR>(narrow[i]);
    buffer[needed - 1] = u'\0';
    return needed;
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) noexcept {
    if (text == nullptr || clsid == nullptr) return E_INVALIDARG;
    std::u16string_view const view(text);
    if (view.size() != 38) return CO_E_CLASSSTRING;
    auto const g = ambivox::parse_guid(view);
    if (!g) return CO_E_CLASSSTRING;
    *clsid = *g;
    return S_OK;
}

HRESULT IIDFromString(LPCOLESTR text, IID* iid) noexcept {
    return CLSIDFromString(text, iid);
}
