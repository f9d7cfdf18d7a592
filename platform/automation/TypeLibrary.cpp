#include "platform/automation/TypeLibrary.h"

#include <dlfcn.h>

#include "platform/automation/TypeInformation.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/base/CaseFolding.h"
#include "platform/base/CodePage.h"

namespace ambivox {

namespace {

constexpr WORD automation_flags =
    TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
constexpr WORD standard_slots = 7;  // IUnknown's three and IDispatch's four

}  // namespace

HRESULT fill_documentation(std::u16string_view name, std::u16string_view help, BSTR* pBstrName,
                           BSTR* pBstrDocString, DWORD* pdwHelpContext,
                           BSTR* pBstrHelpFile) noexcept {
    unique_bstr name_text, help_text;
    HRESULT const hr = hresult_boundary([&] {
        if (pBstrName != nullptr) *name_text.put() = make_bstr(name);
        if (pBstrDocString != nullptr) *help_text.put() = make_bstr(help);
    });
    if (FAILED(hr)) return hr;
    if (pBstrName != nullptr) *pBstrName = name_text.release();
    if (pBstrDocString != nullptr) *pBstrDocString = help_text.release();
    if (pdwHelpContext != nullptr) *pdwHelpContext = 0;
    if (pBstrHelpFile != nullptr) *pBstrHelpFile = nullptr;
    return S_OK;
}

TypeLibrary::TypeLibrary(library_description const& description, void* module)
    : m_description(description), m_module(module) {
    m_libattr.guid = description.libid;
    m_libattr.lcid = description.lcid;
    m_libattr.syskind = description.syskind;
    m_libattr.wMajorVerNum = description.major;
    m_libattr.wMinorVerNum = description.minor;
    m_libattr.wLibFlags = LIBFLAG_FHASDISKIMAGE;

    m_entries.reserve(description.interfaces.size() + description.coclasses.size());
    for (auto const& itf : description.interfaces) {
        m_entries.emplace_back();
        build_interface(m_entries.back(), itf);
    }
    for (auto const& coclass : description.coclasses) {
        type_entry& entry = m_entries.emplace_back();
        entry.kind = TKIND_COCLASS;
        entry.coclass = &coclass;
        for (IID const* iid : {coclass.default_interface, coclass.source_interface}) {
            if (iid == nullptr) continue;
            for (std::size_t i = 0; i < description.interfaces.size(); ++i)
                if (description.interfaces[i].iid == *iid)
                    entry.impl_types.push_back(static_cast<HREFTYPE>(i));
        }
        TYPEATTR& attr = entry.attr;
        attr.guid = coclass.clsid;
        attr.lcid = description.lcid;
        attr.memidConstructor = MEMBERID_NIL;
        attr.memidDestructor = MEMBERID_NIL;
        attr.typekind = TKIND_COCLASS;
        attr.cImplTypes = static_cast<WORD>(entry.impl_types.size());
        attr.cbAlignment = sizeof(void*);
        attr.wTypeFlags = TYPEFLAG_FCANCREATE;
        attr.wMajorVerNum = description.major;
        attr.wMinorVerNum = description.minor;
    }
}

TypeLibrary::~TypeLibrary() {
    if (m_module != nullptr) dlclose(m_module);
}

TYPEDESC TypeLibrary::make_typedesc(type_ref const& type) {
    TYPEDESC inner{};
    inner.vt = type.vt;
    if (type.vt == VT_USERDEFINED) {
        inner.hreftype = href_iunknown;
        for (std::size_t i = 0; i < m_description.interfaces.size(); ++i)
            if (m_description.interfaces[i].iid == *type.userdefined)
                inner.hreftype = static_cast<HREFTYPE>(i);
    }
    // Every pointer level wraps the one below it.
    for (int level = 0; level < type.indirections; ++level) {
        TYPEDESC& pointee = m_typedescs.emplace_back(inner);
        inner = TYPEDESC{};
        inner.vt = VT_PTR;
        inner.lptdesc = &pointee;
    }
    return inner;
}

void TypeLibrary::build_interface(type_entry& entry, interface_description const& itf) {
    entry.kind = itf.kind == interface_kind::custom ? TKIND_INTERFACE : TKIND_DISPATCH;
    entry.itf = &itf;
    TYPEATTR& attr = entry.attr;
    attr.guid = itf.iid;
    attr.lcid = m_description.lcid;
    attr.memidConstructor = MEMBERID_NIL;
    attr.memidDestructor = MEMBERID_NIL;
    attr.typekind = entry.kind;
    attr.cFuncs = static_cast<WORD>(itf.members.size());
    attr.cImplTypes = 1;
    attr.cbSizeVft = static_cast<WORD>((standard_slots + itf.members.size()) * sizeof(void*));
    attr.cbAlignment = sizeof(void*);
    attr.wTypeFlags = itf.kind == interface_kind::dual            ? automation_flags
                      : itf.kind == interface_kind::dispatch_only ? TYPEFLAG_FDISPATCHABLE
                                                                  : 0;
    attr.wMajorVerNum = m_description.major;
    attr.wMinorVerNum = m_description.minor;

    for (auto const& member : itf.members) {
        entry.folded_names.push_back(fold_name(member.name));
        auto& elements = m_params.emplace_back();
        elements.reserve(member.params.size());
        for (auto const& param : member.params) {
            ELEMDESC element{};
            element.tdesc = make_typedesc(param.type);
            element.paramdesc.wParamFlags = param.flags;
            elements.push_back(element);
        }
        FUNCDESC func{};
        func.memid = member.dispid;
        func.lprgelemdescParam = elements.empty() ? nullptr : elements.data();
        func.funckind = FUNC_DISPATCH;
        func.invkind = member.kind;
        func.callconv = CC_STDCALL;
        func.cParams = static_cast<SHORT>(member.params.size());
        func.oVft = static_cast<SHORT>(member.vtable_offset);
        func.elemdescFunc.tdesc.vt = VT_HRESULT;
        entry.funcs.push_back(func);
    }
}

type_entry const* TypeLibrary::find_interface(IID const& iid) const noexcept {
    for (auto const& entry : m_entries)
        if (entry.itf != nullptr && entry.itf->iid == iid) return &entry;
    return nullptr;
}

com_ptr<ITypeInfo> TypeLibrary::type_info_of(IID const& iid) {
    com_ptr<ITypeInfo> result;
    check_hresult(GetTypeInfoOfGuid(iid, result.put()));
    return result;
}

com_ptr<TypeLibrary> TypeLibrary::holding_its_module() {
    if (m_module != nullptr) return com_copy(this);
    Dl_info where{};
    if (dladdr(&m_description, &where) == 0 || where.dli_fname == nullptr) return com_copy(this);
    // Only a module that is loaded already: the program itself, never unloaded, is not found
    // under its own name and needs no hold.
    void* module = dlopen(where.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    if (module == nullptr) return com_copy(this);
    try {
        return make<TypeLibrary>(m_description, module);
    } catch (...) {
        dlclose(module);
        throw;
    }
}

UINT TypeLibrary::GetTypeInfoCount() noexcept {
    return static_cast<UINT>(m_entries.size());
}

HRESULT TypeLibrary::GetTypeInfo(UINT index, ITypeInfo** ppTInfo) noexcept {
    if (ppTInfo == nullptr) return E_INVALIDARG;
    *ppTInfo = nullptr;
    if (index >= m_entries.size()) return TYPE_E_ELEMENTNOTFOUND;
    return hresult_boundary(
        [&] { *ppTInfo = make<TypeInformation>(com_copy(this), index).detach(); });
}

HRESULT TypeLibrary::GetTypeInfoType(UINT index, TYPEKIND* pTKind) noexcept {
    if (pTKind == nullptr) return E_INVALIDARG;
    if (index >= m_entries.size()) return TYPE_E_ELEMENTNOTFOUND;
    *pTKind = m_entries[index].kind;
    return S_OK;
}

HRESULT TypeLibrary::GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) noexcept {
    if (ppTinfo == nullptr) return E_INVALIDARG;
    *ppTinfo = nullptr;
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].attr.guid == guid) return GetTypeInfo(static_cast<UINT>(i), ppTinfo);
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeLibrary::GetLibAttr(TLIBATTR** ppTLibAttr) noexcept {
    if (ppTLibAttr == nullptr) return E_INVALIDARG;
    *ppTLibAttr = &m_libattr;
    return S_OK;
}

HRESULT TypeLibrary::GetTypeComp(ITypeComp** ppTComp) noexcept {
    if (ppTComp != nullptr) *ppTComp = nullptr;
    return E_NOTIMPL;
}

HRESULT TypeLibrary::GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                                      DWORD* pdwHelpContext, BSTR* pBstrHelpFile) noexcept {
    std::u16string_view name;
    std::u16string_view help;
    if (index == -1) {
        name = m_description.name;
        help = m_description.help;
    } else if (index >= 0 && static_cast<std::size_t>(index) < m_entries.size()) {
        type_entry const& entry = m_entries[static_cast<std::size_t>(index)];
        name = entry.itf != nullptr ? entry.itf->name : entry.coclass->name;
        help = entry.itf != nullptr ? entry.itf->help : entry.coclass->help;
    } else {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    return fill_documentation(name, help, pBstrName, pBstrDocString, pdwHelpContext, pBstrHelpFile);
}

HRESULT TypeLibrary::IsName(LPOLESTR szNameBuf, ULONG, BOOL* pfName) noexcept {
    if (szNameBuf == nullptr || pfName == nullptr) return E_INVALIDARG;
    return hresult_boundary([&] {
        std::u16string const wanted = fold_name(szNameBuf);
        *pfName = FALSE;
        for (auto const& entry : m_entries) {
            std::u16string_view const type_name =
                entry.itf != nullptr ? entry.itf->name : entry.coclass->name;
            bool match = fold_name(type_name) == wanted;
            for (auto const& member : entry.folded_names)
                match = match || member == wanted;
            if (match) {
                *pfName = TRUE;
                return;
            }
        }
    });
}

HRESULT TypeLibrary::FindName(LPOLESTR szNameBuf, ULONG, ITypeInfo** ppTInfo, MEMBERID* rgMemId,
                              USHORT* pcFound) noexcept {
    if (szNameBuf == nullptr || ppTInfo == nullptr || rgMemId == nullptr || pcFound == nullptr)
        return E_INVALIDARG;
    return hresult_boundary([&] {
        std::u16string const wanted = fold_name(szNameBuf);
        USHORT found = 0;
        for (std::size_t i = 0; i < m_entries.size() && found < *pcFound; ++i) {
            type_entry const& entry = m_entries[i];
            std::u16string_view const type_name =
                entry.itf != nullptr ? entry.itf->name : entry.coclass->name;
            MEMBERID memid = MEMBERID_NIL;
            bool match = fold_name(type_name) == wanted;
            for (std::size_t m = 0; !match && m < entry.folded_names.size(); ++m) {
                if (entry.folded_names[m] == wanted) {
                    match = true;
                    memid = entry.itf->members[m].dispid;
                }
            }
            if (!match) continue;
            ppTInfo[found] = make<TypeInformation>(com_copy(this), i).detach();
            rgMemId[found] = memid;
            ++found;
        }
        *pcFound = found;
    });
}

void TypeLibrary::ReleaseTLibAttr(TLIBATTR*) noexcept {}

com_ptr<ITypeLib> make_type_library(library_description const& description) {
    return make<TypeLibrary>(description, nullptr);
}

}  // namespace ambivox

HRESULT LoadTypeLib(LPCOLESTR file, ITypeLib** pptlib) noexcept {
    if (pptlib == nullptr) return E_INVALIDARG;
    *pptlib = nullptr;
    if (file == nullptr || *file == u'\0') return E_INVALIDARG;
    return ambivox::hresult_boundary([&]() -> HRESULT {
        std::string const path = ambivox::narrow(file, CP_UTF8);
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) return TYPE_E_CANTLOADLIBRARY;
        auto resource = reinterpret_cast<ambivox::type_library_resource>(
            dlsym(module, ambivox::type_library_symbol));
        ambivox::library_description const* description =
            resource != nullptr ? resource() : nullptr;
        if (description == nullptr) {
            dlclose(module);
            return TYPE_E_CANTLOADLIBRARY;
        }
        try {
            *pptlib = ambivox::make<ambivox::TypeLibrary>(*description, module).detach();
        } catch (...) {
            dlclose(module);
            throw;
        }
        return S_OK;
    });
}
