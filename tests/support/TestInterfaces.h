// Interfaces that exist only for the tests of the object runtime: a two-level chain, an
// unrelated interface, an events interface for connection points, and one nobody implements.
#pragma once

#include "platform/com/Unknown.h"

struct ITestBase : IUnknown {
    static constexpr IID iid = ambivox::make_guid("7A1C0001-5E2B-4C1D-9A10-0000000000B1");
    using base_interface = IUnknown;

    // *value receives a number that identifies the implementing object.
    virtual HRESULT GetValue(LONG* value) noexcept = 0;

protected:
    ~ITestBase() = default;
};

struct ITestDerived : ITestBase {
    static constexpr IID iid = ambivox::make_guid("7A1C0002-5E2B-4C1D-9A10-0000000000B2");
    using base_interface = ITestBase;

    virtual HRESULT GetDouble(LONG* value) noexcept = 0;

protected:
    ~ITestDerived() = default;
};

struct ITestOther : IUnknown {
    static constexpr IID iid = ambivox::make_guid("7A1C0003-5E2B-4C1D-9A10-0000000000B3");
    using base_interface = IUnknown;

    virtual HRESULT GetName(BSTR* name) noexcept = 0;  // *name owned by the caller

protected:
    ~ITestOther() = default;
};

struct ITestEvents : IUnknown {
    static constexpr IID iid = ambivox::make_guid("7A1C0004-5E2B-4C1D-9A10-0000000000B4");
    using base_interface = IUnknown;

    virtual HRESULT OnChanged(LONG value) noexcept = 0;

protected:
    ~ITestEvents() = default;
};

// Declared so that a refusal can be asked for; no test object implements it.
struct ITestAbsent : IUnknown {
    static constexpr IID iid = ambivox::make_guid("7A1C0005-5E2B-4C1D-9A10-0000000000B5");
    using base_interface = IUnknown;

protected:
    ~ITestAbsent() = default;
};
