// EnumeratedItems: the objects an enumerator of VARIANTs hands out, one pass, as interface I.
#pragma once

#include <vector>

#include "platform/automation/UniqueVariant.h"
#include "platform/com/ComPtr.h"

namespace ambivox {

class EnumeratedItems {
public:
    // The items that are objects answering I, in the enumerator's order; others are passed over.
    // Stops at the first step that hands out nothing. Raises what allocation raises.
    template <class I>
    static std::vector<com_ptr<I>> of(IUnknown* enumerator) {
        std::vector<com_ptr<I>> result;
        auto items = com_copy(enumerator).template try_as<IEnumVARIANT>();
        if (!items) return result;
        for (;;) {
            unique_variant item;
            ULONG fetched = 0;
            if (items->Next(1, item.put(), &fetched) != S_OK || fetched != 1) break;
            if (item.type() != VT_DISPATCH || item->pdispVal == nullptr) continue;
            if (auto object = com_copy(item->pdispVal).template try_as<I>())
                result.push_back(std::move(object));
        }
        return result;
    }
};

}  // namespace ambivox
