// ConfigUnit: one device unit (one root element) as a configuration document describes it.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "xml/ConfigProbe.h"
#include "xml/RecordMap.h"

namespace ambivox {

struct ConfigUnit {
    ConfigProbeMap probes;                 // the unit's completed probes, owned
    std::u16string id;                     // `id` attribute of the root; empty when absent
    std::u16string name;                   // text of the unit's Name
    std::u16string model;                  // text of Model
    std::u16string firmware_version;       // text of Firmware_Version
    std::u16string firmware_release_date;  // text of Firmware_Release_Date
};

// Units by id, ordered by code unit ("10" before "2").
using ConfigUnitMap = std::map<std::u16string, std::unique_ptr<ConfigUnit>>;

}  // namespace ambivox
