// CProbeCollection: a device's probes, keyed and ordered by probe number. For `Item` an integer
// index is a 1-based position; for `Remove` and `ItemByNumber` it is a probe number.
#pragma once

#include <map>

#include "ambivox/AmbivoxSDK.h"
#include "platform/automation/DispatchImpl.h"
#include "platform/automation/SupportsErrorInfo.h"
#include "platform/com/Implements.h"

namespace ambivox {

class CProbeCollection final : public implements<CProbeCollection, dispatch<IProbeCollection>,
                                                 supports_error_info<IProbeCollection>> {
public:
    // *pVal receives an IEnumVARIANT over a snapshot of the probes, owned by the caller.
    HRESULT get__NewEnum(IUnknown** pVal) noexcept override;
    HRESULT get_Count(LONG* pVal) noexcept override;
    HRESULT Add(IProbe* pProbe) noexcept override;
    HRESULT Item(VARIANT Index, IDispatch** pItem) noexcept override;
    HRESULT Remove(VARIANT Index) noexcept override;
    HRESULT Clear() noexcept override;
    HRESULT ItemByNumber(VARIANT Index, IDispatch** pItem) noexcept override;

private:
    using entries = std::map<SHORT, com_ptr<IProbe>>;

    // The first entry, in number order, whose probe bears `name`; end() when none does.
    entries::iterator find_by_name(BSTR name);
    static HRESULT hand_out(IProbe* probe, IDispatch** pItem) noexcept;

    entries m_probes;
};

}  // namespace ambivox
