#include "platform/automation/TypeInformation.h"

#include <algorithm>
#include <array>

#include "platform/automation/ErrorInfo.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/base/CaseFolding.h"
#include "platform/base/HResultMessage.h"
#include "platform/com/ComRuntime.h"

namespace ambivox {

namespace {

// Late-bound members here take only a handful of parameters; more than this is refused rather
// than allocated for.
constexpr std::size_t max_params = 16;

// How well a member answers the caller's flags: 2 exactly, 1 as a stand-in (a property get
// called as a method, a method reached as a property get, as scripts do for default members),
// 0 not at all.
int fitness(member_description const& m, WORD flags) noexcept {
    bool const put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    switch (m.kind) {
        case INVOKE_PROPERTYPUT:
            return (flags & DISPATCH_PROPERTYPUT) != 0 ? 2 : 0;
        case INVOKE_PROPERTYPUTREF:
            return (flags & DISPATCH_PROPERTYPUTREF) != 0 ? 2 : 0;
        case INVOKE_FUNC:
            if (put) return 0;
            return (flags & DISPATCH_METHOD) != 0 ? 2 : (flags & DISPATCH_PROPERTYGET) != 0;
        case INVOKE_PROPERTYGET:
            if (put) return 0;
            return (flags & DISPATCH_PROPERTYGET) != 0 ? 2 : (flags & DISPATCH_METHOD) != 0;
    }
    return 0;
}

// A parameter the description declares DATE over a C++ double (at the given pointer level).
void fill_exception(EXCEPINFO* info, HRESULT hr, std::u16string_view source) noexcept {
    *info = EXCEPINFO{};
    info->scode = hr;
    // Taken even when unused, so that the failure's cause does not linger on the thread.
    com_ptr<IErrorInfo> error;
    GetErrorInfo(0, error.put());
    try {
        unique_bstr error_source;
        unique_bstr description;
        unique_bstr help_file;
        if (error) {
            error->GetSource(error_source.put());
            error->GetDescription(description.put());
            error->GetHelpFile(help_file.put());
            error->GetHelpContext(&info->dwHelpContext);
        }
        info->bstrSource = error_source.empty() ? make_bstr(source) : error_source.release();
        info->bstrDescription =
            description.empty() ? make_bstr(hresult_message(hr)) : description.release();
        info->bstrHelpFile = help_file.release();
    } catch (...) {
        // The code alone still tells the caller what happened.
    }
}

}  // namespace

member_description const* TypeInformation::find_member(MEMBERID memid, WORD flags) const noexcept {
    interface_description const* itf = entry().itf;
    if (itf == nullptr) return nullptr;
    member_description const* best = nullptr;
    int best_fitness = 0;
    for (auto const& m : itf->members) {
        if (m.dispid != memid) continue;
        int const f = fitness(m, flags);
        if (f > best_fitness) {
            best = &m;
            best_fitness = f;
        }
    }
    return best;
}

HRESULT TypeInformation::GetTypeAttr(TYPEATTR** ppTypeAttr) noexcept {
    if (ppTypeAttr == nullptr) return E_INVALIDARG;
    *ppTypeAttr = const_cast<TYPEATTR*>(&entry().attr);
    return S_OK;
}

HRESULT TypeInformation::GetTypeComp(ITypeComp** ppTComp) noexcept {
    if (ppTComp != nullptr) *ppTComp = nullptr;
    return E_NOTIMPL;
}

HRESULT TypeInformation::GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) noexcept {
    if (ppFuncDesc == nullptr) return E_INVALIDARG;
    *ppFuncDesc = nullptr;
    if (index >= entry().funcs.size()) return TYPE_E_ELEMENTNOTFOUND;
    *ppFuncDesc = const_cast<FUNCDESC*>(&entry().funcs[index]);
    return S_OK;
}

HRESULT TypeInformation::GetVarDesc(UINT, VARDESC** ppVarDesc) noexcept {
    if (ppVarDesc != nullptr) *ppVarDesc = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeInformation::GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames,
                                  UINT* pcNames) noexcept {
    if (rgBstrNames == nullptr || pcNames == nullptr) return E_INVALIDARG;
    *pcNames = 0;
    interface_description const* itf = entry().itf;
    if (itf == nullptr) return TYPE_E_ELEMENTNOTFOUND;
    for (auto const& m : itf->members) {
        if (m.dispid != memid) continue;
        return hresult_boundary([&] {
            std::vector<unique_bstr> names;
            if (cMaxNames > 0) names.emplace_back(m.name);
            for (auto const& p : m.params)
                if (!p.name.empty() && names.size() < cMaxNames) names.emplace_back(p.name);
            for (std::size_t i = 0; i < names.size(); ++i)
                rgBstrNames[i] = names[i].release();
            *pcNames = static_cast<UINT>(names.size());
        });
    }
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeInformation::GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) noexcept {
    if (pRefType == nullptr) return E_INVALIDARG;
    type_entry const& e = entry();
    if (e.kind == TKIND_COCLASS) {
        if (index >= e.impl_types.size()) return TYPE_E_ELEMENTNOTFOUND;
        *pRefType = e.impl_types[index];
        return S_OK;
    }
    if (index != 0) return TYPE_E_ELEMENTNOTFOUND;
    *pRefType = e.itf->kind == interface_kind::custom ? TypeLibrary::href_iunknown
                                                      : TypeLibrary::href_idispatch;
    return S_OK;
}

HRESULT TypeInformation::GetImplTypeFlags(UINT index, INT* pImplTypeFlags) noexcept {
    if (pImplTypeFlags == nullptr) return E_INVALIDARG;
    type_entry const& e = entry();
    if (e.kind != TKIND_COCLASS) {
        if (index != 0) return TYPE_E_ELEMENTNOTFOUND;
        *pImplTypeFlags = 0;
        return S_OK;
    }
    if (index >= e.impl_types.size()) return TYPE_E_ELEMENTNOTFOUND;
    *pImplTypeFlags =
        index == 0 ? IMPLTYPEFLAG_FDEFAULT : IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
    return S_OK;
}

HRESULT TypeInformation::GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames,
                                       MEMBERID* pMemId) noexcept {
    if (rgszNames == nullptr || pMemId == nullptr || cNames == 0) return E_INVALIDARG;
    for (UINT i = 0; i < cNames; ++i)
        pMemId[i] = MEMBERID_NIL;
    type_entry const& e = entry();
    if (e.itf == nullptr || rgszNames[0] == nullptr) return DISP_E_UNKNOWNNAME;

    member_description const* found = nullptr;
    for (std::size_t m = 0; m < e.folded_names.size(); ++m) {
        if (equals_folded_name(e.folded_names[m], rgszNames[0])) {
            found = &e.itf->members[m];
            break;
        }
    }
    if (found == nullptr) return DISP_E_UNKNOWNNAME;
    pMemId[0] = found->dispid;

    // Further names are parameter names of that member, answered by their position. A property
    // getter and setter share a DISPID; look through all members of that DISPID.
    HRESULT hr = S_OK;
    for (UINT n = 1; n < cNames; ++n) {
        for (auto const& m : e.itf->members) {
            if (m.dispid != found->dispid) continue;
            for (std::size_t p = 0; p < m.params.size(); ++p) {
                if (rgszNames[n] != nullptr && !m.params[p].name.empty() &&
                    equals_folded_name(fold_name(m.params[p].name), rgszNames[n])) {
                    pMemId[n] = static_cast<MEMBERID>(p);
                    break;
                }
            }
            if (pMemId[n] != MEMBERID_NIL) break;
        }
        if (pMemId[n] == MEMBERID_NIL) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT TypeInformation::Invoke(void* pvInstance, MEMBERID memid, WORD wFlags,
                                DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                UINT* puArgErr) noexcept {
    if (pvInstance == nullptr || pDispParams == nullptr) return E_INVALIDARG;
    if (pDispParams->cArgs > 0 && pDispParams->rgvarg == nullptr) return E_INVALIDARG;
    if (pDispParams->cNamedArgs > pDispParams->cArgs ||
        (pDispParams->cNamedArgs > 0 && pDispParams->rgdispidNamedArgs == nullptr))
        return E_INVALIDARG;

    member_description const* member = find_member(memid, wFlags);
    if (member == nullptr) return DISP_E_MEMBERNOTFOUND;

    auto const& params = member->params;
    if (params.size() > max_params) return DISP_E_BADPARAMCOUNT;
    bool const has_result = !params.empty() && (params.back().flags & PARAMFLAG_FRETVAL);
    std::size_t const expected = params.size() - (has_result ? 1 : 0);
    if (pDispParams->cArgs != expected) return DISP_E_BADPARAMCOUNT;

    // Match the caller's arguments to parameters: named ones first in rgvarg, then the
    // positional ones in reverse order.
    std::array<VARIANT*, max_params> args;
    std::array<UINT, max_params> arg_index;
    std::fill_n(args.begin(), params.size(), nullptr);
    UINT const named = pDispParams->cNamedArgs;
    UINT const positional = pDispParams->cArgs - named;
    for (UINT i = 0; i < positional; ++i) {
        UINT const index = pDispParams->cArgs - 1 - i;
        args[i] = &pDispParams->rgvarg[index];
        arg_index[i] = index;
    }
    for (UINT j = 0; j < named; ++j) {
        DISPID id = pDispParams->rgdispidNamedArgs[j];
        if (id == DISPID_PROPERTYPUT && member->kind >= INVOKE_PROPERTYPUT)
            id = static_cast<DISPID>(expected - 1);
        if (id < 0 || static_cast<std::size_t>(id) >= expected || args[id] != nullptr) {
            if (puArgErr != nullptr) *puArgErr = j;
            return DISP_E_PARAMNOTFOUND;
        }
        args[id] = &pDispParams->rgvarg[j];
        arg_index[id] = j;
    }

    if (pVarResult != nullptr) VariantInit(pVarResult);
    invoke_call call;
    call.args = args.data();
    call.result = pVarResult;
    call.declared = member->declared.data();
    // Whatever error object is found after a failure must be this member's.
    clear_error();
    HRESULT const hr = hresult_boundary([&] { return member->invoke(pvInstance, call); });
    if (SUCCEEDED(hr)) return hr;
    if (call.member_failed) {
        if (pExcepInfo == nullptr) return hr;
        fill_exception(pExcepInfo, hr, entry().itf->name);
        return DISP_E_EXCEPTION;
    }
    if (puArgErr != nullptr && call.failed_argument < expected)
        *puArgErr = arg_index[call.failed_argument];
    return hr;
}

com_ptr<ITypeInfo> TypeInformation::holding_its_module() {
    com_ptr<TypeLibrary> library = m_library->holding_its_module();
    if (library == m_library) return com_copy(static_cast<ITypeInfo*>(this));
    return make<TypeInformation>(std::move(library), m_index);
}

HRESULT hand_out_type_info(ITypeInfo* info, ITypeInfo** out) noexcept {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (info == nullptr) return E_INVALIDARG;
    return hresult_boundary([&] {
        if (auto* own = dynamic_cast<TypeInformation*>(info)) {
            *out = own->holding_its_module().detach();
        } else {
            info->AddRef();
            *out = info;
        }
    });
}

HRESULT TypeInformation::GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                          DWORD* pdwHelpContext, BSTR* pBstrHelpFile) noexcept {
    type_entry const& e = entry();
    std::u16string_view name;
    std::u16string_view help;
    if (memid == MEMBERID_NIL) {
        name = e.itf != nullptr ? e.itf->name : e.coclass->name;
        help = e.itf != nullptr ? e.itf->help : e.coclass->help;
    } else {
        member_description const* found = nullptr;
        if (e.itf != nullptr)
            for (auto const& m : e.itf->members)
                if (m.dispid == memid) {
                    found = &m;
                    break;
                }
        if (found == nullptr) return TYPE_E_ELEMENTNOTFOUND;
        name = found->name;
        help = found->help;
    }
    return fill_documentation(name, help, pBstrName, pBstrDocString, pdwHelpContext, pBstrHelpFile);
}

HRESULT TypeInformation::GetDllEntry(MEMBERID, INVOKEKIND, BSTR* pBstrDllName, BSTR* pBstrName,
                                     WORD* pwOrdinal) noexcept {
    if (pBstrDllName != nullptr) *pBstrDllName = nullptr;
    if (pBstrName != nullptr) *pBstrName = nullptr;
    if (pwOrdinal != nullptr) *pwOrdinal = 0;
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeInformation::GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) noexcept {
    if (ppTInfo == nullptr) return E_INVALIDARG;
    *ppTInfo = nullptr;
    if (hRefType == TypeLibrary::href_idispatch || hRefType == TypeLibrary::href_iunknown) {
        static library_description const standard{
            GUID_NULL,
            u"stdole",
            u"OLE Automation",
            2,
            0,
            0,
            SYS_WIN32,
            {interface_description{IUnknown::iid, u"IUnknown", {}, interface_kind::custom, {}},
             interface_description{IDispatch::iid, u"IDispatch", {}, interface_kind::custom, {}}},
            {}};
        return hresult_boundary([&] {
            auto library = make<TypeLibrary>(standard, nullptr);
            *ppTInfo =
                make<TypeInformation>(library, hRefType == TypeLibrary::href_iunknown ? 0 : 1)
                    .detach();
        });
    }
    return m_library->GetTypeInfo(hRefType, ppTInfo);
}

HRESULT TypeInformation::AddressOfMember(MEMBERID, INVOKEKIND, void** ppv) noexcept {
    if (ppv != nullptr) *ppv = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TypeInformation::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObj) noexcept {
    if (ppvObj == nullptr) return E_INVALIDARG;
    *ppvObj = nullptr;
    if (entry().kind != TKIND_COCLASS) return TYPE_E_INVALIDSTATE;
    return CoCreateInstance(entry().attr.guid, pUnkOuter, CLSCTX_ALL, riid, ppvObj);
}

HRESULT TypeInformation::GetMops(MEMBERID, BSTR* pBstrMops) noexcept {
    if (pBstrMops != nullptr) *pBstrMops = nullptr;
    return S_OK;
}

HRESULT TypeInformation::GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) noexcept {
    if (ppTLib == nullptr) return E_INVALIDARG;
    ITypeLib* library = m_library.get();
    library->AddRef();
    *ppTLib = library;
    if (pIndex != nullptr) *pIndex = static_cast<UINT>(m_index);
    return S_OK;
}

void TypeInformation::ReleaseTypeAttr(TYPEATTR*) noexcept {}
void TypeInformation::ReleaseFuncDesc(FUNCDESC*) noexcept {}
void TypeInformation::ReleaseVarDesc(VARDESC*) noexcept {}

}  // namespace ambivox
