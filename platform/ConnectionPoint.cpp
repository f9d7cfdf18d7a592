#include "platform/ConnectionPoint.h"

#include <algorithm>
#include <memory>

#include "platform/HResultBoundary.h"
#include "platform/SnapshotEnumerator.h"

namespace ambivox {

namespace {
constexpr std::size_t initial_slots = 4;
}

ConnectionPoint::~ConnectionPoint() {
    for (IUnknown* sink : m_slots)
        if (sink != nullptr) sink->Release();
}

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** ppv) noexcept {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IUnknown::iid || riid == IConnectionPoint::iid) {
        AddRef();
        *ppv = static_cast<IConnectionPoint*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* pIID) noexcept {
    if (pIID == nullptr) return E_POINTER;
    *pIID = m_events;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) noexcept {
    if (ppCPC == nullptr) return E_POINTER;
    m_container.AddRef();
    *ppCPC = &m_container;
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* pdwCookie) noexcept {
    if (pdwCookie == nullptr) return E_POINTER;
    *pdwCookie = 0;
    if (sink == nullptr) return E_POINTER;

    IUnknown* events = nullptr;
    if (FAILED(sink->QueryInterface(m_events, reinterpret_cast<void**>(&events))) ||
        events == nullptr)
        return CONNECT_E_CANNOTCONNECT;

    auto free = std::find(m_slots.begin(), m_slots.end(), nullptr);
    if (free == m_slots.end()) {
        std::size_t const used = m_slots.size();
        try {
            m_slots.resize(used == 0 ? initial_slots : used * 2, nullptr);
        } catch (...) {
            events->Release();
            return CONNECT_E_ADVISELIMIT;
        }
        free = m_slots.begin() + static_cast<std::ptrdiff_t>(used);
    }
    *free = events;
    *pdwCookie = static_cast<DWORD>(free - m_slots.begin()) + 1;
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD dwCookie) noexcept {
    if (dwCookie == 0 || dwCookie > m_slots.size() || m_slots[dwCookie - 1] == nullptr)
        return CONNECT_E_NOCONNECTION;
    IUnknown* sink = std::exchange(m_slots[dwCookie - 1], nullptr);
    sink->Release();
    return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** ppEnum) noexcept {
    if (ppEnum == nullptr) return E_POINTER;
    *ppEnum = nullptr;
    return hresult_boundary([&] {
        auto snapshot = std::make_shared<enum_snapshot<CONNECTDATA>>();
        for (std::size_t i = 0; i < m_slots.size(); ++i)
            if (m_slots[i] != nullptr)
                snapshot->push_back(CONNECTDATA{m_slots[i], static_cast<DWORD>(i + 1)});
        *ppEnum = make_snapshot_enumerator<IEnumConnections>(
                      std::shared_ptr<enum_snapshot<CONNECTDATA> const>(std::move(snapshot)))
                      .detach();
    });
}

}  // namespace ambivox
