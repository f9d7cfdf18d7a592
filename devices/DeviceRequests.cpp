#include "devices/DeviceRequests.h"

#include "platform/automation/ErrorInfo.h"
#include "platform/com/ComRuntime.h"

namespace ambivox {

com_ptr<IDataConnector> DeviceRequests::connector() {
    com_ptr<IDataConnector> result;
    check_hresult(CoCreateInstance(CLSID_DataConnector, nullptr, CLSCTX_ALL, IDataConnector::iid,
                                   result.put_void()));
    return result;
}

std::u16string DeviceRequests::failure_description(std::u16string_view subject) {
    std::u16string description = take_error_description();
    return description.empty() ? std::u16string(subject) + u": the request failed" : description;
}

HRESULT DeviceRequests::set_rule_a(unique_bstr& field, BSTR value) noexcept {
    std::u16string_view const text = bstr_view(value);
    if (text.empty() || text == field.view()) return E_INVALIDARG;
    return hresult_boundary([&] { field = unique_bstr::copy_of(value); });
}

HRESULT DeviceRequests::set_rule_b(unique_bstr& field, BSTR value, std::size_t maxLength) noexcept {
    if (SysStringLen(value) > maxLength) return E_INVALIDARG;
    return hresult_boundary([&] { field = unique_bstr(bstr_view(value)); });
}

HRESULT DeviceRequests::get(unique_bstr const& field, BSTR* out) noexcept {
    if (out == nullptr) return E_OUTOFMEMORY;
    return hresult_boundary([&] { *out = field.copy(); });
}

}  // namespace ambivox
