// Connection point interfaces: how a client hands an object its event sinks.
#pragma once

#include "platform/com/Unknown.h"

struct IConnectionPoint;
struct IConnectionPointContainer;

struct CONNECTDATA {
    IUnknown* pUnk;  // a reference owned by whoever receives the CONNECTDATA
    DWORD dwCookie;
};

struct IEnumConnections : IUnknown {
    static constexpr IID iid = ambivox::make_guid("B196B287-BAB4-101A-B69C-00AA00341D07");
    using base_interface = IUnknown;

    virtual HRESULT Next(ULONG cConnections, CONNECTDATA* rgcd, ULONG* pcFetched) noexcept = 0;
    virtual HRESULT Skip(ULONG cConnections) noexcept = 0;
    virtual HRESULT Reset() noexcept = 0;
    virtual HRESULT Clone(IEnumConnections** ppEnum) noexcept = 0;

protected:
    ~IEnumConnections() = default;
};

struct IConnectionPoint : IUnknown {
    static constexpr IID iid = ambivox::make_guid("B196B286-BAB4-101A-B69C-00AA00341D07");
    using base_interface = IUnknown;

    virtual HRESULT GetConnectionInterface(IID* pIID) noexcept = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) noexcept = 0;
    virtual HRESULT Advise(IUnknown* sink, DWORD* pdwCookie) noexcept = 0;
    virtual HRESULT Unadvise(DWORD dwCookie) noexcept = 0;
    virtual HRESULT EnumConnections(IEnumConnections** ppEnum) noexcept = 0;

protected:
    ~IConnectionPoint() = default;
};

struct IEnumConnectionPoints : IUnknown {
    static constexpr IID iid = ambivox::make_guid("B196B285-BAB4-101A-B69C-00AA00341D07");
    using base_interface = IUnknown;

    virtual HRESULT Next(ULONG cConnections, IConnectionPoint** ppCP,
                         ULONG* pcFetched) noexcept = 0;
    virtual HRESULT Skip(ULONG cConnections) noexcept = 0;
    virtual HRESULT Reset() noexcept = 0;
    virtual HRESULT Clone(IEnumConnectionPoints** ppEnum) noexcept = 0;

protected:
    ~IEnumConnectionPoints() = default;
};

struct IConnectionPointContainer : IUnknown {
    static constexpr IID iid = ambivox::make_guid("B196B284-BAB4-101A-B69C-00AA00341D07");
    using base_interface = IUnknown;

    virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) noexcept = 0;
    virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) noexcept = 0;

protected:
    ~IConnectionPointContainer() = default;
};

inline constexpr IID IID_IConnectionPoint = IConnectionPoint::iid;
inline constexpr IID IID_IConnectionPointContainer = IConnectionPointContainer::iid;
inline constexpr IID IID_IEnumConnections = IEnumConnections::iid;
inline constexpr IID IID_IEnumConnectionPoints = IEnumConnectionPoints::iid;
