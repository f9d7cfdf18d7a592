// DataProbe: one probe's current value as a data document gives it.
#pragma once

#include <string>

#include "xml/RecordMap.h"

namespace ambivox {

struct DataProbe {
    std::u16string id;     // `id` attribute of Probe
    std::u16string value;  // text of Value, unconverted; empty when the probe has none
    // The Value's text came in several pieces (markup inside it, such as an element or a
    // processing instruction), of which value holds only the last: no reading, whatever it says.
    bool value_in_pieces = false;
};

// Probes by id, ordered by code unit ("10" before "2").
using DataProbeMap = RecordMap<DataProbe>;

}  // namespace ambivox
