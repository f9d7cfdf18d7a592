// TextPageConverter: turns a Model N device's "|"-separated configuration and data pages into
// unified configuration and data documents. Model "NX2" pages are grouped (three probes of
// different kinds per group); every other model's are flat (temperature probes only).
#pragma once

#include <string>
#include <string_view>

#include "platform/base/Errors.h"

namespace ambivox {

class TextPageConverter {
public:
    // Both documents, or the failure: E_INVALIDARG when a page ends where a field is needed
    // (nothing is produced then), E_POINTER when configDocument is null. The data document is
    // stored only when dataDocument is given. Out-parameters receive strings the caller frees
    // and are untouched on failure. A page cut off inside the unit block or a group still
    // converts, into a document with an element left open, which fails to parse.
    static HRESULT ConvertTextPages(BSTR model, BSTR configPage, BSTR* configDocument,
                                    BSTR dataPage, BSTR* dataDocument) noexcept;

    struct documents {
        std::u16string configuration;
        std::u16string data;
    };
    // The conversion itself; raises hresult_error(E_INVALIDARG) for a page read past its end.
    static documents convert(std::u16string_view model, std::u16string_view configPage,
                             std::u16string_view dataPage);
};

}  // namespace ambivox
