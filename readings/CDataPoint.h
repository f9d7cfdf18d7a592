// CDataPoint: one reading of one probe, its unit and the moment it was taken. Changing the unit
// of a temperature converts the value between Celsius, Fahrenheit, Rankine and Kelvin.
#pragma once

#include "ambivox/AmbivoxSDK.h"
#include "platform/automation/ConnectionPointContainer.h"
#include "platform/automation/DispatchImpl.h"
#include "platform/automation/SupportsErrorInfo.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/automation/UniqueVariant.h"

namespace ambivox {

class CDataPoint final : public implements<CDataPoint, dispatch<IDataPoint>,
                                           connection_point_container<_IDataPointEvents::iid>,
                                           supports_error_info<IDataPoint>> {
public:
    CDataPoint();

    // A failed copy reports its failure (E_OUTOFMEMORY) and leaves *pVal empty.
    HRESULT get_Value(VARIANT* pVal) noexcept override;
    // The stored value is replaced only once its copy exists.
    HRESULT put_Value(VARIANT newVal) noexcept override;
    HRESULT get_Unit(BSTR* pVal) noexcept override;
    HRESULT put_Unit(BSTR newVal) noexcept override;
    HRESULT get_Time(DATE* pVal) noexcept override;
    HRESULT put_Time(DATE newVal) noexcept override;
    HRESULT get_UTCTime(LONGLONG* pVal) noexcept override;
    HRESULT put_UTCTime(LONGLONG newVal) noexcept override;
    HRESULT get_UTCTimeAsString(BSTR* pVal) noexcept override;
    HRESULT put_UTCTimeAsString(BSTR newVal) noexcept override;

    // The OLE date standing for a time the local-time conversion cannot express.
    static constexpr DATE invalid_time = -657435.0;

private:
    unique_variant m_value;
    unique_bstr m_unit;
    LONGLONG m_utcTime = 0;
};

}  // namespace ambivox
