#include <gtest/gtest.h>

#include <vector>

#include "platform/automation/ConnectionPointContainer.h"
#include "platform/com/Implements.h"
#include "tests/support/CountingOuter.h"
#include "tests/support/CountingSink.h"
#include "tests/support/LifeTracker.h"
#include "tests/support/LockCountTest.h"
#include "tests/support/RefCount.h"
#include "tests/support/TestInterfaces.h"

namespace {

using ambivox::com_ptr;
using ambivox::testing::CountingOuter;
using ambivox::testing::CountingSink;
using ambivox::testing::LifeTracker;
using ambivox::testing::ref_count;

class Source : public ambivox::implements<Source, ITestBase,
                                          ambivox::connection_point_container<ITestEvents::iid>> {
public:
    HRESULT GetValue(LONG* value) noexcept override {
        *value = 1;
        return S_OK;
    }
};

// Answers ITestOther only, so it cannot receive ITestEvents.
class Deaf : public ambivox::implements<Deaf, ITestOther> {
public:
    HRESULT GetName(BSTR* name) noexcept override {
        *name = nullptr;
        return S_OK;
    }
};

class ConnectionPoints : public ambivox::testing::LockCountTest {
protected:
    void SetUp() override {
        LockCountTest::SetUp();
        auto source = ambivox::make<Source>();
        container = source.as<IConnectionPointContainer>();
        ASSERT_EQ(container->FindConnectionPoint(ITestEvents::iid, point.put()), S_OK);
    }
    void TearDown() override {
        point = nullptr;
        container = nullptr;
        EXPECT_EQ(tracker.alive(), 0) << "a sink outlived its container";
        LockCountTest::TearDown();
    }

    com_ptr<CountingSink> new_sink() { return ambivox::make<CountingSink>(&tracker); }

    DWORD advise(IUnknown* sink) {
        DWORD cookie = 0;
        EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
        return cookie;
    }
    DWORD advise_new() { return advise(static_cast<ITestEvents*>(new_sink().get())); }

    // Every connection the point reports now, as (cookie, sink) pairs; the references the
    // enumerator handed out are given back.
    std::vector<DWORD> cookies() {
        com_ptr<IEnumConnections> e;
        EXPECT_EQ(point->EnumConnections(e.put()), S_OK);
        std::vector<DWORD> result;
        CONNECTDATA data[4];
        ULONG fetched = 0;
        while (SUCCEEDED(e->Next(4, data, &fetched)) && fetched > 0)
            for (ULONG i = 0; i < fetched; ++i) {
                result.push_back(data[i].dwCookie);
                data[i].pUnk->Release();
            }
        return result;
    }

    LifeTracker tracker;
    com_ptr<IConnectionPointContainer> container;
    com_ptr<IConnectionPoint> point;
};

TEST_F(ConnectionPoints, FindsOnlyTheEventsPoint) {
    IConnectionPoint* other = reinterpret_cast<IConnectionPoint*>(0x1);
    EXPECT_EQ(container->FindConnectionPoint(ITestBase::iid, &other), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(container->FindConnectionPoint(IID_IConnectionPoint, &other), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(container->FindConnectionPoint(ITestEvents::iid, nullptr), E_POINTER);

    com_ptr<IConnectionPoint> again;
    ASSERT_EQ(container->FindConnectionPoint(ITestEvents::iid, again.put()), S_OK);
    EXPECT_EQ(again.get(), point.get()) << "one container, one point";

    IID events{};
    EXPECT_EQ(point->GetConnectionInterface(&events), S_OK);
    EXPECT_EQ(events, ITestEvents::iid);
    EXPECT_EQ(point->GetConnectionInterface(nullptr), E_POINTER);
}

TEST_F(ConnectionPoints, ThePointBelongsToItsContainer) {
    com_ptr<IConnectionPointContainer> back;
    ASSERT_EQ(point->GetConnectionPointContainer(back.put()), S_OK);
    EXPECT_EQ(back.get(), container.get());
    EXPECT_EQ(point->GetConnectionPointContainer(nullptr), E_POINTER);
    back = nullptr;

    // The point's count is the container's.
    ULONG const before = ref_count(container.get());
    point->AddRef();
    EXPECT_EQ(ref_count(container.get()), before + 1);
    point->Release();
    EXPECT_EQ(ref_count(container.get()), before);

    // So holding only the point keeps the whole object alive.
    container = nullptr;
    EXPECT_EQ(locks_now(), 1);
    ASSERT_EQ(point->GetConnectionPointContainer(container.put()), S_OK);
    EXPECT_TRUE(container.try_as<ITestBase>());

    EXPECT_TRUE(point.try_as<IConnectionPoint>());
    EXPECT_FALSE(point.try_as<IConnectionPointContainer>());
    EXPECT_FALSE(point.try_as<ITestEvents>());
}

TEST_F(ConnectionPoints, EnumeratesExactlyOnePoint) {
    com_ptr<IEnumConnectionPoints> e;
    ASSERT_EQ(container->EnumConnectionPoints(e.put()), S_OK);
    EXPECT_EQ(container->EnumConnectionPoints(nullptr), E_POINTER);
    IConnectionPoint* points[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(e->Next(3, points, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(points[0], point.get());
    points[0]->Release();
    EXPECT_EQ(e->Next(1, points, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    // The enumerator keeps the container alive through the point it holds.
    container = nullptr;
    point = nullptr;
    ASSERT_EQ(e->Reset(), S_OK);
    ASSERT_EQ(e->Next(1, points, nullptr), S_OK);
    IID events{};
    EXPECT_EQ(points[0]->GetConnectionInterface(&events), S_OK);
    EXPECT_EQ(events, ITestEvents::iid);
    points[0]->Release();
}

TEST_F(ConnectionPoints, AdviseChecksItsArguments) {
    DWORD cookie = 77;
    EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
    EXPECT_EQ(cookie, 0u);
    auto sink = new_sink();
    IUnknown* const sinkUnknown = static_cast<ITestEvents*>(sink.get());
    EXPECT_EQ(point->Advise(sinkUnknown, nullptr), E_POINTER);
    EXPECT_EQ(ref_count(sinkUnknown), 1u);

    auto deaf = ambivox::make<Deaf>();
    IUnknown* const deafUnknown = static_cast<ITestOther*>(deaf.get());
    cookie = 77;
    EXPECT_EQ(point->Advise(deafUnknown, &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(ref_count(deafUnknown), 1u) << "a refused sink is not kept";
    EXPECT_TRUE(cookies().empty());
}

TEST_F(ConnectionPoints, CookiesAreSlotsThatDoubleAndReuseTheLowestFree) {
    for (DWORD expected = 1; expected <= 9; ++expected)
        EXPECT_EQ(advise_new(), expected);
    EXPECT_EQ(tracker.alive(), 9) << "the point keeps every sink it accepted";

    EXPECT_EQ(point->Unadvise(2), S_OK);
    EXPECT_EQ(point->Unadvise(5), S_OK);
    EXPECT_EQ(tracker.alive(), 7) << "Unadvise releases the sink";
    EXPECT_EQ(advise_new(), 2u);
    EXPECT_EQ(advise_new(), 5u);
    EXPECT_EQ(advise_new(), 10u);
    EXPECT_EQ((cookies()), (std::vector<DWORD>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST_F(ConnectionPoints, UnadviseRefusesCookiesThatNameNoSink) {
    EXPECT_EQ(point->Unadvise(1), CONNECT_E_NOCONNECTION) << "no slots yet";
    DWORD const cookie = advise_new();
    EXPECT_EQ(point->Unadvise(0), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(3), CONNECT_E_NOCONNECTION) << "an empty slot";
    EXPECT_EQ(point->Unadvise(5), CONNECT_E_NOCONNECTION) << "beyond the slots";
    EXPECT_EQ(point->Unadvise(0xFFFFFFFFu), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION) << "already freed";
}

TEST_F(ConnectionPoints, AdviseKeepsTheEventsInterface) {
    auto sink = new_sink();
    DWORD const cookie = advise(static_cast<ITestEvents*>(sink.get()));
    com_ptr<IEnumConnections> e;
    ASSERT_EQ(point->EnumConnections(e.put()), S_OK);
    CONNECTDATA data{};
    ASSERT_EQ(e->Next(1, &data, nullptr), S_OK);
    EXPECT_EQ(data.dwCookie, cookie);
    // The reference kept is one a caller can fire events through.
    EXPECT_EQ(static_cast<ITestEvents*>(static_cast<void*>(data.pUnk)),
              static_cast<ITestEvents*>(sink.get()));
    EXPECT_EQ(static_cast<ITestEvents*>(static_cast<void*>(data.pUnk))->OnChanged(12), S_OK);
    EXPECT_EQ(sink->calls, 1);
    EXPECT_EQ(sink->last, 12);
    data.pUnk->Release();
}

TEST_F(ConnectionPoints, EnumConnectionsIsASnapshotThatHoldsItsSinks) {
    advise_new();
    DWORD const second = advise_new();
    advise_new();
    com_ptr<IEnumConnections> e;
    ASSERT_EQ(point->EnumConnections(e.put()), S_OK);
    EXPECT_EQ(point->EnumConnections(nullptr), E_POINTER);

    ASSERT_EQ(point->Unadvise(second), S_OK);
    EXPECT_EQ(tracker.alive(), 3) << "the snapshot still holds the unadvised sink";

    CONNECTDATA data[5] = {};
    ULONG fetched = 0;
    ASSERT_EQ(e->Next(5, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 3u);
    EXPECT_EQ(data[0].dwCookie, 1u);
    EXPECT_EQ(data[1].dwCookie, 2u);
    EXPECT_EQ(data[2].dwCookie, 3u);
    for (ULONG i = 0; i < fetched; ++i) {
        ASSERT_NE(data[i].pUnk, nullptr);
        data[i].pUnk->Release();
    }
    e = nullptr;
    EXPECT_EQ(tracker.alive(), 2) << "the last reference to the unadvised sink went with it";
    EXPECT_EQ((cookies()), (std::vector<DWORD>{1, 3}));
}

TEST_F(ConnectionPoints, DestroyingTheContainerReleasesItsSinks) {
    advise_new();
    advise_new();
    EXPECT_EQ(tracker.alive(), 2);
    point = nullptr;
    container = nullptr;
    EXPECT_EQ(tracker.destroyed, 2);
}

TEST_F(ConnectionPoints, AggregatedContainerCountsThroughTheOuterObject) {
    CountingOuter outer;
    void* out = nullptr;
    ASSERT_EQ(Source::create_instance(&outer, IUnknown::iid, &out), S_OK);
    auto* inner = static_cast<IUnknown*>(out);
    outer.inner = inner;

    void* found = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IConnectionPointContainer, &found), S_OK);
    auto* aggregated = static_cast<IConnectionPointContainer*>(found);
    IConnectionPoint* innerPoint = nullptr;
    ASSERT_EQ(aggregated->FindConnectionPoint(ITestEvents::iid, &innerPoint), S_OK);
    int const addRefs = outer.addRefs;
    innerPoint->AddRef();
    EXPECT_EQ(outer.addRefs, addRefs + 1) << "the point counts on the controlling object";
    innerPoint->Release();
    innerPoint->Release();
    aggregated->Release();
    EXPECT_EQ(outer.addRefs, outer.releases);

    outer.inner = nullptr;
    EXPECT_EQ(inner->Release(), 0u);
}

}  // namespace
