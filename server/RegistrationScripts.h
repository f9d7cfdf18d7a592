// RegistrationScripts: the module's registration scripts, in the registrar's format. Script 101
// registers the application id; each creatable class has a script of its own (102 and up).
#pragma once

#include <string>
#include <string_view>

#include "platform/base/Guid.h"

namespace ambivox {

class RegistrationScripts {
public:
    // AppID\{AppID} and AppID\AmbivoxSDK.DLL; `AppID` itself is never removed.
    static std::u16string application();
    // The class's two ProgIDs and its CLSID key; `CLSID` itself is never removed, the class's
    // own key and its Programmable subkey are removed whole before they are written.
    static std::u16string creatable_class(std::u16string_view coclass, CLSID const& clsid);
};

}  // namespace ambivox
