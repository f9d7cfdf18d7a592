// XMLElement: one start or end tag as an element handler sees it. It lives only for the length
// of the handler call that receives it; a handler that needs anything of it afterwards copies it.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ambivox {

class XMLElement {
public:
    // The name and the attributes are views of the parser's storage, valid for the handler call
    // like the element itself, so nothing of a tag, however long, is copied on its way to the
    // handler.

    // The local name: namespace prefixes and URIs are not kept.
    std::u16string_view name;
    // Attribute local name and value, ordered by name code unit by code unit, one per name.
    // Always empty for end tags. A tag has a handful of attributes: an array kept in order
    // costs no node per attribute, and its storage serves tag after tag.
    std::vector<std::pair<std::u16string_view, std::u16string_view>> attributes;

    // A copy of the value of the attribute whose local name is exactly `name` (case-sensitive);
    // empty when there is none or `name` is empty. Raises std::bad_alloc.
    std::u16string GetAttribute(std::u16string_view name) const;
};

}  // namespace ambivox
