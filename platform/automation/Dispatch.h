// Late binding: IDispatch, its argument structures, and IEnumVARIANT.
#pragma once

#include "platform/automation/Variant.h"
#include "platform/com/Unknown.h"

struct ITypeInfo;

constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_PROPERTYPUT = -3;
constexpr DISPID DISPID_NEWENUM = -4;
constexpr DISPID DISPID_EVALUATE = -5;

constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

// Arguments arrive in reverse order: rgvarg[cArgs - 1] is the first parameter.
struct DISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;       // owned by the caller after Invoke returns
    BSTR bstrDescription;  // owned by the caller after Invoke returns
    BSTR bstrHelpFile;     // owned by the caller after Invoke returns
    DWORD dwHelpContext;
    void* pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

struct IDispatch : IUnknown {
    static constexpr IID iid = ambivox::make_guid("00020400-0000-0000-C000-000000000046");
    using base_interface = IUnknown;

    virtual HRESULT GetTypeInfoCount(UINT* pctinfo) noexcept = 0;
    // *ppTInfo receives a new reference owned by the caller.
    virtual HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) noexcept = 0;
    // On DISP_E_UNKNOWNNAME the ids of names not found are DISPID_UNKNOWN.
    virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT cNames, LCID lcid,
                                  DISPID* dispids) noexcept = 0;
    // pVarResult, pExcepInfo and puArgErr are optional. *pVarResult and the strings of
    // *pExcepInfo are owned by the caller; *puArgErr names a failing argument by its index in
    // rgvarg.
    virtual HRESULT Invoke(DISPID member, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                           VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) noexcept = 0;

protected:
    ~IDispatch() = default;
};

struct IEnumVARIANT : IUnknown {
    static constexpr IID iid = ambivox::make_guid("00020404-0000-0000-C000-000000000046");
    using base_interface = IUnknown;

    // rgVar receives celt variants owned by the caller (their previous content is overwritten,
    // not cleared). S_FALSE when fewer than celt remained.
    virtual HRESULT Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) noexcept = 0;
    virtual HRESULT Skip(ULONG celt) noexcept = 0;
    virtual HRESULT Reset() noexcept = 0;
    virtual HRESULT Clone(IEnumVARIANT** ppEnum) noexcept = 0;

protected:
    ~IEnumVARIANT() = default;
};

inline constexpr IID IID_IDispatch = IDispatch::iid;
inline constexpr IID IID_IEnumVARIANT = IEnumVARIANT::iid;
inline constexpr IID IID_NULL = GUID_NULL;
