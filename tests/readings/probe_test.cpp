#include <gtest/gtest.h>

#include <string>

#include "platform/automation/UniqueBstr.h"
#include "platform/automation/UniqueVariant.h"
#include "readings/CDataPoint.h"
#include "readings/CProbe.h"
#include "tests/support/CountingOuter.h"
#include "tests/support/LockCountTest.h"
#include "tests/support/RefCount.h"

namespace {

using ambivox::CDataPoint;
using ambivox::com_ptr;
using ambivox::CProbe;
using ambivox::unique_bstr;
using ambivox::unique_variant;
using ambivox::testing::CountingOuter;
using ambivox::testing::ref_count;

template <class T>
ULONG refs(com_ptr<T> const& object) {
    return ref_count(object->controlling_unknown());
}

class ProbeTest : public ambivox::testing::LockCountTest {
protected:
    void SetUp() override {
        LockCountTest::SetUp();
        probe = ambivox::make<CProbe>();
    }
    void TearDown() override {
        probe = nullptr;
        LockCountTest::TearDown();
    }

    HRESULT set_name(std::u16string_view name) {
        unique_bstr text(name);
        return probe->put_Name(text.get());
    }
    std::u16string name() {
        unique_bstr text;
        EXPECT_EQ(probe->get_Name(text.put()), S_OK);
        return text.str();
    }
    HRESULT set_type(std::u16string_view type) {
        unique_bstr text(type);
        return probe->put_Type(text.get());
    }
    std::u16string type() {
        unique_bstr text;
        EXPECT_EQ(probe->get_Type(text.put()), S_OK);
        return text.str();
    }
    com_ptr<IDataPoint> most_recent() {
        com_ptr<IDataPoint> result;
        EXPECT_EQ(probe->get_MostRecentDataPoint(result.put()), S_OK);
        return result;
    }
    static IDataPoint* as_point(com_ptr<CDataPoint> const& point) { return point.get(); }

    com_ptr<CProbe> probe;
};

TEST_F(ProbeTest, NewProbe) {
    EXPECT_EQ(name(), u"default");
    EXPECT_EQ(type(), u"not set");
    SHORT number = 0;
    EXPECT_EQ(probe->get_Number(&number), S_OK);
    EXPECT_EQ(number, -1);
    LONG group = 0;
    EXPECT_EQ(probe->get_Group(&group), S_OK);
    EXPECT_EQ(group, -1);
    IDataPoint* none = nullptr;
    EXPECT_EQ(probe->get_MostRecentDataPoint(&none), E_OUTOFMEMORY);
    EXPECT_EQ(none, nullptr);
}

TEST_F(ProbeTest, NullOutPointers) {
    EXPECT_EQ(probe->get_Name(nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(probe->get_Type(nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(probe->get_Number(nullptr), E_OUTOFMEMORY);
    EXPECT_EQ(probe->get_Group(nullptr), E_INVALIDARG);
    EXPECT_EQ(probe->get_MostRecentDataPoint(nullptr), E_OUTOFMEMORY);
    ASSERT_EQ(probe->Poll(ambivox::make<CDataPoint>().get()), S_OK);
    EXPECT_EQ(probe->get_MostRecentDataPoint(nullptr), E_OUTOFMEMORY);
}

TEST_F(ProbeTest, NameRules) {
    EXPECT_EQ(set_name(u"0123456789abcdef"), S_OK);
    EXPECT_EQ(name(), u"0123456789abcdef");
    EXPECT_EQ(set_name(u"0123456789abcdefg"), E_INVALIDARG);
    EXPECT_EQ(set_name(u""), E_INVALIDARG);
    EXPECT_EQ(probe->put_Name(nullptr), E_INVALIDARG);
    EXPECT_EQ(name(), u"0123456789abcdef");

    EXPECT_EQ(set_name(u"Probe 1"), S_OK);
    EXPECT_EQ(set_name(u"Probe 1"), E_INVALIDARG);
    EXPECT_EQ(name(), u"Probe 1");
    EXPECT_EQ(set_name(u"probe 1"), S_OK);  // a case change is a change
    // The limit counts UTF-16 code units, so a name of 8 surrogate pairs still fits.
    EXPECT_EQ(set_name(u"\U0001F321\U0001F321\U0001F321\U0001F321\U0001F321\U0001F321"
                       u"\U0001F321\U0001F321"),
              S_OK);
    EXPECT_EQ(set_name(u"x\U0001F321\U0001F321\U0001F321\U0001F321\U0001F321\U0001F321"
                       u"\U0001F321\U0001F321"),
              E_INVALIDARG);
}

TEST_F(ProbeTest, TypeMustBeAPieceOfTheTypeList) {
    for (std::u16string_view accepted : {u"Humidity", u"Temp", u"Humidity Wetness", u"Switch",
                                         u"Temperature Humidity Wetness Switch", u"e", u" "}) {
        EXPECT_EQ(set_type(accepted), S_OK) << std::string(accepted.begin(), accepted.end());
        EXPECT_EQ(type(), accepted);
    }
    ASSERT_EQ(set_type(u"Temperature"), S_OK);
    for (std::u16string_view refused :
         {u"humidity", u"not set", u"Pressure", u"", u"Temperature", u"Switch "}) {
        EXPECT_EQ(set_type(refused), E_INVALIDARG) << std::string(refused.begin(), refused.end());
        EXPECT_EQ(type(), u"Temperature");
    }
    EXPECT_EQ(probe->put_Type(nullptr), E_INVALIDARG);
}

TEST_F(ProbeTest, NumberAndGroupTakeAnyValue) {
    for (SHORT value : {SHORT{0}, SHORT{-7}, SHORT{32767}, SHORT{-32768}}) {
        EXPECT_EQ(probe->put_Number(value), S_OK);
        SHORT back = 1;
        EXPECT_EQ(probe->get_Number(&back), S_OK);
        EXPECT_EQ(back, value);
    }
    for (LONG value : {LONG{0}, LONG{-5}, LONG{2147483647}}) {
        EXPECT_EQ(probe->put_Group(value), S_OK);
        LONG back = 1;
        EXPECT_EQ(probe->get_Group(&back), S_OK);
        EXPECT_EQ(back, value);
    }
}

TEST_F(ProbeTest, PollKeepsTheCallersObject) {
    auto point = ambivox::make<CDataPoint>();
    ASSERT_EQ(probe->Poll(point.get()), S_OK);
    EXPECT_EQ(refs(point), 2u);

    com_ptr<IDataPoint> kept = most_recent();
    EXPECT_EQ(kept.get(), as_point(point));
    kept = nullptr;

    ASSERT_EQ(point->put_Value(unique_variant::from(19.5).get()), S_OK);
    unique_variant seen;
    ASSERT_EQ(most_recent()->get_Value(seen.put()), S_OK);
    EXPECT_EQ(seen->dblVal, 19.5);

    // Only the latest reading is kept: the previous one is let go.
    auto next = ambivox::make<CDataPoint>();
    ASSERT_EQ(probe->Poll(next.get()), S_OK);
    EXPECT_EQ(refs(point), 1u);
    EXPECT_EQ(most_recent().get(), as_point(next));
}

TEST_F(ProbeTest, PollWithSomethingElseLeavesNoReading) {
    auto point = ambivox::make<CDataPoint>();
    ASSERT_EQ(probe->Poll(point.get()), S_OK);

    // A data point aggregated into an object that denies being one.
    CountingOuter outer;
    com_ptr<IUnknown> inner;
    ASSERT_EQ(CDataPoint::create_instance(&outer, IUnknown::iid, inner.put_void()), S_OK);
    IDataPoint* impostor = nullptr;
    ASSERT_EQ(inner->QueryInterface(IDataPoint::iid, reinterpret_cast<void**>(&impostor)), S_OK);

    EXPECT_EQ(probe->Poll(impostor), E_NOINTERFACE);
    EXPECT_EQ(refs(point), 1u);
    IDataPoint* none = nullptr;
    EXPECT_EQ(probe->get_MostRecentDataPoint(&none), E_OUTOFMEMORY);

    impostor->Release();
    EXPECT_EQ(outer.refs, 1u) << "the probe kept a reference to the impostor";
}

TEST_F(ProbeTest, PollWithNullForgetsTheReading) {
    auto point = ambivox::make<CDataPoint>();
    ASSERT_EQ(probe->Poll(point.get()), S_OK);
    EXPECT_EQ(probe->Poll(nullptr), E_POINTER);
    EXPECT_EQ(refs(point), 1u);
    IDataPoint* none = nullptr;
    EXPECT_EQ(probe->get_MostRecentDataPoint(&none), E_OUTOFMEMORY);
}

TEST_F(ProbeTest, TheReadingLivesAsLongAsTheProbe) {
    {
        auto point = ambivox::make<CDataPoint>();
        ASSERT_EQ(probe->Poll(point.get()), S_OK);
    }
    EXPECT_EQ(locks_now(), 2);  // the probe and its reading
    probe = nullptr;
    EXPECT_EQ(locks_now(), 0);
}

}  // namespace
