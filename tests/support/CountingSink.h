// An event sink for connection point tests: answers ITestEvents, counts the events it receives
// and reports its destruction to a tracker.
#pragma once

#include "platform/com/Implements.h"
#include "tests/support/LifeTracker.h"
#include "tests/support/TestInterfaces.h"

namespace ambivox::testing {

class CountingSink : public implements<CountingSink, ITestEvents> {
public:
    explicit CountingSink(LifeTracker* tracker = nullptr) noexcept : m_tracker(tracker) {
        if (m_tracker != nullptr) ++m_tracker->constructed;
    }

    HRESULT OnChanged(LONG value) noexcept override {
        ++calls;
        last = value;
        return S_OK;
    }

    int calls = 0;
    LONG last = 0;

protected:
    ~CountingSink() override {
        if (m_tracker != nullptr) ++m_tracker->destroyed;
    }

private:
    LifeTracker* m_tracker;
};

}  // namespace ambivox::testing
