// DeviceReader: one poll of one device, as a client of the registered module. The device object
// is created through the runtime, polled, read into a DeviceReport and released, all on the
// calling thread, which initialises the runtime (its own apartment) for the length of the call.
#pragma once

#include <string>

#include "tools/ambivox/DeviceReport.h"
#include "tools/ambivox/DeviceTarget.h"

namespace ambivox::cli {

class DeviceReader {
public:
    // `unit` "C" or "F" asks every temperature reading in that scale, converted by the reading
    // itself (its Unit property); empty leaves each reading in the unit the device gave.
    static DeviceReport read(DeviceTarget const& target, std::string const& unit = {}) noexcept;
};

}  // namespace ambivox::cli
