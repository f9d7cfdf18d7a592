#include "tools/ambivox/TemporaryPortMap.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>

#include "platform/registry/Registry.h"
#include "tools/ambivox/SerialPortMap.h"

namespace ambivox::cli {

namespace {

// Two programs started together would both find the same number free and map their devices to
// it, and one of them would then poll the other's device. An exclusive lock beside the store
// makes finding a free number and mapping it one step among the programs that map for a run.
// Without a lock file (a store folder nobody may write to) mapping fails anyway, with its cause.
class PortAllocationLock {
public:
    PortAllocationLock()
        : m_fd(::open((registry_path() + ".ports.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC,
                      0600)) {
        if (m_fd >= 0)
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~PortAllocationLock() {
        if (m_fd >= 0) ::close(m_fd);
    }
    PortAllocationLock(PortAllocationLock const&) = delete;
    PortAllocationLock& operator=(PortAllocationLock const&) = delete;

private:
    int m_fd;
};

}  // namespace

TemporaryPortMap::TemporaryPortMap(std::vector<DeviceTarget>& targets) {
    try {
        std::optional<PortAllocationLock> lock;
        for (DeviceTarget& target : targets) {
            if (target.path.empty()) continue;
            if (!lock) lock.emplace();
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
