// ConfigProbe: one probe as a configuration document describes it.
#pragma once

#include <string>

#include "xml/RecordMap.h"

namespace ambivox {

struct ConfigProbe {
    std::u16string id;     // `id` attribute of Probe
    std::u16string hint;   // `hint` attribute of Probe; empty when absent
    std::u16string type;   // `type` attribute of Probe, e.g. "Temperature"
    std::u16string name;   // text of Name inside the probe
    std::u16string units;  // text of Units inside the probe, e.g. "F"
    std::u16string group;  // id of the last Group started before the probe; "0" before any
};

// Probes by id, ordered by code unit ("10" before "2").
using ConfigProbeMap = RecordMap<ConfigProbe>;

}  // namespace ambivox
