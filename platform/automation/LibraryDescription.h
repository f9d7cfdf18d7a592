// The description of an automation surface: library, coclasses, interfaces and members.
//
// A module declares its surface once, as a library_description built from member pointers of
// its C++ interfaces. Vtable order and parameter types come from the C++ declarations
// themselves; DISPIDs, names, parameter names and help strings are given beside them. The type
// library, GetIDsOfNames and Invoke are all derived from that one description, so they cannot
// drift apart.
#pragma once

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/Dispatch.h"
#include "platform/automation/DispatchArguments.h"
#include "platform/automation/TypeInfoInterfaces.h"

namespace ambivox {

struct param_description {
    std::u16string name;  // empty for the value of a property setter
    type_ref type;
    USHORT flags = PARAMFLAG_FIN;
};

// Calls the member on instance (a pointer to the interface that declares it) with the
// arguments in call.
using member_invoker = HRESULT (*)(void* instance, invoke_call& call);

struct member_description {
    DISPID dispid = DISPID_UNKNOWN;
    INVOKEKIND kind = INVOKE_FUNC;
    std::u16string name;
    std::u16string help;
    std::vector<param_description> params;
    int vtable_offset = -1;  // in bytes from the start of the interface's vtable
    member_invoker invoke = nullptr;
    // Per parameter, a declared automation type that overrides the C++ type's (VT_EMPTY: none).
    std::vector<VARTYPE> declared;

    // Overrides the help string derived from the member's kind and name.
    member_description&& with_help(std::u16string_view text) && {
        help = text;
        return std::move(*this);
    }
    // Overrides the automation type of parameter index (a C++ double that means DATE, say).
    member_description&& with_type(std::size_t index, VARTYPE vt) && {
        params.at(index).type.vt = vt;
        declared.at(index) = vt;
        return std::move(*this);
    }
};

// dual: a vtable interface that is also reachable through IDispatch; dispatch_only: reachable
// only by Invoke (event interfaces); custom: a plain vtable interface.
enum class interface_kind { dual, dispatch_only, custom };

struct interface_description {
    IID iid;
    std::u16string name;
    std::u16string help;
    interface_kind kind = interface_kind::dual;
    std::vector<member_description> members;  // in vtable order
};

struct coclass_description {
    CLSID clsid;
    std::u16string name;
    std::u16string help;
    IID const* default_interface = nullptr;
    IID const* source_interface = nullptr;  // null when the class has no events
};

struct library_description {
    GUID libid;
    std::u16string name;
    std::u16string help;
    WORD major = 1;
    WORD minor = 0;
    LCID lcid = 0;
    SYSKIND syskind = SYS_WIN32;
    std::vector<interface_description> interfaces;
    std::vector<coclass_description> coclasses;
};

namespace description_detail {

template <auto Member>
struct member_traits;

template <class I, class... Args, HRESULT (I::*Member)(Args...) noexcept>
struct member_traits<Member> {
    using interface_type = I;
    static constexpr std::size_t arity = sizeof...(Args);

    static std::vector<param_description> params(std::initializer_list<std::u16string_view> names) {
        std::vector<param_description> result{
            param_description{{}, arg_traits<Args>::type(), arg_traits<Args>::flags}...};
        // Only a final out-parameter that is the member's one out-parameter is its result.
        std::size_t outs = 0;
        for (auto const& p : result)
            if (p.flags & PARAMFLAG_FOUT) ++outs;
        if (outs == 1 && !result.empty() && (result.back().flags & PARAMFLAG_FOUT))
            result.back().flags |= PARAMFLAG_FRETVAL;
        if (names.size() != 0 && names.size() != result.size())
            throw std::logic_error("parameter names do not match the member's parameters");
        std::size_t i = 0;
        for (auto name : names)
            result[i++].name = name;
        return result;
    }

    static int vtable_offset() noexcept { return virtual_offset_of(Member); }

    static HRESULT invoke(void* instance, invoke_call& call) {
        return arguments_detail::call_member<I, Args...>(static_cast<I*>(instance), Member, call,
                                                         std::index_sequence_for<Args...>{});
    }
};

template <auto Member>
member_description describe(DISPID dispid, INVOKEKIND kind, std::u16string_view name,
                            std::u16string_view help,
                            std::initializer_list<std::u16string_view> names) {
    using traits = member_traits<Member>;
    member_description m;
    m.dispid = dispid;
    m.kind = kind;
    m.name = name;
    m.help = help;
    m.params = traits::params(names);
    m.declared.assign(m.params.size(), VT_EMPTY);
    m.vtable_offset = traits::vtable_offset();
    m.invoke = &traits::invoke;
    return m;
}

}  // namespace description_detail

// A method; names lists every parameter, the result included.
template <auto Member>
member_description method(DISPID dispid, std::u16string_view name,
                          std::initializer_list<std::u16string_view> names = {}) {
    return description_detail::describe<Member>(dispid, INVOKE_FUNC, name,
                                                u"method " + std::u16string(name), names);
}

// A property getter; its result is named pVal unless names says otherwise.
template <auto Member>
member_description property_get(DISPID dispid, std::u16string_view name,
                                std::initializer_list<std::u16string_view> names = {u"pVal"}) {
    return description_detail::describe<Member>(dispid, INVOKE_PROPERTYGET, name,
                                                u"property " + std::u16string(name), names);
}

// A property setter: one unnamed [in] parameter.
template <auto Member>
member_description property_put(DISPID dispid, std::u16string_view name) {
    return description_detail::describe<Member>(dispid, INVOKE_PROPERTYPUT, name,
                                                u"property " + std::u16string(name), {});
}

}  // namespace ambivox
