// supports_error_info<I...>: ISupportErrorInfo for an object whose members of I... (and of the
// interfaces they extend, IDispatch among them) leave an error object when they fail. List it
// among the interfaces of implements<>:
//
//     class CThing : public implements<CThing, dispatch<IThing>, supports_error_info<IThing>>
#pragma once

#include <type_traits>

#include "platform/automation/ErrorInfo.h"

namespace ambivox {

template <class... I>
class supports_error_info : public ISupportErrorInfo {
public:
    using interface_type = ISupportErrorInfo;

    HRESULT InterfaceSupportsErrorInfo(REFIID riid) noexcept override {
        return (extends<I>(riid) || ...) ? S_OK : S_FALSE;
    }

protected:
    supports_error_info() noexcept = default;
    ~supports_error_info() = default;

private:
    // IUnknown belongs to every object and says nothing about its members' failures.
    template <class T>
    static bool extends(REFIID riid) noexcept {
        if constexpr (std::is_same_v<T, IUnknown>)
            return false;
        else
            return riid == T::iid || extends<typename T::base_interface>(riid);
    }
};

}  // namespace ambivox
