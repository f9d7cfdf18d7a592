// ErrorObject: the error object CreateErrorInfo hands out. Filled once through ICreateErrorInfo,
// then read through IErrorInfo, possibly on another thread than the one that made it.
#pragma once

#include "platform/automation/ErrorInfo.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/com/Implements.h"

namespace ambivox {

class ErrorObject final
    : public implements<ErrorObject, IErrorInfo, ICreateErrorInfo, free_threaded> {
public:
    ErrorObject() noexcept = default;

    HRESULT GetGUID(GUID* pGUID) noexcept override;
    HRESULT GetSource(BSTR* pBstrSource) noexcept override;
    HRESULT GetDescription(BSTR* pBstrDescription) noexcept override;
    HRESULT GetHelpFile(BSTR* pBstrHelpFile) noexcept override;
    HRESULT GetHelpContext(DWORD* pdwHelpContext) noexcept override;

    HRESULT SetGUID(REFGUID rguid) noexcept override;
    HRESULT SetSource(LPOLESTR szSource) noexcept override;
    HRESULT SetDescription(LPOLESTR szDescription) noexcept override;
    HRESULT SetHelpFile(LPOLESTR szHelpFile) noexcept override;
    HRESULT SetHelpContext(DWORD dwHelpContext) noexcept override;

    // For the runtime's own callers, which hold the text as views; raise std::bad_alloc.
    void set_source(std::u16string_view source) { m_source = unique_bstr(source); }
    void set_description(std::u16string_view description) {
        m_description = unique_bstr(description);
    }

private:
    ~ErrorObject() override = default;

    GUID m_guid = GUID_NULL;
    unique_bstr m_source;
    unique_bstr m_description;
    unique_bstr m_help_file;
    DWORD m_help_context = 0;
};

}  // namespace ambivox
