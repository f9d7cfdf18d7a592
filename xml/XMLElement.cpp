#include "xml/XMLElement.h"

namespace ambivox {

std::u16string XMLElement::GetAttribute(std::u16string_view name) const {
    if (name.empty()) return {};
    // Elements carry two or three attributes; a walk beats building a key string to look up.
    for (auto const& [key, value] : attributes)
        if (key == name) return std::u16string(value);
    return {};
}

}  // namespace ambivox
