// connection_point_container<Events>: an object's container with exactly one connection point,
// for the events interface Events. List it among the interfaces of implements<>:
//
//     class CThing : public implements<CThing, IThing,
//     connection_point_container<_IThingEvents::iid>>
#pragma once

#include <memory>

#include "platform/automation/ConnectionPoint.h"
#include "platform/automation/SnapshotEnumerator.h"
#include "platform/base/HResultBoundary.h"

namespace ambivox {

template <IID const& Events>
class connection_point_container : public IConnectionPointContainer {
public:
    using interface_type = IConnectionPointContainer;

    // *ppEnum receives an enumerator of the one point, owned by the caller.
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) noexcept override {
        if (ppEnum == nullptr) return E_POINTER;
        *ppEnum = nullptr;
        return hresult_boundary([&] {
            auto snapshot = std::make_shared<enum_snapshot<IConnectionPoint*>>();
            IConnectionPoint* point = &m_point;
            snapshot->push_back(point);
            *ppEnum =
                make_snapshot_enumerator<IEnumConnectionPoints>(
                    std::shared_ptr<enum_snapshot<IConnectionPoint*> const>(std::move(snapshot)))
                    .detach();
        });
    }

    // Finds only the point for Events; CONNECT_E_NOCONNECTION for anything else.
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) noexcept override {
        if (ppCP == nullptr) return E_POINTER;
        *ppCP = nullptr;
        if (riid != Events) return CONNECT_E_NOCONNECTION;
        m_point.AddRef();
        *ppCP = &m_point;
        return S_OK;
    }

protected:
    connection_point_container() noexcept = default;
    ~connection_point_container() = default;

private:
    ConnectionPoint m_point{*this, Events};
};

}  // namespace ambivox
