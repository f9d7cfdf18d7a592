#include "platform/serial/DeviceHandleTable.h"

#include "platform/serial/SerialDevice.h"

namespace ambivox {

namespace {

// Handle values: multiples of 4 from here, well away from null and INVALID_HANDLE_VALUE.
constexpr std::uintptr_t kFirst = 0x1000;
constexpr std::uintptr_t kStep = 4;
constexpr std::uintptr_t kLast = 0x7FFFFFF0;

}  // namespace

DeviceHandleTable& DeviceHandleTable::instance() {
    static auto* table = new DeviceHandleTable;
    return *table;
}

HANDLE DeviceHandleTable::add(object item) {
    std::lock_guard lock(mutex_);
    if (objects_.size() >= capacity) return nullptr;
    // With the table below capacity a free value turns up within capacity + 1 steps.
    do {
        last_ = last_ < kFirst || last_ >= kLast ? kFirst : last_ + kStep;
    } while (objects_.count(last_) != 0);
    objects_.emplace(last_, std::move(item));
    return reinterpret_cast<HANDLE>(last_);
}

std::shared_ptr<SerialDevice> DeviceHandleTable::device(HANDLE handle) const noexcept {
    std::lock_guard lock(mutex_);
    auto const found = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == objects_.end()) return nullptr;
    auto const* port = std::get_if<std::shared_ptr<SerialDevice>>(&found->second);
    return port != nullptr ? *port : nullptr;
}

bool DeviceHandleTable::remove(HANDLE handle) noexcept {
    decltype(objects_)::node_type taken;
    {
        std::lock_guard lock(mutex_);
        taken = objects_.extract(reinterpret_cast<std::uintptr_t>(handle));
    }
    // `taken` is destroyed here, outside the lock: closing a port calls into the kernel.
    return !taken.empty();
}

std::size_t DeviceHandleTable::size() const noexcept {
    std::lock_guard lock(mutex_);
    return objects_.size();
}

}  // namespace ambivox
