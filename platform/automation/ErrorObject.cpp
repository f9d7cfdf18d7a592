#include "platform/automation/ErrorObject.h"

namespace ambivox {

namespace {

HRESULT hand_out(unique_bstr const& text, BSTR* out) noexcept {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    return hresult_boundary([&] { *out = text.copy(); });
}

// The text up to its terminator; a null string is none at all.
HRESULT take(LPOLESTR text, unique_bstr& into) noexcept {
    return hresult_boundary(
        [&] { into = text == nullptr ? unique_bstr{} : unique_bstr(std::u16string_view(text)); });
}

}  // namespace

HRESULT ErrorObject::GetGUID(GUID* pGUID) noexcept {
    if (pGUID == nullptr) return E_POINTER;
    *pGUID = m_guid;
    return S_OK;
}

HRESULT ErrorObject::GetSource(BSTR* pBstrSource) noexcept {
    return hand_out(m_source, pBstrSource);
}

HRESULT ErrorObject::GetDescription(BSTR* pBstrDescription) noexcept {
    return hand_out(m_description, pBstrDescription);
}

HRESULT ErrorObject::GetHelpFile(BSTR* pBstrHelpFile) noexcept {
    return hand_out(m_help_file, pBstrHelpFile);
}

HRESULT ErrorObject::GetHelpContext(DWORD* pdwHelpContext) noexcept {
    if (pdwHelpContext == nullptr) return E_POINTER;
    *pdwHelpContext = m_help_context;
    return S_OK;
}

HRESULT ErrorObject::SetGUID(REFGUID rguid) noexcept {
    m_guid = rguid;
    return S_OK;
}

HRESULT ErrorObject::SetSource(LPOLESTR szSource) noexcept {
    return take(szSource, m_source);
}

HRESULT ErrorObject::SetDescription(LPOLESTR szDescription) noexcept {
    return take(szDescription, m_description);
}

HRESULT ErrorObject::SetHelpFile(LPOLESTR szHelpFile) noexcept {
    return take(szHelpFile, m_help_file);
}

HRESULT ErrorObject::SetHelpContext(DWORD dwHelpContext) noexcept {
    m_help_context = dwHelpContext;
    return S_OK;
}

}  // namespace ambivox
