// A probe whose fields the test sets directly, including what a real probe refuses (an empty
// name), and whose Number getter can be made to fail. Only IProbe is served; its IDispatch
// half answers nothing.
#pragma once

#include <string>

#include "ambivox/AmbivoxSDK.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/base/HResultBoundary.h"
#include "platform/com/Implements.h"

namespace ambivox::testing {

class FakeProbe final : public implements<FakeProbe, IProbe> {
public:
    explicit FakeProbe(std::u16string name = u"fake", SHORT number = -1)
        : name(std::move(name)), number(number) {}

    HRESULT get_Name(BSTR* pVal) noexcept override {
        if (pVal == nullptr) return E_OUTOFMEMORY;
        return hresult_boundary([&] { *pVal = make_bstr(name); });
    }
    HRESULT put_Name(BSTR newVal) noexcept override {
        return hresult_boundary([&] { name = bstr_view(newVal); });
    }
    HRESULT get_Type(BSTR* pVal) noexcept override {
        if (pVal == nullptr) return E_OUTOFMEMORY;
        return hresult_boundary([&] { *pVal = make_bstr(u"Temperature"); });
    }
    HRESULT put_Type(BSTR) noexcept override { return S_OK; }
    HRESULT get_Number(SHORT* pVal) noexcept override {
        if (number_fails) return E_FAIL;
        if (pVal == nullptr) return E_OUTOFMEMORY;
        *pVal = number;
        return S_OK;
    }
    HRESULT put_Number(SHORT newVal) noexcept override {
        ++number_writes;
        number = newVal;
        return S_OK;
    }
    HRESULT get_Group(LONG* pVal) noexcept override {
        if (pVal == nullptr) return E_INVALIDARG;
        *pVal = -1;
        return S_OK;
    }
    HRESULT put_Group(LONG) noexcept override { return S_OK; }
    HRESULT get_MostRecentDataPoint(IDataPoint**) noexcept override { return E_OUTOFMEMORY; }
    HRESULT Poll(IDataPoint*) noexcept override { return E_NOTIMPL; }

    HRESULT GetTypeInfoCount(UINT* pctinfo) noexcept override {
        if (pctinfo == nullptr) return E_POINTER;
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                   UINT*) noexcept override {
        return E_NOTIMPL;
    }

    std::u16string name;
    SHORT number;
    bool number_fails = false;  // get_Number then fails with E_FAIL
    int number_writes = 0;      // calls of put_Number
};

}  // namespace ambivox::testing
