// Registrar: runs registration scripts in the platform registrar's format against the registry.
//
//     HKCR
//     {
//         NoRemove CLSID
//         {
//             ForceRemove {GUID} = s 'Thing Class'
//             {
//                 InprocServer32 = s '%MODULE%'
//                 {
//                     val ThreadingModel = s 'Apartment'
//                 }
//             }
//         }
//     }
//
// Register mode creates every key and sets every value; a ForceRemove key is deleted whole
// first, a Delete key is only deleted. Unregister mode deletes every key the script names with
// all below it, except NoRemove keys, which stay while what the script names inside them goes.
// %NAME% is replaced by the variable NAME (names match without regard to case; %% is a
// percent sign) before the script is read, so values given for quoted strings must have their
// single quotes doubled already.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/base/Types.h"

namespace ambivox {

class Registrar {
public:
    void add_replacement(std::u16string_view name, std::u16string_view value);

    // S_OK, DISP_E_EXCEPTION for a script that does not parse or names an unknown variable
    // (nothing is written then), or the HRESULT of the first registry call that failed (what
    // was written before it stays).
    HRESULT register_script(std::u16string_view script) const noexcept;
    HRESULT unregister_script(std::u16string_view script) const noexcept;

    // Doubles every single quote, for a value that will stand inside a quoted string.
    static std::u16string quote_escaped(std::u16string_view value);

private:
    HRESULT run(std::u16string_view script, bool registering) const noexcept;

    std::vector<std::pair<std::u16string, std::u16string>> m_replacements;
};

}  // namespace ambivox
