#include "tools/ambivox/TemporaryPortMap.h"

#include "tools/ambivox/SerialPortMap.h"

namespace ambivox::cli {

TemporaryPortMap::TemporaryPortMap(std::vector<DeviceTarget>& targets) {
    try {
        for (DeviceTarget& target : targets) {
            if (target.path.empty()) continue;
            target.com = 0;
            for (PortMapping const& mapping : SerialPortMap::list())
                if (mapping.device == target.path) target.com = mapping.com;
            if (target.com != 0) continue;
            target.com = SerialPortMap::first_free();
            SerialPortMap::map(target.com, target.path);
            m_added.push_back(target.com);
        }
    } catch (...) {
        remove();
        throw;
    }
}

void TemporaryPortMap::remove() noexcept {
    for (int const com : m_added) {
        try {
            SerialPortMap::unmap(com);
        } catch (...) {
            // A store gone bad meanwhile keeps the entry; nothing better can be done on the way
            // out, and 'ambivox ports' shows it.
        }
    }
    m_added.clear();
}

}  // namespace ambivox::cli
