// DeviceRequests: how a device reaches its documents: a fresh data connector from the
// component runtime for every request, and its readers passed as element handlers.
#pragma once

#include <string>
#include <string_view>

#include "ambivox/AmbivoxSDK.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/com/ComPtr.h"
#include "xml/IXMLElementHandler.h"

namespace ambivox {

class DeviceRequests {
public:
    // A new data connector; raises hresult_error with the creation's failure.
    static com_ptr<IDataConnector> connector();
    // The handler argument that carries `handler` across the connector's interface.
    static LONG_PTR* handler_argument(IXMLElementHandler* handler) noexcept {
        return reinterpret_cast<LONG_PTR*>(handler);
    }
    // The string setters shared by the device properties. Rule A: not empty and not the
    // current value. Rule B: at most `maxLength` characters, anything else goes.
    static HRESULT set_rule_a(unique_bstr& field, BSTR value) noexcept;
    static HRESULT set_rule_b(unique_bstr& field, BSTR value, std::size_t maxLength) noexcept;
    // The description of the error object a failed connector request left, taking it off the
    // thread; "<subject>: the request failed" when it left none.
    static std::u16string failure_description(std::u16string_view subject);
    // A copy for a getter; E_OUTOFMEMORY for a null out-pointer.
    static HRESULT get(unique_bstr const& field, BSTR* out) noexcept;
};

}  // namespace ambivox
