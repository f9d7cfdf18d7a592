// ConnectionPoint: one outgoing interface of a connection point container, with its sinks.
//
// It lives inside its container and shares the container's lifetime: its reference count is the
// container's. Defined inline so that the connection enumerators it hands out lock the module of
// the object they came from. Sinks sit in slots that start at 4 and double when full; a cookie is a
// sink's 1-based slot, and freed slots are reused lowest first.
#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/automation/ConnectionPointInterfaces.h"
#include "platform/automation/SnapshotEnumerator.h"
#include "platform/base/HResultBoundary.h"
#include "platform/com/Embedded.h"

namespace ambivox {

class ConnectionPoint final : public embedded<IConnectionPoint> {
public:
    ConnectionPoint(IConnectionPointContainer& container, IID const& events) noexcept
        : embedded(&container), m_container(container), m_events(events) {}
    ConnectionPoint(ConnectionPoint const&) = delete;
    ConnectionPoint& operator=(ConnectionPoint const&) = delete;
    ~ConnectionPoint();

    HRESULT GetConnectionInterface(IID* pIID) noexcept override;
    // *ppCPC receives a new reference owned by the caller.
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) noexcept override;
    // Keeps one reference to the sink's events interface. E_POINTER for null arguments,
    // CONNECT_E_CANNOTCONNECT when the sink lacks the events interface, CONNECT_E_ADVISELIMIT
    // when the slots cannot grow; *pdwCookie is 0 on failure.
    HRESULT Advise(IUnknown* sink, DWORD* pdwCookie) noexcept override;
    // CONNECT_E_NOCONNECTION for a cookie that names no sink.
    HRESULT Unadvise(DWORD dwCookie) noexcept override;
    // *ppEnum receives a snapshot of the current sinks, owned by the caller.
    HRESULT EnumConnections(IEnumConnections** ppEnum) noexcept override;

private:
    static constexpr std::size_t initial_slots = 4;

    IConnectionPointContainer& m_container;
    IID m_events;
    std::vector<IUnknown*> m_slots;  // each non-null slot holds one reference
};

inline ConnectionPoint::~ConnectionPoint() {
    for (IUnknown* sink : m_slots)
        if (sink != nullptr) sink->Release();
}

inline HRESULT ConnectionPoint::GetConnectionInterface(IID* pIID) noexcept {
    if (pIID == nullptr) return E_POINTER;
    *pIID = m_events;
    return S_OK;
}

inline HRESULT ConnectionPoint::GetConnectionPointContainer(
    IConnectionPointContainer** ppCPC) noexcept {
    if (ppCPC == nullptr) return E_POINTER;
    m_container.AddRef();
    *ppCPC = &m_container;
    return S_OK;
}

inline HRESULT ConnectionPoint::Advise(IUnknown* sink, DWORD* pdwCookie) noexcept {
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
            m_slots.resize(used == 0 ? ConnectionPoint::initial_slots : used * 2, nullptr);
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

inline HRESULT ConnectionPoint::Unadvise(DWORD dwCookie) noexcept {
    if (dwCookie == 0 || dwCookie > m_slots.size() || m_slots[dwCookie - 1] == nullptr)
        return CONNECT_E_NOCONNECTION;
    IUnknown* sink = std::exchange(m_slots[dwCookie - 1], nullptr);
    sink->Release();
    return S_OK;
}

inline HRESULT ConnectionPoint::EnumConnections(IEnumConnections** ppEnum) noexcept {
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
