// ConnectionPoint: one outgoing interface of a connection point container, with its sinks.
//
// It lives inside its container and shares the container's lifetime: its reference count is the
// container's. Sinks sit in slots that start at 4 and double when full; a cookie is a sink's
// 1-based slot, and freed slots are reused lowest first.
#pragma once

#include <vector>

#include "platform/ConnectionPoints.h"

namespace ambivox {

class ConnectionPoint final : public IConnectionPoint {
public:
    ConnectionPoint(IConnectionPointContainer& container, IID const& events) noexcept
        : m_container(container), m_events(events) {}
    ConnectionPoint(ConnectionPoint const&) = delete;
    ConnectionPoint& operator=(ConnectionPoint const&) = delete;
    ~ConnectionPoint();

    HRESULT QueryInterface(REFIID riid, void** ppv) noexcept override;
    ULONG AddRef() noexcept override { return m_container.AddRef(); }
    ULONG Release() noexcept override { return m_container.Release(); }

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
    IConnectionPointContainer& m_container;
    IID m_events;
    std::vector<IUnknown*> m_slots;  // each non-null slot holds one reference
};

}  // namespace ambivox
