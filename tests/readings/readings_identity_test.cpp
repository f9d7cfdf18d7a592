// What each readings class answers to QueryInterface, its connection points, and aggregation.
#include <gtest/gtest.h>

#include <vector>

#include "platform/automation/ConnectionPointInterfaces.h"
#include "readings/CDataPoint.h"
#include "readings/CProbe.h"
#include "readings/CProbeCollection.h"
#include "tests/support/CountingOuter.h"
#include "tests/support/EventSink.h"
#include "tests/support/LockCountTest.h"

namespace {

using ambivox::CDataPoint;
using ambivox::com_ptr;
using ambivox::CProbe;
using ambivox::CProbeCollection;
using ambivox::testing::CountingOuter;
using ambivox::testing::EventSink;

// Every interface identity any of the three classes could be confused with.
std::vector<IID> const& all_interfaces() {
    static std::vector<IID> const iids = {
        IUnknown::iid,          IDispatch::iid,
        IDataPoint::iid,        IProbe::iid,
        IProbeCollection::iid,  IConnectionPointContainer::iid,
        IConnectionPoint::iid,  IEnumVARIANT::iid,
        _IDataPointEvents::iid, _IProbeEvents::iid,
        IDataConnector::iid,    IAmbivoxModelN::iid,
        IAmbivoxModelQ::iid,    IEnumConnectionPoints::iid,
    };
    return iids;
}

bool contains(std::vector<IID> const& list, IID const& iid) {
    for (IID const& entry : list)
        if (entry == iid) return true;
    return false;
}

// The object answers exactly `expected`, each answer on the same identity.
void expect_answers_exactly(IUnknown* object, std::vector<IID> const& expected) {
    com_ptr<IUnknown> identity;
    ASSERT_EQ(object->QueryInterface(IUnknown::iid, identity.put_void()), S_OK);
    for (IID const& iid : all_interfaces()) {
        com_ptr<IUnknown> answer;
        HRESULT const hr = object->QueryInterface(iid, answer.put_void());
        if (contains(expected, iid)) {
            EXPECT_EQ(hr, S_OK) << ambivox::to_string(iid);
            if (answer == nullptr) continue;
            com_ptr<IUnknown> back;
            ASSERT_EQ(answer->QueryInterface(IUnknown::iid, back.put_void()), S_OK);
            EXPECT_EQ(back.get(), identity.get()) << ambivox::to_string(iid);
        } else {
            EXPECT_EQ(hr, E_NOINTERFACE) << ambivox::to_string(iid);
            EXPECT_EQ(answer, nullptr);
        }
    }
}

template <class T>
IUnknown* unknown_of(com_ptr<T> const& object) {
    return object->controlling_unknown();
}

using ReadingsIdentity = ambivox::testing::LockCountTest;

TEST_F(ReadingsIdentity, EachClassAnswersItsInterfacesAndNoOthers) {
    expect_answers_exactly(
        unknown_of(ambivox::make<CDataPoint>()),
        {IUnknown::iid, IDataPoint::iid, IDispatch::iid, IConnectionPointContainer::iid});
    expect_answers_exactly(
        unknown_of(ambivox::make<CProbe>()),
        {IUnknown::iid, IProbe::iid, IDispatch::iid, IConnectionPointContainer::iid});
    expect_answers_exactly(unknown_of(ambivox::make<CProbeCollection>()),
                           {IUnknown::iid, IProbeCollection::iid, IDispatch::iid});
}

template <class Class, class Events, class Other>
void expect_one_connection_point() {
    auto object = ambivox::make<Class>();
    com_ptr<IConnectionPointContainer> container;
    ASSERT_EQ(
        unknown_of(object)->QueryInterface(IConnectionPointContainer::iid, container.put_void()),
        S_OK);

    com_ptr<IConnectionPoint> wrong;
    EXPECT_EQ(container->FindConnectionPoint(Other::iid, wrong.put()), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(wrong, nullptr);

    com_ptr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(Events::iid, point.put()), S_OK);
    IID iid{};
    ASSERT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, Events::iid);

    com_ptr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.put()), S_OK);
    IConnectionPoint* listed[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(2, listed, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(listed[0], point.get());
    listed[0]->Release();

    // The object itself is no sink of its own events.
    DWORD cookie = 99;
    EXPECT_EQ(point->Advise(unknown_of(object), &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);

    auto sink = ambivox::make<EventSink<Events>>();
    auto other = ambivox::make<EventSink<Events>>();
    ASSERT_EQ(point->Advise(sink->controlling_unknown(), &cookie), S_OK);
    EXPECT_EQ(cookie, 1u);
    ASSERT_EQ(point->Advise(other->controlling_unknown(), &cookie), S_OK);
    EXPECT_EQ(cookie, 2u);
    EXPECT_EQ(point->Unadvise(1), S_OK);
    EXPECT_EQ(point->Unadvise(1), CONNECT_E_NOCONNECTION);
    // Cookie 2 stays advised: the object lets go of that sink when it goes.
}

TEST_F(ReadingsIdentity, DataPointAndProbeHaveOneConnectionPointEach) {
    expect_one_connection_point<CDataPoint, _IDataPointEvents, _IProbeEvents>();
    expect_one_connection_point<CProbe, _IProbeEvents, _IDataPointEvents>();
}

template <class Class, class Itf>
void expect_aggregatable() {
    CountingOuter outer;
    {
        com_ptr<IUnknown> inner;
        ASSERT_EQ(Class::create_instance(&outer, IUnknown::iid, inner.put_void()), S_OK);
        ASSERT_NE(inner, nullptr);
        com_ptr<Itf> itf;
        ASSERT_EQ(inner->QueryInterface(Itf::iid, itf.put_void()), S_OK);
        EXPECT_EQ(outer.refs, 2u) << "the interface's reference belongs to the outer object";
        // Through the interface every identity question goes to the outer object.
        com_ptr<IUnknown> identity;
        ASSERT_EQ(itf->QueryInterface(IUnknown::iid, identity.put_void()), S_OK);
        EXPECT_EQ(identity.get(), &outer);
    }
    EXPECT_EQ(outer.refs, 1u);

    void* refused = reinterpret_cast<void*>(1);
    EXPECT_EQ(Class::create_instance(&outer, Itf::iid, &refused), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(refused, nullptr);

    com_ptr<Itf> alone;
    ASSERT_EQ(Class::create_instance(nullptr, Itf::iid, alone.put_void()), S_OK);
    EXPECT_NE(alone, nullptr);
}

TEST_F(ReadingsIdentity, EachClassCanBeAggregated) {
    expect_aggregatable<CDataPoint, IDataPoint>();
    expect_aggregatable<CProbe, IProbe>();
    expect_aggregatable<CProbeCollection, IProbeCollection>();
}

}  // namespace
