// DispatchArgs: the arguments of one late-bound call, written in a script's order and laid out as
// Invoke reads them.
//
// A script writes the positional arguments first parameter first, then any named ones; Invoke
// reads named arguments first in rgvarg, then the positional ones, each kind last written first.
// Every value is copied in, so a list may be given variants it only borrows; the copies are cleared
// exactly once, when the list goes. A reference (VT_BYREF) stays a reference to the caller's
// variable, so a member's out-parameters write through to it.
#pragma once

#include <initializer_list>
#include <vector>

#include "platform/automation/Dispatch.h"
#include "platform/automation/UniqueVariant.h"

namespace ambivox::testing {

class DispatchArgs {
public:
    // One argument as written: a variant an owner holds or a plain VARIANT, copied at once.
    class value {
    public:
        value(VARIANT const& v) noexcept : m_variant(&v) {}
        value(unique_variant const& v) noexcept : m_variant(&v.get()) {}
        VARIANT const& get() const noexcept { return *m_variant; }

    private:
        VARIANT const* m_variant;
    };

    DispatchArgs() noexcept = default;
    DispatchArgs(std::initializer_list<value> positional);
    DispatchArgs(DispatchArgs&& other) noexcept = default;
    DispatchArgs(DispatchArgs const&) = delete;
    DispatchArgs& operator=(DispatchArgs const&) = delete;
    ~DispatchArgs();

    // A property setter's value, named as scripts name it.
    static DispatchArgs property_value(value v);

    // Adds a named argument after those already written.
    DispatchArgs named(DISPID parameter, value v) &&;

    DISPPARAMS* get() noexcept;

private:
    std::vector<VARIANT> m_rgvarg;
    std::vector<DISPID> m_named;  // parallel to the start of m_rgvarg
    DISPPARAMS m_params{};
};

}  // namespace ambivox::testing
