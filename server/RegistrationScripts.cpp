#include "server/RegistrationScripts.h"

#include "ambivox/AmbivoxIds.h"

namespace ambivox {

std::u16string RegistrationScripts::application() {
    return u"HKCR\n"
           u"{\n"
           u"    NoRemove AppID\n"
           u"    {\n"
           u"        '%APPID%' = s 'AmbivoxSDK'\n"
           u"        'AmbivoxSDK.DLL'\n"
           u"        {\n"
           u"            val AppID = s '%APPID%'\n"
           u"        }\n"
           u"    }\n"
           u"}\n";
}

std::u16string RegistrationScripts::creatable_class(std::u16string_view coclass,
                                                    CLSID const& clsid) {
    std::u16string const name(coclass);
    std::u16string const description = name + u" Class";
    std::u16string const progId = u"AmbivoxSDK." + name;
    std::u16string const versioned = progId + u".1";
    std::u16string const id = to_u16string(clsid);
    std::u16string const library = to_u16string(LIBID_AmbivoxSDKLib);
    return u"HKCR\n"
           u"{\n"
           u"    '" +
           versioned + u"' = s '" + description +
           u"'\n"
           u"    {\n"
           u"        CLSID = s '" +
           id +
           u"'\n"
           u"    }\n"
           u"    '" +
           progId + u"' = s '" + description +
           u"'\n"
           u"    {\n"
           u"        CLSID = s '" +
           id +
           u"'\n"
           u"        CurVer = s '" +
           versioned +
           u"'\n"
           u"    }\n"
           u"    NoRemove CLSID\n"
           u"    {\n"
           u"        ForceRemove '" +
           id + u"' = s '" + description +
           u"'\n"
           u"        {\n"
           u"            val AppID = s '%APPID%'\n"
           u"            ProgID = s '" +
           versioned +
           u"'\n"
           u"            VersionIndependentProgID = s '" +
           progId +
           u"'\n"
           u"            ForceRemove Programmable\n"
           u"            InprocServer32 = s '%MODULE%'\n"
           u"            {\n"
           u"                val ThreadingModel = s 'Apartment'\n"
           u"            }\n"
           u"            TypeLib = s '" +
           library +
           u"'\n"
           u"        }\n"
           u"    }\n"
           u"}\n";
}

}  // namespace ambivox
