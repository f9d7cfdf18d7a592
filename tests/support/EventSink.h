// A sink for a dispatch-only events interface without members: it answers Events (and
// IDispatch through it), so a connection point of that interface accepts it.
#pragma once

#include "platform/automation/Dispatch.h"
#include "platform/com/Implements.h"

namespace ambivox::testing {

template <class Events>
class EventSink final : public implements<EventSink<Events>, Events> {
public:
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
        return DISP_E_MEMBERNOTFOUND;
    }
};

}  // namespace ambivox::testing
