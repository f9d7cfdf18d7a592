// CProbe: one sensor channel of a device, identified by its number, holding the most recent
// reading the device gave it.
#pragma once

#include <vector>

#include "ambivox/AmbivoxSDK.h"
#include "platform/automation/ConnectionPointContainer.h"
#include "platform/automation/DispatchImpl.h"
#include "platform/automation/SupportsErrorInfo.h"
#include "platform/automation/UniqueBstr.h"
#include "readings/ProbeNameObserver.h"

namespace ambivox {

class CProbe final
    : public implements<CProbe, dispatch<IProbe>, connection_point_container<_IProbeEvents::iid>,
                        supports_error_info<IProbe>> {
public:
    CProbe();

    HRESULT get_Name(BSTR* pVal) noexcept override;
    HRESULT put_Name(BSTR newVal) noexcept override;
    HRESULT get_Type(BSTR* pVal) noexcept override;
    HRESULT put_Type(BSTR newVal) noexcept override;
    HRESULT get_Number(SHORT* pVal) noexcept override;
    HRESULT put_Number(SHORT newVal) noexcept override;
    HRESULT get_Group(LONG* pVal) noexcept override;
    HRESULT put_Group(LONG newVal) noexcept override;
    HRESULT get_MostRecentDataPoint(IDataPoint** pVal) noexcept override;
    // A null data point forgets the previous reading and answers E_POINTER.
    HRESULT Poll(IDataPoint* pDataPoint) noexcept override;

    // Holders told of every rename until they stop watching; one entry per watch, so a holder
    // that keeps the probe twice watches it twice. watch raises std::bad_alloc.
    void watch(ProbeNameObserver* observer);
    void unwatch(ProbeNameObserver* observer) noexcept;

    static constexpr std::size_t max_name_length = 16;
    static constexpr std::u16string_view type_list = u"Temperature Humidity Wetness Switch";

private:
    unique_bstr m_name;
    unique_bstr m_type;
    SHORT m_number = -1;
    LONG m_group = -1;
    com_ptr<IDataPoint> m_mostRecent;
    std::vector<ProbeNameObserver*> m_observers;
};

}  // namespace ambivox
