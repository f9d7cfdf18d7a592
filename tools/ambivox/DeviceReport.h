// DeviceReport: what one poll of one device gave, in plain values the writers print.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/Types.h"
#include "tools/ambivox/DeviceTarget.h"

namespace ambivox::cli {

struct ProbeReport {
    int number = 0;
    long group = 0;
    std::string name;
    std::string type;
    bool has_reading = false;  // false: the probe holds no data point yet
    double value = 0;
    std::string unit;
    std::int64_t utc = 0;  // seconds since 1970 UTC

    // The devices store -999.99 (and -99.99) for a value they could not read.
    bool valid() const noexcept { return has_reading && value != -999.99 && value != -99.99; }
};

struct DeviceReport {
    DeviceTarget target;
    HRESULT hr = 0;
    bool setup_failure = false;  // the device object could not even be created
    std::string failure;         // what went wrong, in plain words; empty on success
    std::string name;            // the device's name after the poll
    std::string model;           // Model N: the model the client set ("not set" when none)
    std::string serial;          // Model N only
    std::string battery;         // Model Q only
    std::vector<ProbeReport> probes;

    bool ok() const noexcept { return failure.empty(); }
    // "NAME (LABEL)" when the device has a name, else its label.
    std::string title() const {
        return name.empty() ? target.label() : name + " (" + target.label() + ")";
    }
};

}  // namespace ambivox::cli
