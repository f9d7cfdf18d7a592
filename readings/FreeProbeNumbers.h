// FreeProbeNumbers: the positive probe numbers a collection has not given out, kept as runs so
// that the lowest of them, taking one and giving one back all cost a logarithm of the number of
// gaps, however a client numbered its probes.
#pragma once

#include <map>

#include "platform/base/Types.h"

namespace ambivox {

class FreeProbeNumbers {
public:
    FreeProbeNumbers();

    // The lowest free number from 1 up; 0 when every positive number is taken.
    SHORT lowest() const noexcept;
    // Numbers below 1 are not kept and change nothing. The three raise std::bad_alloc; reset
    // leaves the numbers as they were when it does.
    void take(SHORT number);
    void give_back(SHORT number);
    void reset();

private:
    // First number of each free run to its last.
    std::map<SHORT, SHORT> m_runs;
};

}  // namespace ambivox
