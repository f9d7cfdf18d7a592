// Identities and the interface of the runtime's test module.
#pragma once

#include "platform/automation/Dispatch.h"

inline constexpr GUID LIBID_TestServerLib =
    ambivox::make_guid("5E1C3A0B-6F0E-4C1B-9E53-2B8F6A0C1D01");
inline constexpr CLSID CLSID_TestCounter =
    ambivox::make_guid("5E1C3A0B-6F0E-4C1B-9E53-2B8F6A0C1D02");
inline constexpr IID IID_ITestCounter = ambivox::make_guid("5E1C3A0B-6F0E-4C1B-9E53-2B8F6A0C1D03");

struct ITestCounter : IDispatch {
    static constexpr IID iid = IID_ITestCounter;
    using base_interface = IDispatch;

    virtual HRESULT get_Value(LONG* pVal) noexcept = 0;
    virtual HRESULT put_Value(LONG newVal) noexcept = 0;
    virtual HRESULT get_Label(BSTR* pVal) noexcept = 0;
    virtual HRESULT put_Label(BSTR newVal) noexcept = 0;
    virtual HRESULT Increment(SHORT by, LONG* result) noexcept = 0;

protected:
    ~ITestCounter() = default;
};
