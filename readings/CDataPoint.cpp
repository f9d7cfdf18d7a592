#include "readings/CDataPoint.h"

#include <boost/lexical_cast.hpp>
#include <string>

#include "platform/automation/OleDate.h"
#include "readings/TemperatureConversion.h"

namespace ambivox {

namespace {

bool listed_in(std::u16string_view list, BSTR candidate) noexcept {
    return list.find(bstr_view(candidate)) != std::u16string_view::npos;
}

// The whole text as one signed 64-bit decimal number: an optional sign, then decimal digits and
// nothing else. Raises bad_lexical_cast otherwise.
LONGLONG parse_utc_text(std::u16string_view text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t const c = text[i];
        bool const sign = i == 0 && (c == u'+' || c == u'-');
        if (!sign && (c < u'0' || c > u'9')) throw boost::bad_lexical_cast();
        narrow.push_back(static_cast<char>(c));
    }
    return boost::lexical_cast<LONGLONG>(narrow);
}

}  // namespace

CDataPoint::CDataPoint() : m_unit(u"unknown") {}

HRESULT CDataPoint::get_Value(VARIANT* pVal) noexcept {
    if (pVal == nullptr) return E_POINTER;
    VariantInit(pVal);
    return VariantCopy(pVal, &m_value.get());
}

HRESULT CDataPoint::put_Value(VARIANT newVal) noexcept {
    return hresult_boundary([&] { m_value = unique_variant(newVal); });
}

HRESULT CDataPoint::get_Unit(BSTR* pVal) noexcept {
    if (pVal == nullptr) return E_OUTOFMEMORY;
    return hresult_boundary([&] { *pVal = m_unit.copy(); });
}

HRESULT CDataPoint::put_Unit(BSTR newVal) noexcept {
    if (SysStringLen(newVal) == 0) return E_INVALIDARG;
    return hresult_boundary([&]() -> HRESULT {
        if (m_unit.view() == u"unknown") {
            if (!listed_in(TemperatureConversion::temperature_units, newVal) &&
                !listed_in(TemperatureConversion::other_units, newVal))
                return E_INVALIDARG;
            m_unit = unique_bstr::copy_of(newVal);
            return S_OK;
        }
        // Only temperatures change unit once one is set, and they convert as they go.
        if (!listed_in(TemperatureConversion::temperature_units, m_unit.get())) return E_INVALIDARG;
        unique_variant converted;
        if (TemperatureConversion::is_sentinel(m_value.get())) {
            // A no-reading value stays as it is, but the unit change must still be one a reading
            // could make: "K" to "H" or "K" to "K" is refused as it is for any other value.
            unique_variant probe = unique_variant::from(0.0);
            unique_variant ignored;
            HRESULT const hr = TemperatureConversion::convert(probe.get(), m_unit.view(),
                                                              bstr_view(newVal), ignored.put());
            if (FAILED(hr)) return hr;
            converted = m_value;
        } else {
            HRESULT const hr = TemperatureConversion::convert(m_value.get(), m_unit.view(),
                                                              bstr_view(newVal), converted.put());
            if (FAILED(hr)) return hr;
        }
        unique_bstr unit = unique_bstr::copy_of(newVal);
        m_unit = std::move(unit);
        m_value = std::move(converted);
        return S_OK;
    });
}

HRESULT CDataPoint::get_Time(DATE* pVal) noexcept {
    if (pVal == nullptr) return E_OUTOFMEMORY;
    SYSTEMTIME local{};
    DATE date = invalid_time;
    if (!local_time(m_utcTime, local) || !SystemTimeToVariantTime(&local, &date))
        date = invalid_time;
    *pVal = date;
    return S_OK;
}

HRESULT CDataPoint::put_Time(DATE) noexcept {
    return S_OK;
}

HRESULT CDataPoint::get_UTCTime(LONGLONG* pVal) noexcept {
    if (pVal == nullptr) return E_OUTOFMEMORY;
    *pVal = m_utcTime;
    return S_OK;
}

HRESULT CDataPoint::put_UTCTime(LONGLONG newVal) noexcept {
    m_utcTime = newVal;
    return S_OK;
}

HRESULT CDataPoint::get_UTCTimeAsString(BSTR* pVal) noexcept {
    if (pVal == nullptr) return E_OUTOFMEMORY;
    return hresult_boundary([&] {
        std::string const text = std::to_string(m_utcTime);
        *pVal = make_bstr(std::u16string(text.begin(), text.end()));
    });
}

HRESULT CDataPoint::put_UTCTimeAsString(BSTR newVal) noexcept {
    try {
        return put_UTCTime(parse_utc_text(bstr_view(newVal)));
    } catch (...) {
        // Text that is no whole 64-bit number is refused with this code, as is memory running out.
        return E_OUTOFMEMORY;
    }
}

}  // namespace ambivox
