// Calls through IDispatch as a script makes them, for the tests that drive objects late-bound.
//
// Invoke gets a place for the result, the exception or the failing argument only where the caller
// gives one: a member answers differently without them (its result dropped, its own code returned
// instead of DISP_E_EXCEPTION), and the tests check both ways.
#pragma once

#include <string_view>

#include "platform/automation/Dispatch.h"
#include "tests/support/DispatchArgs.h"

namespace ambivox::testing {

// The member's DISPID; a name the object does not know fails the test and gives DISPID_UNKNOWN.
DISPID dispid_of(IDispatch* object, std::u16string_view name);

HRESULT invoke(IDispatch* object, DISPID member, WORD flags, DispatchArgs args = {},
               VARIANT* result = nullptr, EXCEPINFO* excep = nullptr, UINT* argErr = nullptr);

// The name looked up first; when the lookup fails, so does the call, with the lookup's code.
HRESULT invoke_by_name(IDispatch* object, std::u16string_view name, WORD flags,
                       DispatchArgs args = {}, VARIANT* result = nullptr,
                       EXCEPINFO* excep = nullptr, UINT* argErr = nullptr);

}  // namespace ambivox::testing
