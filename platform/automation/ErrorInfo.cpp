#include "platform/automation/ErrorInfo.h"

#include "platform/automation/ErrorObject.h"
#include "platform/automation/UniqueBstr.h"

namespace {

// Released when its thread ends, so a cause nobody asked for does not outlive its thread.
thread_local ambivox::com_ptr<IErrorInfo> thread_error;

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo) noexcept {
    if (pperrinfo == nullptr) return E_POINTER;
    *pperrinfo = nullptr;
    return ambivox::hresult_boundary(
        [&] { *pperrinfo = ambivox::make<ambivox::ErrorObject>().detach(); });
}

HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) noexcept {
    if (dwReserved != 0) return E_INVALIDARG;
    thread_error.copy_from(perrinfo);
    return S_OK;
}

HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) noexcept {
    if (pperrinfo == nullptr) return E_POINTER;
    *pperrinfo = nullptr;
    if (dwReserved != 0) return E_INVALIDARG;
    *pperrinfo = thread_error.detach();
    return *pperrinfo != nullptr ? S_OK : S_FALSE;
}

namespace ambivox {

HRESULT set_error(HRESULT hr, std::u16string_view source,
                  std::u16string_view description) noexcept {
    try {
        com_ptr<ErrorObject> error = make<ErrorObject>();
        error->set_source(source);
        error->set_description(description);
        thread_error = std::move(error);
    } catch (...) {
        thread_error = nullptr;
    }
    return hr;
}

void clear_error() noexcept {
    if (thread_error) thread_error = nullptr;
}

std::u16string take_error_description() {
    com_ptr<IErrorInfo> const taken = std::move(thread_error);
    unique_bstr description;
    if (!taken || FAILED(taken->GetDescription(description.put()))) return {};
    return std::u16string(description.view());
}

}  // namespace ambivox
