// Apartment: the calling Python thread's share of the component runtime.
//
// Every thread that touches an object initialises the runtime first, and objects are
// single-threaded: an object is called only on the thread that made it. The first use on a
// thread initialises it; the thread's end uninitialises it. Python may drop an object's last
// reference on any thread (the collector runs where it likes), so a release from a foreign
// thread waits for the owning thread, which may be inside one of that object's calls right now.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/com/ComPtr.h"

namespace ambivox::python {

class Apartment {
public:
    // The calling thread's apartment, initialised on first use. Raises ComFailure when the
    // runtime refuses.
    static std::shared_ptr<Apartment> const& current();

    Apartment() = default;
    ~Apartment();
    Apartment(Apartment const&) = delete;
    Apartment& operator=(Apartment const&) = delete;

    bool is_current() const noexcept;

    // Releases object now on the owning thread, or queues it for that thread while it lives.
    void release(com_ptr<IUnknown> object) noexcept;

    // Releases what other threads queued; called by the owning thread on its way into a call.
    void drain() noexcept {
        if (m_pending_count.load(std::memory_order_acquire) != 0) release_pending();
    }

    // Ends the thread's apartment: what is still queued is released, later releases happen at
    // once on whatever thread drops them (the loads pass to the process).
    void end() noexcept;

private:
    void release_pending() noexcept;

    std::mutex m_mutex;
    bool m_alive = true;
    std::vector<com_ptr<IUnknown>> m_pending;
    std::atomic<std::size_t> m_pending_count{0};
};

}  // namespace ambivox::python
