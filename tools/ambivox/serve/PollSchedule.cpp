#include "tools/ambivox/serve/PollSchedule.h"

#include <algorithm>

namespace ambivox::cli {

PollSchedule::PollSchedule(PollPool& pool, ResultStore& store, std::chrono::milliseconds maxBackoff)
    : m_pool(pool), m_store(store), m_maxBackoff(maxBackoff), m_thread([this] { run(); }) {}

PollSchedule::~PollSchedule() {
    stop();
    if (m_thread.joinable()) m_thread.join();
}

void PollSchedule::stop() {
    std::lock_guard lock(m_mutex);
    m_stopping = true;
    m_wake.notify_all();
}

std::chrono::milliseconds PollSchedule::retry_delay(std::chrono::milliseconds interval,
                                                    unsigned failures,
                                                    std::chrono::milliseconds cap, double random) {
    auto delay = interval;
    for (unsigned i = 1; i < failures && delay < cap; ++i)
        delay *= 2;
    delay = std::min(delay, std::max(cap, interval));
    // Up to a fifth earlier, never later: the cap holds.
    return std::chrono::milliseconds(
        static_cast<long long>(static_cast<double>(delay.count()) * (1.0 - 0.2 * random)));
}

void PollSchedule::configure(std::vector<ConfiguredDevice> const& devices) {
    std::vector<std::string> labels;
    std::lock_guard lock(m_mutex);
    std::map<std::string, device> next;
    auto const now = clock::now();
    for (ConfiguredDevice const& settings : devices) {
        labels.push_back(settings.label);
        auto const found = m_devices.find(settings.label);
        if (found != m_devices.end() && found->second.settings == settings) {
            next.emplace(settings.label, std::move(found->second));
            continue;
        }
        if (found != m_devices.end()) m_store.forget(settings.label);
        next.emplace(settings.label, device{settings, now, 0, false, ++m_generations});
    }
    m_devices.swap(next);
    m_store.keep(labels);
    m_wake.notify_all();
}

void PollSchedule::finished(std::string const& label, std::uint64_t generation,
                            std::optional<PollResult> result) {
    std::lock_guard lock(m_mutex);
    auto const found = m_devices.find(label);
    if (found == m_devices.end() || found->second.generation != generation) return;
    device& polled = found->second;
    polled.polling = false;
    if (!result) return;  // dropped: the exporter is stopping
    auto const now = clock::now();
    if (result->report.ok()) {
        polled.failures = 0;
        polled.due = now + polled.settings.interval;
    } else {
        ++polled.failures;
        double const random = std::uniform_real_distribution<double>(0, 1)(m_random);
        polled.due =
            now + retry_delay(polled.settings.interval, polled.failures, m_maxBackoff, random);
    }
    m_store.record(label, std::move(*result));
    if (polled.due < m_wakes_at) m_wake.notify_all();
}

void PollSchedule::run() {
    struct due_poll {
        DeviceTarget target;
        std::string label;
        std::uint64_t generation;
    };
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        auto const now = clock::now();
        auto next = clock::time_point::max();
        std::vector<due_poll> due;
        for (auto& [label, entry] : m_devices) {
            if (entry.polling) continue;
            if (entry.due > now) {
                next = std::min(next, entry.due);
                continue;
            }
            entry.polling = true;
            due.push_back({entry.settings.target, label, entry.generation});
        }
        if (!due.empty()) {
            // A stopping pool answers at once, through finished(), which takes the lock.
            lock.unlock();
            for (due_poll& poll : due)
                m_pool.submit(std::move(poll.target),
                              [this, label = poll.label, generation = poll.generation](
                                  auto result) { finished(label, generation, std::move(result)); });
            lock.lock();
            continue;
        }
        m_wakes_at = next;
        if (next == clock::time_point::max())
            m_wake.wait(lock);
        else
            m_wake.wait_until(lock, next);
        m_wakes_at = clock::time_point::min();
    }
}

}  // namespace ambivox::cli
