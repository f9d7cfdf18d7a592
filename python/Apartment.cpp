#include "python/Apartment.h"

#include "platform/com/ComRuntime.h"
#include "python/ComFailure.h"

namespace ambivox::python {

namespace {

// Uninitialises the runtime when the thread ends, after its queued releases.
struct ThreadApartment {
    std::shared_ptr<Apartment> apartment;

    ~ThreadApartment() {
        if (!apartment) return;
        apartment->end();
        CoUninitialize();
    }
};

thread_local ThreadApartment t_apartment;

}  // namespace

std::shared_ptr<Apartment> const& Apartment::current() {
    if (!t_apartment.apartment) {
        HRESULT const hr = CoInitialize(nullptr);
        if (FAILED(hr)) throw ComFailure(hr, "initialising the component runtime on this thread");
        t_apartment.apartment = std::make_shared<Apartment>();
    }
    return t_apartment.apartment;
}

Apartment::~Apartment() = default;

bool Apartment::is_current() const noexcept {
    return t_apartment.apartment.get() == this;
}

void Apartment::release(com_ptr<IUnknown> object) noexcept {
    if (!is_current()) {
        std::lock_guard lock(m_mutex);
        if (m_alive) {
            try {
                m_pending.push_back(std::move(object));
                m_pending_count.store(m_pending.size(), std::memory_order_release);
                return;
            } catch (...) {
                // No room to queue it: keeping the object alive for good beats a data race.
                (void)object.detach();
                return;
            }
        }
    }
    object = nullptr;
}

void Apartment::release_pending() noexcept {
    std::vector<com_ptr<IUnknown>> taken;
    {
        std::lock_guard lock(m_mutex);
        taken.swap(m_pending);
        m_pending_count.store(0, std::memory_order_release);
    }
}

void Apartment::end() noexcept {
    std::vector<com_ptr<IUnknown>> taken;
    {
        std::lock_guard lock(m_mutex);
        m_alive = false;
        taken.swap(m_pending);
        m_pending_count.store(0, std::memory_order_release);
    }
}

}  // namespace ambivox::python
