// TypeInformation: ITypeInfo for one interface or coclass of a TypeLibrary. Invoke calls the
// described C++ members, coercing the caller's arguments and returning results and
// out-parameters in the caller's variants.
#pragma once

#include "platform/automation/TypeLibrary.h"

namespace ambivox {

class TypeInformation final : public implements<TypeInformation, ITypeInfo, free_threaded> {
public:
    TypeInformation(com_ptr<TypeLibrary> library, std::size_t index) noexcept
        : m_library(std::move(library)), m_index(index) {}

    HRESULT GetTypeAttr(TYPEATTR** ppTypeAttr) noexcept override;
    HRESULT GetTypeComp(ITypeComp** ppTComp) noexcept override;
    HRESULT GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) noexcept override;
    HRESULT GetVarDesc(UINT index, VARDESC** ppVarDesc) noexcept override;
    HRESULT GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames,
                     UINT* pcNames) noexcept override;
    HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) noexcept override;
    HRESULT GetImplTypeFlags(UINT index, INT* pImplTypeFlags) noexcept override;
    HRESULT GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) noexcept override;
    // Failures: DISP_E_MEMBERNOTFOUND (no member of that DISPID and kind), DISP_E_BADPARAMCOUNT,
    // DISP_E_PARAMNOTFOUND (a named argument names no parameter), DISP_E_PARAMNOTOPTIONAL,
    // DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW (*puArgErr = the argument's index in rgvarg), and
    // for a member that fails, DISP_E_EXCEPTION with *pExcepInfo describing it (scode = the
    // member's HRESULT) or, without pExcepInfo, the member's HRESULT itself. An error object the
    // failing member left supplies the source, description and help of *pExcepInfo and is taken
    // from the thread; without pExcepInfo it stays there for the caller.
    HRESULT Invoke(void* pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) noexcept override;
    HRESULT GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                             DWORD* pdwHelpContext, BSTR* pBstrHelpFile) noexcept override;
    HRESULT GetDllEntry(MEMBERID memid, INVOKEKIND invKind, BSTR* pBstrDllName, BSTR* pBstrName,
                        WORD* pwOrdinal) noexcept override;
    HRESULT GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) noexcept override;
    HRESULT AddressOfMember(MEMBERID memid, INVOKEKIND invKind, void** ppv) noexcept override;
    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObj) noexcept override;
    HRESULT GetMops(MEMBERID memid, BSTR* pBstrMops) noexcept override;
    HRESULT GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) noexcept override;
    void ReleaseTypeAttr(TYPEATTR* pTypeAttr) noexcept override;
    void ReleaseFuncDesc(FUNCDESC* pFuncDesc) noexcept override;
    void ReleaseVarDesc(VARDESC* pVarDesc) noexcept override;

    // The same type information from a library that keeps its module loaded while referenced
    // (see TypeLibrary::holding_its_module); raises std::bad_alloc.
    com_ptr<ITypeInfo> holding_its_module();

private:
    type_entry const& entry() const noexcept { return m_library->entry(m_index); }
    member_description const* find_member(MEMBERID memid, WORD flags) const noexcept;

    com_ptr<TypeLibrary> m_library;
    std::size_t m_index;
};

}  // namespace ambivox
