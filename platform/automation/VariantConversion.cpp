#include "platform/automation/Variant.h"

#include <cfloat>
#include <cmath>
#include <new>
#include <optional>

#include "platform/automation/Dispatch.h"
#include "platform/automation/VariantInternals.h"
#include "platform/base/Errors.h"
#include "platform/base/ThreadState.h"

namespace ambivox::variant_detail {

// ---- Numbers ---------------------------------------------------------------------------------

namespace {

Number unsigned_number(std::uint64_t v) noexcept {
    Number n;
    n.kind = Number::Kind::unsigned_int;
    n.u = v;
    return n;
}

bool is_numeric_type(VARTYPE vt) noexcept {
    switch (vt) {
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_INT:
        case VT_I8:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UINT:
        case VT_UI8:
        case VT_R4:
        case VT_R8:
        case VT_DATE:
        case VT_BOOL:
            return true;
        default:
            return false;
    }
}

// Halves go to the even neighbour, as the automation platform rounds.
double round_half_even(double x) noexcept {
    double const low = std::floor(x);
    double const diff = x - low;
    if (diff < 0.5) return low;
    if (diff > 0.5) return low + 1.0;
    return std::fmod(low, 2.0) == 0.0 ? low : low + 1.0;
}

std::optional<Integral> integral_of(Number const& n) noexcept {
    switch (n.kind) {
        case Number::Kind::signed_int:
            if (n.s < 0) return Integral{true, 0 - static_cast<std::uint64_t>(n.s)};
            return Integral{false, static_cast<std::uint64_t>(n.s)};
        case Number::Kind::unsigned_int:
            return Integral{false, n.u};
        case Number::Kind::real: {
            if (!std::isfinite(n.r)) return std::nullopt;
            double const rounded = round_half_even(n.r);
            double const magnitude = std::fabs(rounded);
            if (magnitude >= 18446744073709551616.0) return std::nullopt;  // 2^64
            return Integral{rounded < 0, static_cast<std::uint64_t>(magnitude)};
        }
    }
    return std::nullopt;
}

double as_double(Number const& n) noexcept {
    switch (n.kind) {
        case Number::Kind::signed_int:
            return static_cast<double>(n.s);
        case Number::Kind::unsigned_int:
            return static_cast<double>(n.u);
        case Number::Kind::real:
            return n.r;
    }
    return 0.0;
}

bool is_nonzero(Number const& n) noexcept {
    switch (n.kind) {
        case Number::Kind::signed_int:
            return n.s != 0;
        case Number::Kind::unsigned_int:
            return n.u != 0;
        case Number::Kind::real:
            return n.r != 0.0;  // NaN too
    }
    return false;
}

}  // namespace

Number signed_number(std::int64_t v, bool boolean) noexcept {
    Number n;
    n.s = v;
    n.boolean = boolean;
    return n;
}

Number real_number(double v) noexcept {
    Number n;
    n.kind = Number::Kind::real;
    n.r = v;
    return n;
}

Number number_of(VARIANT const& v) noexcept {
    switch (v.vt) {
        case VT_I1:
            return signed_number(static_cast<signed char>(v.cVal));
        case VT_I2:
            return signed_number(v.iVal);
        case VT_I4:
            return signed_number(v.lVal);
        case VT_INT:
            return signed_number(v.intVal);
        case VT_I8:
            return signed_number(v.llVal);
        case VT_UI1:
            return unsigned_number(v.bVal);
        case VT_UI2:
            return unsigned_number(v.uiVal);
        case VT_UI4:
            return unsigned_number(v.ulVal);
        case VT_UINT:
            return unsigned_number(v.uintVal);
        case VT_UI8:
            return unsigned_number(v.ullVal);
        case VT_R4:
            return real_number(v.fltVal);
        case VT_R8:
            return real_number(v.dblVal);
        case VT_DATE:
            return real_number(v.date);
        case VT_BOOL:
            return signed_number(v.boolVal, true);
        default:
            return signed_number(0);
    }
}

bool is_integer_type(VARTYPE vt) noexcept {
    return is_numeric_type(vt) && vt != VT_R4 && vt != VT_R8 && vt != VT_DATE && vt != VT_BOOL;
}

HRESULT store_integer(Integral v, VARTYPE vt, bool boolean, VARIANT& out) noexcept {
    bool is_signed = true;
    std::uint64_t max = 0;  // largest magnitude of a positive value
    switch (vt) {
        case VT_I1:
            max = 0x7F;
            break;
        case VT_I2:
            max = 0x7FFF;
            break;
        case VT_I4:
        case VT_INT:
            max = 0x7FFFFFFF;
            break;
        case VT_I8:
            max = 0x7FFFFFFFFFFFFFFF;
            break;
        case VT_UI1:
            is_signed = false;
            max = 0xFF;
            break;
        case VT_UI2:
            is_signed = false;
            max = 0xFFFF;
            break;
        case VT_UI4:
        case VT_UINT:
            is_signed = false;
            max = 0xFFFFFFFF;
            break;
        case VT_UI8:
            is_signed = false;
            max = 0xFFFFFFFFFFFFFFFF;
            break;
        default:
            return DISP_E_TYPEMISMATCH;
    }
    std::uint64_t bits;
    if (is_signed) {
        if (v.negative) {
            if (v.magnitude > max + 1) return DISP_E_OVERFLOW;
            bits = 0 - v.magnitude;
        } else {
            if (v.magnitude > max) return DISP_E_OVERFLOW;
            bits = v.magnitude;
        }
    } else if (v.negative && v.magnitude != 0) {
        if (!boolean) return DISP_E_OVERFLOW;
        bits = max;
    } else {
        if (v.magnitude > max) return DISP_E_OVERFLOW;
        bits = v.magnitude;
    }
    out = empty_variant();
    out.vt = vt;
    switch (vt) {
        case VT_I1:
            out.cVal = static_cast<CHAR>(static_cast<signed char>(bits));
            break;
        case VT_I2:
            out.iVal = static_cast<SHORT>(bits);
            break;
        case VT_I4:
            out.lVal = static_cast<LONG>(bits);
            break;
        case VT_INT:
            out.intVal = static_cast<INT>(bits);
            break;
        case VT_I8:
            out.llVal = static_cast<LONGLONG>(bits);
            break;
        case VT_UI1:
            out.bVal = static_cast<BYTE>(bits);
            break;
        case VT_UI2:
            out.uiVal = static_cast<USHORT>(bits);
            break;
        case VT_UI4:
            out.ulVal = static_cast<ULONG>(bits);
            break;
        case VT_UINT:
            out.uintVal = static_cast<UINT>(bits);
            break;
        default:
            out.ullVal = bits;
            break;
    }
    return S_OK;
}

HRESULT number_to(Number const& n, VARTYPE vt, VARIANT& out) noexcept {
    if (is_integer_type(vt)) {
        auto const v = integral_of(n);
        if (!v) return DISP_E_OVERFLOW;
        return store_integer(*v, vt, n.boolean, out);
    }
    out = empty_variant();
    switch (vt) {
        case VT_BOOL:
            out.boolVal = is_nonzero(n) ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case VT_R4: {
            double const d = as_double(n);
            if (std::isinf(d) || std::fabs(d) > FLT_MAX) return DISP_E_OVERFLOW;
            out.fltVal = static_cast<float>(d);
            break;
        }
        case VT_R8:
            out.dblVal = as_double(n);
            break;
        case VT_DATE: {
            double const d = as_double(n);
            if (!(d > -657435.0 && d < 2958466.0)) return DISP_E_OVERFLOW;
            out.date = d;
            break;
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
    out.vt = vt;
    return S_OK;
}

// ---- Objects ---------------------------------------------------------------------------------

namespace {

HRESULT object_to_object(VARIANT const& src, VARTYPE vt, VARIANT& out) noexcept {
    out = empty_variant();
    if (src.vt == vt) return copy_value(out, src);
    IUnknown* const unk = interface_of(src);
    if (unk == nullptr) {
        // A null reference stays null whatever its kind.
        out.vt = vt;
        return S_OK;
    }
    void* converted = nullptr;
    HRESULT const hr =
        unk->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &converted);
    if (hr == E_NOINTERFACE) return DISP_E_TYPEMISMATCH;
    if (FAILED(hr)) return hr;
    out.vt = vt;
    if (vt == VT_DISPATCH)
        out.pdispVal = static_cast<IDispatch*>(converted);
    else
        out.punkVal = static_cast<IUnknown*>(converted);
    return S_OK;
}

HRESULT convert(VARIANT const& src, LCID lcid, USHORT flags, VARTYPE vt, VARIANT& out);

// Asks an object for its default (DISPID_VALUE) property and converts that.
HRESULT value_property_to(IDispatch* object, LCID lcid, USHORT flags, VARTYPE vt, VARIANT& out) {
    if (object == nullptr) return DISP_E_TYPEMISMATCH;
    DISPPARAMS no_arguments{nullptr, nullptr, 0, 0};
    VARIANT value = empty_variant();
    HRESULT hr = object->Invoke(DISPID_VALUE, IID_NULL, lcid, DISPATCH_PROPERTYGET, &no_arguments,
                                &value, nullptr, nullptr);
    if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
    VARIANT view;
    hr = is_valid(value.vt) ? view_of(value, view) : DISP_E_BADVARTYPE;
    // An object whose value is again an object is not asked a second time, so an object
    // answering itself cannot loop.
    if (SUCCEEDED(hr)) hr = convert(view, lcid, flags | VARIANT_NOVALUEPROP, vt, out);
    VariantClear(&value);
    return hr;
}

// Converts the by-value variant src to vt into out, which receives a value of its own.
HRESULT convert(VARIANT const& src, LCID lcid, USHORT flags, VARTYPE vt, VARIANT& out) {
    out = empty_variant();
    if (src.vt == VT_DISPATCH || src.vt == VT_UNKNOWN) {
        if (vt == VT_DISPATCH || vt == VT_UNKNOWN) return object_to_object(src, vt, out);
        if (vt == VT_EMPTY) return S_OK;
        if (src.vt == VT_DISPATCH && (flags & VARIANT_NOVALUEPROP) == 0)
            return value_property_to(src.pdispVal, lcid, flags, vt, out);
        return DISP_E_TYPEMISMATCH;
    }
    if (src.vt == VT_NULL) {
        if (vt != VT_NULL) return DISP_E_TYPEMISMATCH;
        out.vt = VT_NULL;
        return S_OK;
    }
    switch (vt) {
        case VT_EMPTY:
            return S_OK;
        case VT_NULL:
            if (src.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
            out.vt = VT_NULL;
            return S_OK;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            // Nothing converts to an object except nothing, which becomes a null reference.
            if (src.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
            out.vt = vt;
            return S_OK;
        case VT_ERROR:
            if (src.vt == VT_ERROR)
                out.scode = src.scode;
            else if (src.vt == VT_I4)
                out.scode = src.lVal;
            else
                return DISP_E_TYPEMISMATCH;
            out.vt = VT_ERROR;
            return S_OK;
        case VT_BSTR:
            return to_bstr(src, flags, out);
        default:
            break;
    }
    // vt is numeric from here on.
    switch (src.vt) {
        case VT_ERROR:
            if (vt != VT_I4) return DISP_E_TYPEMISMATCH;
            out.vt = VT_I4;
            out.lVal = src.scode;
            return S_OK;
        case VT_BSTR:
            return string_to(src.bstrVal, vt, out);
        default:
            return number_to(number_of(src), vt, out);
    }
}

}  // namespace

}  // namespace ambivox::variant_detail

using ambivox::variant_detail::assign;
using ambivox::variant_detail::convert;
using ambivox::variant_detail::is_valid;
using ambivox::variant_detail::is_value_type;
using ambivox::variant_detail::view_of;

HRESULT VariantChangeType(VARIANT* dest, VARIANT const* source, USHORT flags, VARTYPE vt) noexcept {
    return VariantChangeTypeEx(dest, source, LOCALE_USER_DEFAULT, flags, vt);
}

HRESULT VariantChangeTypeEx(VARIANT* dest, VARIANT const* source, LCID lcid, USHORT flags,
                            VARTYPE vt) noexcept {
    if (dest == nullptr || source == nullptr) return E_INVALIDARG;
    if (!is_valid(source->vt)) return DISP_E_BADVARTYPE;
    if (vt == VT_VARIANT) return E_INVALIDARG;
    if (!is_value_type(vt)) return DISP_E_BADVARTYPE;
    try {
        VARIANT view;
        HRESULT hr = view_of(*source, view);
        if (FAILED(hr)) return hr;
        VARIANT result;
        hr = convert(view, lcid, flags, vt, result);
        if (FAILED(hr)) return hr;
        // dest may be source: the result owns its own copy, so clearing the source is safe.
        return assign(dest, result);
    } catch (std::bad_alloc const&) {
        return E_OUTOFMEMORY;
    }
}
