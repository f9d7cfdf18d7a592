// ProbeNameObserver: what a holder of probes implements to hear of their renames, so that an
// index it keeps by name stays right however the probes are renamed.
#pragma once

#include <string_view>

#include "ambivox/AmbivoxSDK.h"

namespace ambivox {

class ProbeNameObserver {
public:
    // probe is the renamed probe's IProbe; called after the rename took effect.
    virtual void probe_renamed(IProbe* probe, std::u16string_view previous,
                               std::u16string_view current) noexcept = 0;

protected:
    ~ProbeNameObserver() = default;
};

}  // namespace ambivox
