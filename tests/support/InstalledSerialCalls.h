// InstalledSerialCalls: puts a SerialIoctl subclass in place for the guard's lifetime, so a test
// can make one kernel call fail or stand in for a UART, and puts the previous one back after.
#pragma once

#include "platform/serial/SerialIoctl.h"

namespace ambivox::testing {

class InstalledSerialCalls {
public:
    explicit InstalledSerialCalls(SerialIoctl& calls) noexcept
        : previous_(SerialIoctl::install(&calls)) {}
    ~InstalledSerialCalls() { SerialIoctl::install(previous_); }
    InstalledSerialCalls(InstalledSerialCalls const&) = delete;
    InstalledSerialCalls& operator=(InstalledSerialCalls const&) = delete;

private:
    SerialIoctl* previous_;
};

}  // namespace ambivox::testing
