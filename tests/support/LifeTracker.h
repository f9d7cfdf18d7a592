// Counts constructions and destructions of test objects so a test can tell whether an object
// was made at all and whether it is gone.
#pragma once

namespace ambivox::testing {

struct LifeTracker {
    int constructed = 0;
    int destroyed = 0;

    int alive() const noexcept { return constructed - destroyed; }
};

}  // namespace ambivox::testing
