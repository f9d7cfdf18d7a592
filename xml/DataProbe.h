// DataProbe: one probe's current value as a data document gives it.
#pragma once

#include <map>
#include <memory>
#include <string>

namespace ambivox {

struct DataProbe {
    std::u16string id;     // `id` attribute of Probe
    std::u16string value;  // text of Value, unconverted; empty when the probe has none
};

// Probes by id, ordered by code unit ("10" before "2").
using DataProbeMap = std::map<std::u16string, std::unique_ptr<DataProbe>>;

}  // namespace ambivox
