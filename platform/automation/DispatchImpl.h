// dispatch<I>: IDispatch for a dual interface I, answered from the module's type library.
// List it among the interfaces of implements<> in place of I:
//
//     class CThing : public implements<CThing, dispatch<IThing>, ...>
#pragma once

#include <atomic>

#include "platform/automation/TypeInfoInterfaces.h"

namespace ambivox {

// Every binary that serves dispatch objects defines this once: the type information of one of
// its interfaces, borrowed and kept until the module unloads; null when unavailable. Hidden so
// that each module answers from its own type library.
[[gnu::visibility("hidden")]] ITypeInfo* module_type_info(IID const& iid) noexcept;

// The module's type information as handed to a caller: it keeps the module loaded for as long as
// the caller holds it, since it reads names and descriptions from the module's memory. *out
// receives a reference owned by the caller; null on failure.
HRESULT hand_out_type_info(ITypeInfo* info, ITypeInfo** out) noexcept;

template <class I>
class dispatch : public I {
public:
    using interface_type = I;

    HRESULT GetTypeInfoCount(UINT* pctinfo) noexcept override {
        if (pctinfo == nullptr) return E_POINTER;
        *pctinfo = 1;
        return S_OK;
    }

    HRESULT GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) noexcept override {
        if (ppTInfo == nullptr) return E_POINTER;
        *ppTInfo = nullptr;
        if (iTInfo != 0) return DISP_E_BADINDEX;
        ITypeInfo* info = type_info();
        if (info == nullptr) return TYPE_E_CANTLOADLIBRARY;
        return hand_out_type_info(info, ppTInfo);
    }

    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT cNames, LCID,
                          DISPID* dispids) noexcept override {
        if (riid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
        ITypeInfo* info = type_info();
        if (info == nullptr) return TYPE_E_CANTLOADLIBRARY;
        return info->GetIDsOfNames(names, cNames, dispids);
    }

    HRESULT Invoke(DISPID member, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) noexcept override {
        if (riid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
        ITypeInfo* info = type_info();
        if (info == nullptr) return TYPE_E_CANTLOADLIBRARY;
        return info->Invoke(static_cast<I*>(this), member, flags, params, pVarResult, pExcepInfo,
                            puArgErr);
    }

protected:
    dispatch() noexcept = default;
    ~dispatch() = default;

private:
    // Looked up once per interface; the module's cache keeps it alive.
    static ITypeInfo* type_info() noexcept {
        static std::atomic<ITypeInfo*> cached{nullptr};
        ITypeInfo* info = cached.load(std::memory_order_acquire);
        if (info == nullptr) {
            info = module_type_info(I::iid);
            cached.store(info, std::memory_order_release);
        }
        return info;
    }
};

}  // namespace ambivox
