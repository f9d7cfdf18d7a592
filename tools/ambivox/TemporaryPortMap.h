// TemporaryPortMap: serial devices given by their path (modelq /dev/ttyUSB0) reach the module as
// COM numbers, through the registry's port map, for as long as the run lasts and no longer.
#pragma once

#include <vector>

#include "tools/ambivox/DeviceTarget.h"

namespace ambivox::cli {

class TemporaryPortMap {
public:
    // Gives every Model Q target named by a device path a COM number: the one the registry maps
    // to that path already, else the lowest free one, which is mapped until remove(). Raises
    // RegistryError, having removed what it added.
    explicit TemporaryPortMap(std::vector<DeviceTarget>& targets);
    ~TemporaryPortMap() { remove(); }
    TemporaryPortMap(TemporaryPortMap const&) = delete;
    TemporaryPortMap& operator=(TemporaryPortMap const&) = delete;

    // Removes the mappings this object added; safe to call again.
    void remove() noexcept;

private:
    std::vector<int> m_added;
};

}  // namespace ambivox::cli
