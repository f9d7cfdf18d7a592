// RegisterTypeLib and UnRegisterTypeLib: the registry entries that let clients find a type
// library and its automation interfaces.
#include <string>

#include "platform/automation/TypeLibrary.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/registry/Registry.h"

namespace {

using ambivox::to_u16string;

// The standard marshalers of automation interfaces: dual ones, and dispatch-only ones.
constexpr GUID ps_oa_interface = ambivox::make_guid("00020424-0000-0000-C000-000000000046");
constexpr GUID ps_dispatch = ambivox::make_guid("00020420-0000-0000-C000-000000000046");

std::u16string version_text(WORD major, WORD minor) {
    auto number = [](unsigned v) {
        std::string const s = std::to_string(v);
        return std::u16string(s.begin(), s.end());
    };
    return number(major) + u"." + number(minor);
}

std::u16string library_key(GUID const& libid, WORD major, WORD minor) {
    return u"TypeLib\\" + to_u16string(libid) + u"\\" + version_text(major, minor);
}

HRESULT registry_result(LSTATUS status) noexcept {
    return status == ERROR_SUCCESS ? S_OK : TYPE_E_REGISTRYACCESS;
}

HRESULT register_interface(ITypeInfo* info, TYPEATTR const& attr, GUID const& libid,
                           std::u16string const& version) {
    ambivox::unique_bstr name;
    HRESULT hr = info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr);
    if (FAILED(hr)) return hr;
    std::u16string const key = u"Interface\\" + to_u16string(attr.guid);
    std::u16string const marshaler =
        to_u16string((attr.wTypeFlags & TYPEFLAG_FDUAL) != 0 ? ps_oa_interface : ps_dispatch);
    for (auto status : {
             ambivox::reg_set_string(HKEY_CLASSES_ROOT, key, {}, name.view()),
             ambivox::reg_set_string(HKEY_CLASSES_ROOT, key + u"\\ProxyStubClsid", {}, marshaler),
             ambivox::reg_set_string(HKEY_CLASSES_ROOT, key + u"\\ProxyStubClsid32", {}, marshaler),
             ambivox::reg_set_string(HKEY_CLASSES_ROOT, key + u"\\TypeLib", {},
                                     to_u16string(libid)),
             ambivox::reg_set_string(HKEY_CLASSES_ROOT, key + u"\\TypeLib", u"Version", version),
         })
        if (status != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
    return S_OK;
}

// Walks the automation interfaces of a library.
template <class F>
HRESULT for_each_automation_interface(ITypeLib* library, F&& f) {
    UINT const count = library->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
        TYPEKIND kind;
        if (FAILED(library->GetTypeInfoType(i, &kind)) || kind != TKIND_DISPATCH) continue;
        ambivox::com_ptr<ITypeInfo> info;
        HRESULT hr = library->GetTypeInfo(i, info.put());
        if (FAILED(hr)) return hr;
        TYPEATTR* attr = nullptr;
        hr = info->GetTypeAttr(&attr);
        if (FAILED(hr)) return hr;
        TYPEATTR const copy = *attr;
        info->ReleaseTypeAttr(attr);
        hr = f(info.get(), copy);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

// The interface keys registration wrote for a library version are those whose TypeLib key names
// it. They are found in the registry, not in the library, whose file may be gone by now.
HRESULT remove_interfaces(GUID const& libid, std::u16string const& version) {
    std::vector<std::u16string> names;
    LSTATUS const listed = ambivox::reg_subkey_names(HKEY_CLASSES_ROOT, u"Interface", names);
    if (listed == ERROR_FILE_NOT_FOUND) return S_OK;
    if (listed != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
    for (std::u16string const& name : names) {
        std::u16string const itf = u"Interface\\" + name;
        std::u16string owner, owner_version;
        if (ambivox::reg_get_string(HKEY_CLASSES_ROOT, itf + u"\\TypeLib", {}, owner) !=
                ERROR_SUCCESS ||
            ambivox::parse_guid(owner) != libid ||
            ambivox::reg_get_string(HKEY_CLASSES_ROOT, itf + u"\\TypeLib", u"Version",
                                    owner_version) != ERROR_SUCCESS ||
            owner_version != version)
            continue;
        LSTATUS const status = RegDeleteTreeW(HKEY_CLASSES_ROOT, itf.c_str());
        // Another process removing it too is as good.
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return TYPE_E_REGISTRYACCESS;
    }
    return S_OK;
}

}  // namespace

HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR fullPath, LPCOLESTR helpDir) noexcept {
    if (ptlib == nullptr || fullPath == nullptr) return E_INVALIDARG;
    return ambivox::hresult_boundary([&]() -> HRESULT {
        TLIBATTR* attr = nullptr;
        HRESULT hr = ptlib->GetLibAttr(&attr);
        if (FAILED(hr)) return hr;
        TLIBATTR const lib = *attr;
        ptlib->ReleaseTLibAttr(attr);

        ambivox::unique_bstr name, help;
        hr = ptlib->GetDocumentation(-1, name.put(), help.put(), nullptr, nullptr);
        if (FAILED(hr)) return hr;

        std::u16string const key = library_key(lib.guid, lib.wMajorVerNum, lib.wMinorVerNum);
        std::u16string const flags = u"0";
        for (auto status : {
                 ambivox::reg_set_string(HKEY_CLASSES_ROOT, key, {},
                                         help.empty() ? name.view() : help.view()),
                 ambivox::reg_set_string(HKEY_CLASSES_ROOT, key + u"\\0\\win32", {}, fullPath),
                 ambivox::reg_set_string(HKEY_CLASSES_ROOT, key + u"\\FLAGS", {}, flags),
                 ambivox::reg_set_string(HKEY_CLASSES_ROOT, key + u"\\HELPDIR", {},
                                         helpDir != nullptr ? helpDir : u""),
             }) {
            hr = registry_result(status);
            if (FAILED(hr)) return hr;
        }

        std::u16string const version = version_text(lib.wMajorVerNum, lib.wMinorVerNum);
        return for_each_automation_interface(ptlib, [&](ITypeInfo* info, TYPEATTR const& type) {
            return register_interface(info, type, lib.guid, version);
        });
    });
}

HRESULT UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID, SYSKIND) noexcept {
    return ambivox::hresult_boundary([&]() -> HRESULT {
        std::u16string const key = library_key(libid, major, minor);
        std::u16string path;
        LSTATUS const status = ambivox::reg_get_string(HKEY_CLASSES_ROOT, key, {}, path);
        if (status == ERROR_FILE_NOT_FOUND) {
            // The key may exist without a default value; only a missing key means unregistered.
            std::vector<std::u16string> names;
            if (ambivox::reg_subkey_names(HKEY_CLASSES_ROOT, key, names) != ERROR_SUCCESS)
                return TYPE_E_LIBNOTREGISTERED;
        }

        HRESULT hr = remove_interfaces(libid, version_text(major, minor));
        if (FAILED(hr)) return hr;

        hr = registry_result(RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str()));
        if (FAILED(hr)) return hr;
        // The LIBID key goes with its last version.
        std::u16string const lib_key = u"TypeLib\\" + to_u16string(libid);
        std::vector<std::u16string> versions;
        if (ambivox::reg_subkey_names(HKEY_CLASSES_ROOT, lib_key, versions) == ERROR_SUCCESS &&
            versions.empty())
            RegDeleteTreeW(HKEY_CLASSES_ROOT, lib_key.c_str());
        return S_OK;
    });
}
