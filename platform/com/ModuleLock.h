// The lock count of a module that serves objects: live objects plus outstanding server locks.
// A module may be unloaded only while its count is zero.
#pragma once

#include <atomic>

#include "platform/base/Types.h"

namespace ambivox {

class module_base {
public:
    module_base() = default;
    module_base(module_base const&) = delete;
    module_base& operator=(module_base const&) = delete;
    virtual ~module_base() = default;

    // Objects of a module may live in several apartments at once, so the count is atomic.
    virtual LONG Lock() noexcept { return ++m_lock_count; }
    virtual LONG Unlock() noexcept { return --m_lock_count; }
    virtual LONG GetLockCount() const noexcept { return m_lock_count.load(); }

private:
    std::atomic<LONG> m_lock_count{0};
};

// Every binary that serves objects defines this once. It is hidden so that each shared object
// binds to its own module even when several are loaded into one process.
[[gnu::visibility("hidden")]] module_base& this_module() noexcept;

// Holds one lock on this binary's module for as long as it lives.
class module_lock {
public:
    module_lock() noexcept { this_module().Lock(); }
    module_lock(module_lock const&) noexcept { this_module().Lock(); }
    module_lock& operator=(module_lock const&) noexcept = default;
    ~module_lock() { this_module().Unlock(); }
};

}  // namespace ambivox
