#include "tests/support/LateBinding.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/base/CodePage.h"

namespace ambivox::testing {

namespace {

HRESULT lookup(IDispatch* object, std::u16string_view name, DISPID& member) {
    std::u16string text(name);
    LPOLESTR names[] = {text.data()};
    HRESULT const hr = object->GetIDsOfNames(IID_NULL, names, 1, 0, &member);
    EXPECT_EQ(hr, S_OK) << narrow(name, CP_UTF8);
    return hr;
}

}  // namespace

DISPID dispid_of(IDispatch* object, std::u16string_view name) {
    DISPID member = DISPID_UNKNOWN;
    lookup(object, name, member);
    return member;
}

HRESULT invoke(IDispatch* object, DISPID member, WORD flags, DispatchArgs args, VARIANT* result,
               EXCEPINFO* excep, UINT* argErr) {
    return object->Invoke(member, IID_NULL, 0, flags, args.get(), result, excep, argErr);
}

HRESULT invoke_by_name(IDispatch* object, std::u16string_view name, WORD flags, DispatchArgs args,
                       VARIANT* result, EXCEPINFO* excep, UINT* argErr) {
    DISPID member = DISPID_UNKNOWN;
    HRESULT const hr = lookup(object, name, member);
    if (FAILED(hr)) return hr;
    return invoke(object, member, flags, std::move(args), result, excep, argErr);
}

}  // namespace ambivox::testing
