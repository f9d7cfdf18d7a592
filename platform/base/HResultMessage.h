// Plain-words descriptions of the HRESULTs the runtime and the library return.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/Types.h"

namespace ambivox {

// A sentence for a known code, else empty.
std::u16string_view hresult_message(HRESULT hr) noexcept;

// The symbolic name of a known code ("E_INVALIDARG"), else empty.
std::string_view hresult_name(HRESULT hr) noexcept;

}  // namespace ambivox
