// DeviceHandleTable: the handles of open serial ports and events. A handle is a number that
// names an entry; it is looked up, never dereferenced, so any value is safe to pass. Safe from
// any thread: an object taken out of the table lives on while a call still uses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <variant>

#include "platform/base/Types.h"

namespace ambivox {

class SerialDevice;

class DeviceHandleTable {
public:
    struct event_object {
        bool manual_reset = false;
        bool signalled = false;
    };
    using object = std::variant<std::shared_ptr<SerialDevice>, event_object>;

    // Open handles at most; past it new handles are refused, so a caller that leaks handles
    // cannot grow the table without bound.
    static constexpr std::size_t capacity = 65536;

    // The process's table; it is never destroyed, so a handle closed late at exit stays safe.
    static DeviceHandleTable& instance();

    // A new handle for `item`, or null when the table is full. Throws std::bad_alloc.
    HANDLE add(object item);
    // The port a handle names, or null when it names no port.
    std::shared_ptr<SerialDevice> device(HANDLE handle) const noexcept;
    // Takes the handle's object out and destroys it (closing a port once no call uses it).
    // False when the handle names nothing.
    bool remove(HANDLE handle) noexcept;
    std::size_t size() const noexcept;

private:
    DeviceHandleTable() = default;

    mutable std::mutex m_mutex;
    std::unordered_map<std::uintptr_t, object> m_objects;
    std::uintptr_t m_last = 0;
};

}  // namespace ambivox
