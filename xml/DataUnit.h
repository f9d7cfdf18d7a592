// DataUnit: one device unit (one root element) of a data document.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "xml/DataProbe.h"
#include "xml/RecordMap.h"

namespace ambivox {

struct DataUnit {
    DataProbeMap probes;            // the unit's completed probes, owned, whatever their group
    std::u16string id;              // `id` attribute of the root; empty when absent
    std::u16string battery_status;  // text of BatteryStatus; empty when the document has none
};

// Units by id, ordered by code unit ("10" before "2").
using DataUnitMap = std::map<std::u16string, std::unique_ptr<DataUnit>>;

}  // namespace ambivox
