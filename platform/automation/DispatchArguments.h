// How late-bound arguments reach a C++ member and how its results come back.
//
// Each C++ parameter type has an arg_traits<T>: its automation type, its [in]/[out] flags, and a
// holder that coerces the caller's VARIANT into the C++ argument, keeps it alive for the call
// and writes out-parameters and the result back. Coercion goes through VariantChangeType, so a
// script may pass "5" to a short or a double to a long.
#pragma once

#include <cstdint>
#include <cstring>
#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/automation/Bstr.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/TypeInfoInterfaces.h"
#include "platform/automation/UniqueVariant.h"
#include "platform/com/ComPtr.h"

namespace ambivox {

// A parameter's type as the type library states it: vt, reached through `indirections`
// pointers (VT_PTR levels); for VT_USERDEFINED the interface it names.
struct type_ref {
    VARTYPE vt = VT_EMPTY;
    int indirections = 0;
    IID const* userdefined = nullptr;
};

// One late-bound call, with the caller's arguments already matched to parameters.
struct invoke_call {
    VARIANT** args = nullptr;  // args[i]: the caller's VARIANT for parameter i; null for the result
    // declared[i]: the automation type parameter i is declared with, when it differs from what
    // its C++ type says (a double declared DATE); VT_EMPTY or a null array for the C++ type's.
    VARTYPE const* declared = nullptr;
    VARIANT* result = nullptr;        // may be null: the result is then dropped
    std::size_t failed_argument = 0;  // parameter index of the argument that could not be used
    bool member_failed = false;       // the member itself returned the failure
};

// The byte offset of a virtual member function in its interface's vtable (Itanium C++ ABI: a
// pointer to a virtual member holds 1 + that offset); -1 for a non-virtual member.
template <class M>
int virtual_offset_of(M member) noexcept {
    static_assert(sizeof(M) == 2 * sizeof(void*), "unexpected member pointer layout");
    struct representation {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    } rep;
    std::memcpy(&rep, &member, sizeof rep);
    return (rep.ptr & 1) != 0 ? static_cast<int>(rep.ptr - 1) : -1;
}

namespace arguments_detail {

// The caller's variant behind any number of VT_BYREF|VT_VARIANT levels.
VARIANT const* dereference(VARIANT const* given) noexcept;

// Coerces given into vt inside holder (holder is cleared first).
HRESULT coerce(unique_variant& holder, VARIANT const* given, VARTYPE vt) noexcept;

// An interface reference from a VT_UNKNOWN or VT_DISPATCH argument (by reference or not);
// VT_EMPTY, VT_NULL and null pointers give null. DISP_E_TYPEMISMATCH otherwise.
HRESULT query_argument(VARIANT const* given, IID const& iid, void** out) noexcept;

// Checks that an out-parameter is given as VT_BYREF of vt (an interface as VT_BYREF of
// VT_UNKNOWN or VT_DISPATCH).
HRESULT check_byref(VARIANT const* given, VARTYPE vt) noexcept;

template <class T>
constexpr VARTYPE scalar_vt() {
    if constexpr (std::is_same_v<T, SHORT>)
        return VT_I2;
    else if constexpr (std::is_same_v<T, LONG>)
        return VT_I4;
    else if constexpr (std::is_same_v<T, LONG_PTR>)
        return VT_I4;  // declared long, pointer-wide here
    else if constexpr (std::is_same_v<T, LONGLONG>)
        return VT_I8;
    else if constexpr (std::is_same_v<T, double>)
        return VT_R8;
    else if constexpr (std::is_same_v<T, float>)
        return VT_R4;
    else if constexpr (std::is_same_v<T, BYTE>)
        return VT_UI1;
    else if constexpr (std::is_same_v<T, USHORT>)
        return VT_UI2;
    else if constexpr (std::is_same_v<T, ULONG>)
        return VT_UI4;
    else
        return VT_EMPTY;
}

template <class T>
constexpr bool is_scalar = scalar_vt<T>() != VT_EMPTY;

template <class T>
constexpr bool is_interface = std::is_class_v<T>&& std::is_base_of_v<IUnknown, T>;

template <class T>
T read_scalar(VARIANT const& v) noexcept {
    switch (v.vt) {
        case VT_I2:
            return static_cast<T>(v.iVal);
        case VT_I4:
            return static_cast<T>(v.lVal);
        case VT_I8:
            return static_cast<T>(v.llVal);
        case VT_R8:
            return static_cast<T>(v.dblVal);
        case VT_DATE:
            return static_cast<T>(v.date);
        case VT_R4:
            return static_cast<T>(v.fltVal);
        case VT_UI1:
            return static_cast<T>(v.bVal);
        case VT_UI2:
            return static_cast<T>(v.uiVal);
        case VT_UI4:
            return static_cast<T>(v.ulVal);
        default:
            return T{};
    }
}

template <class T>
void write_scalar(VARIANT& v, T value) noexcept {
    constexpr VARTYPE vt = scalar_vt<T>();
    v.vt = vt;
    if constexpr (vt == VT_I2)
        v.iVal = value;
    else if constexpr (vt == VT_I4)
        v.lVal = static_cast<LONG>(value);
    else if constexpr (vt == VT_I8)
        v.llVal = value;
    else if constexpr (vt == VT_R8)
        v.dblVal = value;
    else if constexpr (vt == VT_R4)
        v.fltVal = value;
    else if constexpr (vt == VT_UI1)
        v.bVal = value;
    else if constexpr (vt == VT_UI2)
        v.uiVal = value;
    else if constexpr (vt == VT_UI4)
        v.ulVal = value;
}

// Writes through a VT_BYREF target of the scalar's type.
template <class T>
void write_byref_scalar(VARIANT& target, T value) noexcept {
    constexpr VARTYPE vt = scalar_vt<T>();
    if constexpr (vt == VT_I2)
        *target.piVal = value;
    else if constexpr (vt == VT_I4)
        *target.plVal = static_cast<LONG>(value);
    else if constexpr (vt == VT_I8)
        *target.pllVal = value;
    else if constexpr (vt == VT_R8)
        *target.pdblVal = value;
    else if constexpr (vt == VT_R4)
        *target.pfltVal = value;
    else if constexpr (vt == VT_UI1)
        *target.pbVal = value;
    else if constexpr (vt == VT_UI2)
        *target.puiVal = value;
    else if constexpr (vt == VT_UI4)
        *target.pulVal = value;
}

template <class T>
T read_byref_scalar(VARIANT const& target) noexcept {
    constexpr VARTYPE vt = scalar_vt<T>();
    if constexpr (vt == VT_I2)
        return static_cast<T>(*target.piVal);
    else if constexpr (vt == VT_I4)
        return static_cast<T>(*target.plVal);
    else if constexpr (vt == VT_I8)
        return static_cast<T>(*target.pllVal);
    else if constexpr (vt == VT_R8)
        return static_cast<T>(*target.pdblVal);
    else if constexpr (vt == VT_R4)
        return static_cast<T>(*target.pfltVal);
    else if constexpr (vt == VT_UI1)
        return static_cast<T>(*target.pbVal);
    else if constexpr (vt == VT_UI2)
        return static_cast<T>(*target.puiVal);
    else
        return static_cast<T>(*target.pulVal);
}

}  // namespace arguments_detail

template <class T, class = void>
struct arg_traits;

// [in] scalars, coerced.
template <class T>
struct arg_traits<T, std::enable_if_t<arguments_detail::is_scalar<T>>> {
    static constexpr USHORT flags = PARAMFLAG_FIN;
    static constexpr VARTYPE vt = arguments_detail::scalar_vt<T>();
    static type_ref type() noexcept { return {vt, 0, nullptr}; }
    struct holder {
        unique_variant value;
        HRESULT load(VARIANT* given, VARTYPE declared) noexcept {
            return arguments_detail::coerce(value, given, declared != VT_EMPTY ? declared : vt);
        }
        T get() noexcept { return arguments_detail::read_scalar<T>(value.get()); }
        void store(VARIANT*, VARTYPE) noexcept {}
    };
};

// [in] strings, coerced; the member borrows the string for the call.
template <>
struct arg_traits<BSTR> {
    static constexpr USHORT flags = PARAMFLAG_FIN;
    static type_ref type() noexcept { return {VT_BSTR, 0, nullptr}; }
    struct holder {
        BSTR borrowed = nullptr;
        unique_variant converted;
        HRESULT load(VARIANT* given, VARTYPE) noexcept {
            VARIANT const* actual = arguments_detail::dereference(given);
            if (actual->vt == VT_BSTR) {
                borrowed = actual->bstrVal;
                return S_OK;
            }
            if (actual->vt == (VT_BSTR | VT_BYREF)) {
                borrowed = *actual->pbstrVal;
                return S_OK;
            }
            HRESULT const hr = arguments_detail::coerce(converted, actual, VT_BSTR);
            if (SUCCEEDED(hr)) borrowed = converted.get().bstrVal;
            return hr;
        }
        BSTR get() noexcept { return borrowed; }
        void store(VARIANT*, VARTYPE) noexcept {}
    };
};

// [in] variants: the value behind any by-reference form, as a copy the member borrows.
template <>
struct arg_traits<VARIANT> {
    static constexpr USHORT flags = PARAMFLAG_FIN;
    static type_ref type() noexcept { return {VT_VARIANT, 0, nullptr}; }
    struct holder {
        unique_variant value;
        HRESULT load(VARIANT* given, VARTYPE) noexcept {
            return VariantCopyInd(value.put(), given);
        }
        VARIANT get() noexcept { return value.get(); }
        void store(VARIANT*, VARTYPE) noexcept {}
    };
};

// [in] interfaces, asked for the parameter's interface.
template <class I>
struct arg_traits<I*, std::enable_if_t<arguments_detail::is_interface<I>>> {
    static constexpr USHORT flags = PARAMFLAG_FIN;
    static type_ref type() noexcept {
        if constexpr (std::is_same_v<I, IDispatch>)
            return {VT_DISPATCH, 0, nullptr};
        else if constexpr (std::is_same_v<I, IUnknown>)
            return {VT_UNKNOWN, 0, nullptr};
        else
            return {VT_USERDEFINED, 1, &I::iid};
    }
    struct holder {
        com_ptr<I> value;
        HRESULT load(VARIANT* given, VARTYPE) noexcept {
            return arguments_detail::query_argument(given, I::iid, value.put_void());
        }
        I* get() noexcept { return value.get(); }
        void store(VARIANT*, VARTYPE) noexcept {}
    };
};

// Where an out-parameter goes: the result (no argument), a typed by-reference argument, or a
// by-reference VARIANT (how scripts pass their variables), which then takes the typed value.
struct out_target {
    VARIANT* byref = nullptr;    // VT_BYREF of the parameter's own type
    VARIANT* variant = nullptr;  // the VARIANT behind VT_BYREF|VT_VARIANT

    HRESULT bind(VARIANT* given, VARTYPE vt) noexcept {
        if (given == nullptr) return S_OK;
        if (given->vt == (VT_BYREF | VT_VARIANT) && given->pvarVal != nullptr &&
            (given->pvarVal->vt & VT_BYREF) == 0) {
            variant = given->pvarVal;
            return S_OK;
        }
        HRESULT const hr = arguments_detail::check_byref(given, vt);
        if (SUCCEEDED(hr)) byref = const_cast<VARIANT*>(arguments_detail::dereference(given));
        return hr;
    }
    // The variant that receives the value as its own, cleared first; null when dropped.
    VARIANT* owned_destination(VARIANT* result) noexcept {
        if (variant != nullptr) {
            VariantClear(variant);
            return variant;
        }
        return byref == nullptr ? result : nullptr;
    }
};

// [out] scalars. A by-reference argument's current value is handed in, so a member that reads
// its out-parameter sees what the caller passed.
template <class T>
struct arg_traits<T*, std::enable_if_t<arguments_detail::is_scalar<T>>> {
    static constexpr USHORT flags = PARAMFLAG_FOUT;
    static constexpr VARTYPE vt = arguments_detail::scalar_vt<T>();
    static type_ref type() noexcept { return {vt, 1, nullptr}; }
    struct holder {
        T value{};
        out_target target;
        HRESULT load(VARIANT* given, VARTYPE declared) noexcept {
            VARTYPE const as = declared != VT_EMPTY ? declared : vt;
            HRESULT const hr = target.bind(given, as);
            if (target.byref != nullptr) {
                value = arguments_detail::read_byref_scalar<T>(*target.byref);
            } else if (target.variant != nullptr) {
                unique_variant current;
                if (SUCCEEDED(arguments_detail::coerce(current, target.variant, as)))
                    value = arguments_detail::read_scalar<T>(current.get());
            }
            return hr;
        }
        T* get() noexcept { return &value; }
        void store(VARIANT* result, VARTYPE declared) noexcept {
            if (target.byref != nullptr) {
                arguments_detail::write_byref_scalar<T>(*target.byref, value);
            } else if (VARIANT* destination = target.owned_destination(result)) {
                arguments_detail::write_scalar<T>(*destination, value);
                // A double declared DATE goes back as one.
                if constexpr (vt == VT_R8)
                    if (declared == VT_DATE) destination->vt = VT_DATE;
            }
        }
    };
};

// [out] strings: the caller receives ownership.
template <>
struct arg_traits<BSTR*> {
    static constexpr USHORT flags = PARAMFLAG_FOUT;
    static type_ref type() noexcept { return {VT_BSTR, 1, nullptr}; }
    struct holder {
        BSTR value = nullptr;
        out_target target;
        holder() = default;
        holder(holder const&) = delete;
        ~holder() { SysFreeString(value); }
        HRESULT load(VARIANT* given, VARTYPE) noexcept { return target.bind(given, VT_BSTR); }
        BSTR* get() noexcept { return &value; }
        void store(VARIANT* result, VARTYPE) noexcept {
            if (target.byref != nullptr) {
                SysFreeString(*target.byref->pbstrVal);
                *target.byref->pbstrVal = std::exchange(value, nullptr);
            } else if (VARIANT* destination = target.owned_destination(result)) {
                destination->vt = VT_BSTR;
                destination->bstrVal = std::exchange(value, nullptr);
            }
        }
    };
};

// [out] variants: the caller receives ownership.
template <>
struct arg_traits<VARIANT*> {
    static constexpr USHORT flags = PARAMFLAG_FOUT;
    static type_ref type() noexcept { return {VT_VARIANT, 1, nullptr}; }
    struct holder {
        unique_variant value;
        out_target target;
        HRESULT load(VARIANT* given, VARTYPE) noexcept {
            if (given != nullptr && given->vt == (VT_BYREF | VT_VARIANT)) {
                target.variant = given->pvarVal;
                return given->pvarVal != nullptr ? S_OK : DISP_E_TYPEMISMATCH;
            }
            return given == nullptr ? S_OK : DISP_E_TYPEMISMATCH;
        }
        VARIANT* get() noexcept { return value.put(); }
        void store(VARIANT* result, VARTYPE) noexcept {
            if (VARIANT* destination = target.owned_destination(result))
                *destination = value.release();
        }
    };
};

// [out] interfaces: the caller receives the reference.
template <class I>
struct arg_traits<I**, std::enable_if_t<arguments_detail::is_interface<I>>> {
    static constexpr USHORT flags = PARAMFLAG_FOUT;
    static constexpr VARTYPE vt = std::is_base_of_v<IDispatch, I> ? VT_DISPATCH : VT_UNKNOWN;
    static type_ref type() noexcept {
        if constexpr (std::is_same_v<I, IDispatch>)
            return {VT_DISPATCH, 1, nullptr};
        else if constexpr (std::is_same_v<I, IUnknown>)
            return {VT_UNKNOWN, 1, nullptr};
        else
            return {VT_USERDEFINED, 2, &I::iid};
    }
    struct holder {
        com_ptr<I> value;
        out_target target;
        HRESULT load(VARIANT* given, VARTYPE) noexcept { return target.bind(given, VT_UNKNOWN); }
        I** get() noexcept { return value.put(); }
        void store(VARIANT* result, VARTYPE) noexcept {
            I* const out = value.detach();
            if (target.byref != nullptr) {
                IUnknown** slot = target.byref->ppunkVal;
                if (*slot != nullptr) (*slot)->Release();
                *slot = (target.byref->vt & VT_TYPEMASK) == VT_DISPATCH ? as_dispatch(out)
                                                                        : as_unknown(out);
            } else if (VARIANT* destination = target.owned_destination(result)) {
                destination->vt = vt;
                destination->punkVal = vt == VT_DISPATCH ? as_dispatch(out) : as_unknown(out);
            } else if (out != nullptr) {
                out->Release();
            }
        }
        static IUnknown* as_unknown(I* p) noexcept { return p; }
        static IUnknown* as_dispatch(I* p) noexcept {
            if constexpr (std::is_base_of_v<IDispatch, I>)
                return static_cast<IDispatch*>(p);
            else
                return p;
        }
    };
};

namespace arguments_detail {

// Loads every argument, calls the member, and hands out-parameters and the result back.
template <class I, class... Args, class M, std::size_t... N>
HRESULT call_member(I* self, M member, invoke_call& call, std::index_sequence<N...>) {
    std::tuple<typename arg_traits<Args>::holder...> holders;
    HRESULT hr = S_OK;
    [[maybe_unused]] auto load = [&](auto& holder, std::size_t index) {
        if (FAILED(hr)) return;
        VARIANT* given = call.args[index];
        VARIANT const* actual = given != nullptr ? dereference(given) : nullptr;
        // Every by-reference kind, in and out alike, is refused here before any holder reads
        // through it: a null reference names no value and no place for one.
        if (actual != nullptr && (actual->vt & VT_BYREF) != 0 && actual->byref == nullptr)
            hr = E_INVALIDARG;
        else if (actual != nullptr && actual->vt == VT_ERROR &&
                 actual->scode == DISP_E_PARAMNOTFOUND)
            hr = DISP_E_PARAMNOTOPTIONAL;
        else
            hr = holder.load(given,
                             call.declared != nullptr ? call.declared[index] : VARTYPE{VT_EMPTY});
        if (FAILED(hr)) call.failed_argument = index;
    };
    (load(std::get<N>(holders), N), ...);
    if (FAILED(hr)) return hr;
    hr = (self->*member)(std::get<N>(holders).get()...);
    if (FAILED(hr)) {
        call.member_failed = true;
        return hr;
    }
    (std::get<N>(holders).store(call.result,
                                call.declared != nullptr ? call.declared[N] : VARTYPE{VT_EMPTY}),
     ...);
    return hr;
}

}  // namespace arguments_detail

}  // namespace ambivox
