// DeviceReport: what one poll of one device gave, in plain values the writers print.
#pragma once

#include <cstdint>
#include <optional>
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
    bool no_reading = false;   // the value is the readings' mark for a probe that did not answer
    double value = 0;          // as the device stored it, the no-reading mark included
    std::string unit;
    std::int64_t utc = 0;  // seconds since 1970 UTC
    // A valid temperature in degrees Celsius, as the data point converted it; unset for other
    // probes and for a temperature whose scale the device did not say.
    std::optional<double> celsius;

    bool valid() const noexcept { return has_reading && !no_reading; }
};

struct DeviceReport {
    DeviceTarget target;
    HRESULT hr = 0;
    bool setup_failure = false;  // the device object could not even be created
    std::string failure;         // what went wrong, in plain words; empty on success
    bool device_said = false;    // failure is the device's own description of the cause
    std::string name;            // the device's name after the poll
    std::string model;           // Model N: the model the client set; empty when none
    std::string serial;          // Model N only; empty when the device did not give it
    std::string firmware;        // Model N only: version and release date as the device gave
    std::string firmware_date;   // them; empty when it did not
    std::string battery;         // Model Q only
    std::vector<ProbeReport> probes;

    bool ok() const noexcept { return failure.empty(); }
    // "NAME (LABEL)" when the device has a name, else its label.
    std::string title() const {
        return name.empty() ? target.label() : name + " (" + target.label() + ")";
    }
};

}  // namespace ambivox::cli
