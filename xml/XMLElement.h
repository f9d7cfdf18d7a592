// XMLElement: one start or end tag as an element handler sees it. It lives only for the length
// of the handler call that receives it; a handler that needs anything of it afterwards copies it.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace ambivox {

class XMLElement {
public:
    // The name and the attributes are views of the parser's storage, valid for the handler call
    // like the element itself, so nothing of a tag, however long, is copied on its way to the
    // handler.

    // The local name: namespace prefixes and URIs are not kept.
    std::u16string_view name;
    // Attribute local name to value, ordered by code unit. Always empty for end tags.
    std::map<std::u16string_view, std::u16string_view> attributes;

    // A copy of the value of the attribute whose local name is exactly `name` (case-sensitive);
    // empty when there is none or `name` is empty. Raises std::bad_alloc.
    std::u16string GetAttribute(std::u16string_view name) const;
};

}  // namespace ambivox
