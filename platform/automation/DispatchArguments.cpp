#include "platform/automation/DispatchArguments.h"

namespace ambivox::arguments_detail {

VARIANT const* dereference(VARIANT const* given) noexcept {
    // Bounded: a cycle of by-reference variants must not hang the call.
    for (int depth = 0;
         depth < 16 && given->vt == (VT_BYREF | VT_VARIANT) && given->pvarVal != nullptr; ++depth)
        given = given->pvarVal;
    return given;
}

HRESULT coerce(unique_variant& holder, VARIANT const* given, VARTYPE vt) noexcept {
    return VariantChangeType(holder.put(), dereference(given), 0, vt);
}

HRESULT query_argument(VARIANT const* given, IID const& iid, void** out) noexcept {
    *out = nullptr;
    VARIANT const* actual = dereference(given);
    IUnknown* unknown = nullptr;
    switch (actual->vt) {
        case VT_EMPTY:
        case VT_NULL:
            return S_OK;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            unknown = actual->punkVal;
            break;
        case VT_UNKNOWN | VT_BYREF:
        case VT_DISPATCH | VT_BYREF:
            unknown = actual->ppunkVal != nullptr ? *actual->ppunkVal : nullptr;
            break;
        default:
            return DISP_E_TYPEMISMATCH;
    }
    if (unknown == nullptr) return S_OK;
    return SUCCEEDED(unknown->QueryInterface(iid, out)) ? S_OK : DISP_E_TYPEMISMATCH;
}

HRESULT check_byref(VARIANT const* given, VARTYPE vt) noexcept {
    VARIANT const* actual = dereference(given);
    bool const ok = vt == VT_UNKNOWN ? (actual->vt == (VT_UNKNOWN | VT_BYREF) ||
                                        actual->vt == (VT_DISPATCH | VT_BYREF))
                                     : actual->vt == (vt | VT_BYREF);
    if (!ok || actual->byref == nullptr) return DISP_E_TYPEMISMATCH;
    return S_OK;
}

}  // namespace ambivox::arguments_detail
