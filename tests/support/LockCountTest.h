// Fixture for tests of objects served by the test program: whatever a test creates, the module's
// lock count must be back where it started when the test ends.
#pragma once

#include <gtest/gtest.h>

#include "platform/com/ModuleLock.h"

namespace ambivox::testing {

class LockCountTest : public ::testing::Test {
protected:
    void SetUp() override { m_startLocks = this_module().GetLockCount(); }
    void TearDown() override {
        EXPECT_EQ(this_module().GetLockCount(), m_startLocks)
            << "an object or lock of the test module outlived its test";
    }

    LONG locks_now() const noexcept { return this_module().GetLockCount() - m_startLocks; }

private:
    LONG m_startLocks = 0;
};

}  // namespace ambivox::testing
