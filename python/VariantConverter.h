// VariantConverter: Python values to variants and back, the way a script expects them:
// str <-> BSTR, int <-> VT_I4 (VT_I8 beyond), float <-> VT_R8, bool <-> VT_BOOL,
// datetime <-> VT_DATE, None <-> VT_EMPTY, wrapped objects <-> VT_DISPATCH / VT_UNKNOWN.
#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <string_view>

#include "platform/automation/UniqueVariant.h"

namespace ambivox::python {

class VariantConverter {
public:
    // Raises TypeError for a value no variant can hold, OverflowError for an int beyond 64 bits.
    static unique_variant to_variant(pybind11::handle value);
    // Objects come back wrapped for the calling thread. Raises TypeError for a variant type
    // Python has no counterpart for.
    static pybind11::object to_python(VARIANT const& value);

    static pybind11::str to_str(std::u16string_view text);
    // The text of a Python str; TypeError for anything else.
    static std::u16string text_of(pybind11::handle text);
    static std::string utf8(std::u16string_view text);
    // A caller's str in a message, quoted as repr() quotes it: a NUL or a lone surrogate shows
    // rather than cut the message short.
    static std::string shown(pybind11::handle text);
};

}  // namespace ambivox::python
