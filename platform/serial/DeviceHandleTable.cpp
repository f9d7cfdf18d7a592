#include "platform/serial/DeviceHandleTable.h"

#include "platform/serial/SerialDevice.h"

namespace ambivox {

namespace {

// Handle values: multiples of 4 from here, well away from null and INVALID_HANDLE_VALUE.
constexpr std::uintptr_t first_handle = 0x1000;
constexpr std::uintptr_t handle_step = 4;
constexpr std::uintptr_t last_handle = 0x7FFFFFF0;

}  // namespace

DeviceHandleTable& DeviceHandleTable::instance() {
    static auto* table = new DeviceHandleTable;
    return *table;
}

HANDLE DeviceHandleTable::add(object item) {
    std::lock_guard lock(m_mutex);
    if (m_objects.size() >= capacity) return nullptr;
    // With the table below capacity a free value turns up within capacity + 1 steps.
    do {
        m_last =
            m_last < first_handle || m_last >= last_handle ? first_handle : m_last + handle_step;
    } while (m_objects.count(m_last) != 0);
    m_objects.emplace(m_last, std::move(item));
    return reinterpret_cast<HANDLE>(m_last);
}

std::shared_ptr<SerialDevice> DeviceHandleTable::device(HANDLE handle) const noexcept {
    std::lock_guard lock(m_mutex);
    auto const found = m_objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == m_objects.end()) return nullptr;
    auto const* port = std::get_if<std::shared_ptr<SerialDevice>>(&found->second);
    return port != nullptr ? *port : nullptr;
}

bool DeviceHandleTable::remove(HANDLE handle) noexcept {
    decltype(m_objects)::node_type taken;
    {
        std::lock_guard lock(m_mutex);
        taken = m_objects.extract(reinterpret_cast<std::uintptr_t>(handle));
    }
    // `taken` is destroyed here, outside the lock: closing a port calls into the kernel.
    return !taken.empty();
}

std::size_t DeviceHandleTable::size() const noexcept {
    std::lock_guard lock(m_mutex);
    return m_objects.size();
}

}  // namespace ambivox
