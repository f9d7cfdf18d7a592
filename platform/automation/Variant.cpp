#include "platform/automation/Variant.h"

#include <cstring>

#include "platform/automation/Bstr.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/VariantInternals.h"
#include "platform/base/Errors.h"

namespace ambivox::variant_detail {

bool is_value_type(VARTYPE vt) noexcept {
    switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_R8:
        case VT_DATE:
        case VT_BSTR:
        case VT_BOOL:
        case VT_ERROR:
        case VT_DISPATCH:
        case VT_UNKNOWN:
            return true;
        default:
            return false;
    }
}

bool is_valid(VARTYPE vt) noexcept {
    if ((vt & VT_BYREF) == 0) return is_value_type(vt);
    auto const base = static_cast<VARTYPE>(vt & ~VT_BYREF);
    if (base == VT_VARIANT) return true;
    return base != VT_EMPTY && base != VT_NULL && is_value_type(base);
}

VARIANT empty_variant() noexcept {
    VARIANT v;
    std::memset(&v, 0, sizeof v);
    return v;
}

IUnknown* interface_of(VARIANT const& v) noexcept {
    if (v.vt == VT_UNKNOWN) return v.punkVal;
    if (v.vt == VT_DISPATCH) return v.pdispVal;
    return nullptr;
}

HRESULT copy_value(VARIANT& out, VARIANT const& in) noexcept {
    out = in;
    if (in.vt == VT_BSTR && in.bstrVal != nullptr) {
        out.bstrVal = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(in.bstrVal),
                                            SysStringByteLen(in.bstrVal));
        if (out.bstrVal == nullptr) {
            out = empty_variant();
            return E_OUTOFMEMORY;
        }
    } else if (IUnknown* unk = interface_of(in)) {
        unk->AddRef();
    }
    return S_OK;
}

HRESULT view_of(VARIANT const& in, VARIANT& view) noexcept {
    if ((in.vt & VT_BYREF) == 0) {
        view = in;
        return S_OK;
    }
    if (in.byref == nullptr) return E_INVALIDARG;
    auto const base = static_cast<VARTYPE>(in.vt & ~VT_BYREF);
    if (base == VT_VARIANT) {
        VARIANT const& inner = *in.pvarVal;
        // Only one level of variant reference is allowed.
        if (inner.vt == (VT_BYREF | VT_VARIANT)) return E_INVALIDARG;
        if (!is_valid(inner.vt)) return DISP_E_BADVARTYPE;
        return view_of(inner, view);
    }
    view = empty_variant();
    view.vt = base;
    switch (base) {
        case VT_I1:
            view.cVal = *in.pcVal;
            break;
        case VT_UI1:
            view.bVal = *in.pbVal;
            break;
        case VT_I2:
            view.iVal = *in.piVal;
            break;
        case VT_UI2:
            view.uiVal = *in.puiVal;
            break;
        case VT_I4:
            view.lVal = *in.plVal;
            break;
        case VT_UI4:
            view.ulVal = *in.pulVal;
            break;
        case VT_INT:
            view.intVal = *in.pintVal;
            break;
        case VT_UINT:
            view.uintVal = *in.puintVal;
            break;
        case VT_I8:
            view.llVal = *in.pllVal;
            break;
        case VT_UI8:
            view.ullVal = *in.pullVal;
            break;
        case VT_R4:
            view.fltVal = *in.pfltVal;
            break;
        case VT_R8:
            view.dblVal = *in.pdblVal;
            break;
        case VT_DATE:
            view.date = *in.pdate;
            break;
        case VT_BSTR:
            view.bstrVal = *in.pbstrVal;
            break;
        case VT_BOOL:
            view.boolVal = *in.pboolVal;
            break;
        case VT_ERROR:
            view.scode = *in.pscode;
            break;
        case VT_DISPATCH:
            view.pdispVal = *in.ppdispVal;
            break;
        case VT_UNKNOWN:
            view.punkVal = *in.ppunkVal;
            break;
        default:
            return DISP_E_BADVARTYPE;
    }
    return S_OK;
}

HRESULT assign(VARIANT* dest, VARIANT& value) noexcept {
    HRESULT const hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&value);
        return hr;
    }
    *dest = value;
    return S_OK;
}

}  // namespace ambivox::variant_detail

using ambivox::variant_detail::assign;
using ambivox::variant_detail::copy_value;
using ambivox::variant_detail::empty_variant;
using ambivox::variant_detail::interface_of;
using ambivox::variant_detail::is_valid;
using ambivox::variant_detail::view_of;

void VariantInit(VARIANT* v) noexcept {
    if (v != nullptr) *v = empty_variant();
}

HRESULT VariantClear(VARIANT* v) noexcept {
    if (v == nullptr) return E_INVALIDARG;
    if (!is_valid(v->vt)) return DISP_E_BADVARTYPE;
    BSTR const text = v->vt == VT_BSTR ? v->bstrVal : nullptr;
    IUnknown* const unk = interface_of(*v);
    // Empty first: a Release that reaches back into this variant must find nothing to free.
    v->vt = VT_EMPTY;
    v->llVal = 0;
    SysFreeString(text);
    if (unk != nullptr) unk->Release();
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, VARIANT const* source) noexcept {
    if (dest == nullptr || source == nullptr) return E_INVALIDARG;
    if (dest == source) return is_valid(source->vt) ? S_OK : DISP_E_BADVARTYPE;
    // Copy before clearing: the source may be something dest keeps alive.
    VARIANT copy = empty_variant();
    HRESULT const hr = is_valid(source->vt) ? copy_value(copy, *source) : DISP_E_BADVARTYPE;
    HRESULT const cleared = assign(dest, copy);
    return FAILED(hr) ? hr : cleared;
}

HRESULT VariantCopyInd(VARIANT* dest, VARIANT const* source) noexcept {
    if (dest == nullptr || source == nullptr) return E_INVALIDARG;
    if ((source->vt & VT_BYREF) == 0) return VariantCopy(dest, source);
    VARIANT copy = empty_variant();
    VARIANT view;
    HRESULT hr = is_valid(source->vt) ? view_of(*source, view) : DISP_E_BADVARTYPE;
    if (SUCCEEDED(hr)) hr = copy_value(copy, view);
    HRESULT const cleared = assign(dest, copy);
    return FAILED(hr) ? hr : cleared;
}
