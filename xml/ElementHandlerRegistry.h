// ElementHandlerRegistry: every element handler alive in the process. A handler crosses the data
// connector's interface as a bare address; the connector uses an address only when it is one
// of these, so a late-bound caller passing any other number cannot make it touch memory.
#pragma once

#include "platform/base/Types.h"

namespace ambivox {

class IXMLElementHandler;

class ElementHandlerRegistry {
public:
    static void add(IXMLElementHandler const* handler);
    static void remove(IXMLElementHandler const* handler) noexcept;
    // The live handler at `address`, or null when none lives there.
    static IXMLElementHandler* find(void const* address) noexcept;
};

}  // namespace ambivox
