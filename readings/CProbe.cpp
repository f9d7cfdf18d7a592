#include "readings/CProbe.h"

#include <algorithm>
#include <utility>

namespace ambivox {

CProbe::CProbe() : m_name(u"default"), m_type(u"not set") {}

HRESULT CProbe::get_Name(BSTR* pVal) noexcept {
    if (pVal == nullptr) return E_OUTOFMEMORY;
    return hresult_boundary([&] { *pVal = m_name.copy(); });
}

HRESULT CProbe::put_Name(BSTR newVal) noexcept {
    std::u16string_view const name = bstr_view(newVal);
    if (name.empty() || name.size() > max_name_length || name == m_name.view()) return E_INVALIDARG;
    return hresult_boundary([&] {
        unique_bstr const previous = std::exchange(m_name, unique_bstr::copy_of(newVal));
        for (ProbeNameObserver* observer : m_observers)
            observer->probe_renamed(this, previous.view(), m_name.view());
    });
}

void CProbe::watch(ProbeNameObserver* observer) {
    m_observers.push_back(observer);
}

void CProbe::unwatch(ProbeNameObserver* observer) noexcept {
    auto const found = std::find(m_observers.begin(), m_observers.end(), observer);
    if (found != m_observers.end()) m_observers.erase(found);
}

HRESULT CProbe::get_Type(BSTR* pVal) noexcept {
    if (pVal == nullptr) return E_OUTOFMEMORY;
    return hresult_boundary([&] { *pVal = m_type.copy(); });
}

HRESULT CProbe::put_Type(BSTR newVal) noexcept {
    std::u16string_view const type = bstr_view(newVal);
    if (type.empty() || type_list.find(type) == std::u16string_view::npos || type == m_type.view())
        return E_INVALIDARG;
    return hresult_boundary([&] { m_type = unique_bstr::copy_of(newVal); });
}

HRESULT CProbe::get_Number(SHORT* pVal) noexcept {
    if (pVal == nullptr) return E_OUTOFMEMORY;
    *pVal = m_number;
    return S_OK;
}

HRESULT CProbe::put_Number(SHORT newVal) noexcept {
    m_number = newVal;
    return S_OK;
}

HRESULT CProbe::get_Group(LONG* pVal) noexcept {
    if (pVal == nullptr) return E_INVALIDARG;
    *pVal = m_group;
    return S_OK;
}

HRESULT CProbe::put_Group(LONG newVal) noexcept {
    m_group = newVal;
    return S_OK;
}

HRESULT CProbe::get_MostRecentDataPoint(IDataPoint** pVal) noexcept {
    if (pVal == nullptr || !m_mostRecent) return E_OUTOFMEMORY;
    return m_mostRecent.query_to(IDataPoint::iid, reinterpret_cast<void**>(pVal));
}

HRESULT CProbe::Poll(IDataPoint* pDataPoint) noexcept {
    m_mostRecent = nullptr;
    if (pDataPoint == nullptr) return E_POINTER;
    return pDataPoint->QueryInterface(IDataPoint::iid, m_mostRecent.put_void());
}

}  // namespace ambivox
