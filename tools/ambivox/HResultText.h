// How the program writes an HRESULT for people: its name, its value and the runtime's sentence.
#pragma once

#include <string>

#include "platform/base/Types.h"

namespace ambivox::cli {

// "0x80004005".
std::string hresult_hex(HRESULT hr);
// "E_FAIL", or the hexadecimal value for a code without a name.
std::string hresult_symbol(HRESULT hr);
// "E_FAIL (0x80004005): Unspecified error."; the name and sentence only where they are known.
std::string describe_hresult(HRESULT hr);

}  // namespace ambivox::cli
