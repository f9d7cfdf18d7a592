// TypeLibrary: ITypeLib over a library_description, with the type information of every
// interface and coclass it describes, and the platform functions that load and register it.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/LibraryDescription.h"
#include "platform/com/Implements.h"

namespace ambivox {

// The precomputed description of one type, as ITypeInfo hands it out.
struct type_entry {
    TYPEKIND kind = TKIND_DISPATCH;
    interface_description const* itf = nullptr;    // for interfaces
    coclass_description const* coclass = nullptr;  // for coclasses
    TYPEATTR attr{};
    std::vector<FUNCDESC> funcs;
    std::vector<std::u16string> folded_names;  // members' names, case-folded, by member index
    std::vector<HREFTYPE> impl_types;          // coclasses: default, then source interface
};

class TypeLibrary final : public implements<TypeLibrary, ITypeLib, free_threaded> {
public:
    // description must outlive the library. module, when given, is a dlopen handle that the
    // library closes when the last reference goes (the invokers live in that module's code).
    TypeLibrary(library_description const& description, void* module);
    ~TypeLibrary() override;

    UINT GetTypeInfoCount() noexcept override;
    HRESULT GetTypeInfo(UINT index, ITypeInfo** ppTInfo) noexcept override;
    HRESULT GetTypeInfoType(UINT index, TYPEKIND* pTKind) noexcept override;
    HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) noexcept override;
    HRESULT GetLibAttr(TLIBATTR** ppTLibAttr) noexcept override;
    HRESULT GetTypeComp(ITypeComp** ppTComp) noexcept override;
    HRESULT GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                             DWORD* pdwHelpContext, BSTR* pBstrHelpFile) noexcept override;
    HRESULT IsName(LPOLESTR szNameBuf, ULONG lHashVal, BOOL* pfName) noexcept override;
    HRESULT FindName(LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo** ppTInfo, MEMBERID* rgMemId,
                     USHORT* pcFound) noexcept override;
    void ReleaseTLibAttr(TLIBATTR* pTLibAttr) noexcept override;

    library_description const& description() const noexcept { return m_description; }
    type_entry const& entry(std::size_t index) const noexcept { return m_entries[index]; }
    std::size_t entry_count() const noexcept { return m_entries.size(); }
    // The entry of the interface iid, or null.
    type_entry const* find_interface(IID const& iid) const noexcept;
    // The type information of an interface of this library; raises hresult_error.
    com_ptr<ITypeInfo> type_info_of(IID const& iid);
    // This library, or one over the same description that keeps the module holding that
    // description loaded for as long as it is referenced; raises std::bad_alloc. A library that
    // a module keeps for itself must not hold the module, or the module could never unload; one
    // handed to a caller outside the module must, or it would read unmapped memory.
    com_ptr<TypeLibrary> holding_its_module();

    // hreftypes of the standard interfaces a dual interface inherits from.
    static constexpr HREFTYPE href_idispatch = 0xFFFF0001;
    static constexpr HREFTYPE href_iunknown = 0xFFFF0002;

private:
    void build_interface(type_entry& entry, interface_description const& itf);
    TYPEDESC make_typedesc(type_ref const& type);

    library_description const& m_description;
    void* m_module;
    std::vector<type_entry> m_entries;
    TLIBATTR m_libattr{};
    // Stable storage for the descriptions handed out by pointer.
    std::deque<TYPEDESC> m_typedescs;
    std::deque<std::vector<ELEMDESC>> m_params;
};

// Hands out the name and help text to whichever out-parameters are given (each a new string
// owned by the caller); nothing is handed out on failure.
HRESULT fill_documentation(std::u16string_view name, std::u16string_view help, BSTR* pBstrName,
                           BSTR* pBstrDocString, DWORD* pdwHelpContext,
                           BSTR* pBstrHelpFile) noexcept;

// The symbol under which a module carries its type library: a function with C linkage
// answering a pointer to its library_description.
inline constexpr char type_library_symbol[] = "AmbivoxTypeLibraryResource";
using type_library_resource = library_description const* (*)() noexcept;

// A type library over description, owned by the caller; raises std::bad_alloc.
com_ptr<ITypeLib> make_type_library(library_description const& description);

}  // namespace ambivox

// Loads the type library a module file carries. *pptlib receives a reference owned by the
// caller, or null on failure: TYPE_E_CANTLOADLIBRARY when the file cannot be loaded or carries
// no type library.
HRESULT LoadTypeLib(LPCOLESTR file, ITypeLib** pptlib) noexcept;

// Writes TypeLib\{LIBID}\major.minor (name, 0\win32 = fullPath, FLAGS, HELPDIR) and an
// Interface\{IID} key for each automation interface. What was written before a failure stays.
HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR fullPath, LPCOLESTR helpDir) noexcept;

// Removes what RegisterTypeLib wrote for that library version. TYPE_E_LIBNOTREGISTERED when it
// is not registered.
HRESULT UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid,
                          SYSKIND syskind) noexcept;
