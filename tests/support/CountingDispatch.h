// An IDispatch that counts references and answers its DISPID_VALUE property with a value the
// test sets. It lives on the stack and starts with the test's own reference.
#pragma once

#include "platform/automation/Dispatch.h"

namespace ambivox::test {

class CountingDispatch final : public IDispatch {
public:
    CountingDispatch() noexcept { VariantInit(&value_); }
    ~CountingDispatch() { VariantClear(&value_); }
    CountingDispatch(CountingDispatch const&) = delete;
    CountingDispatch& operator=(CountingDispatch const&) = delete;

    // Without a value the property get fails with DISP_E_MEMBERNOTFOUND.
    void set_value(VARIANT const& value) noexcept {
        VariantCopy(&value_, &value);
        has_value_ = true;
    }

    HRESULT QueryInterface(REFIID riid, void** ppv) noexcept override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() noexcept override { return ++refs_; }
    ULONG Release() noexcept override { return --refs_; }

    HRESULT GetTypeInfoCount(UINT* count) noexcept override {
        if (count == nullptr) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO*, UINT*) noexcept override {
        ++invokes_;
        last_member_ = member;
        last_flags_ = flags;
        last_arg_count_ = params != nullptr ? params->cArgs : 0;
        if (member != DISPID_VALUE || !has_value_) return DISP_E_MEMBERNOTFOUND;
        if (result == nullptr) return E_POINTER;
        VariantInit(result);
        return VariantCopy(result, &value_);
    }

    ULONG refs() const noexcept { return refs_; }
    int invokes() const noexcept { return invokes_; }
    DISPID last_member() const noexcept { return last_member_; }
    WORD last_flags() const noexcept { return last_flags_; }
    UINT last_arg_count() const noexcept { return last_arg_count_; }

private:
    ULONG refs_ = 1;
    VARIANT value_;
    bool has_value_ = false;
    int invokes_ = 0;
    DISPID last_member_ = DISPID_UNKNOWN;
    WORD last_flags_ = 0;
    UINT last_arg_count_ = 0;
};

}  // namespace ambivox::test
