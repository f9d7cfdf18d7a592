#include "tools/ambivox/DevicePoller.h"

#include "tools/ambivox/DeviceReader.h"

namespace ambivox::cli {

DevicePoller::DevicePoller(std::vector<DeviceTarget> const& targets)
    : m_state(std::make_shared<shared>()) {
    m_state->reports.resize(targets.size());
    try {
        for (std::size_t i = 0; i < targets.size(); ++i) {
            m_threads.emplace_back([state = m_state, target = targets[i], i] {
                DeviceReport report = DeviceReader::read(target);
                std::lock_guard lock(state->mutex);
                state->reports[i] = std::move(report);
                ++state->finished;
                state->done.notify_all();
            });
        }
    } catch (...) {
        for (std::thread& thread : m_threads)
            thread.join();
        throw;
    }
}

DevicePoller::~DevicePoller() {
    for (std::thread& thread : m_threads)
        if (thread.joinable()) thread.join();
}

std::size_t DevicePoller::finished() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->finished;
}

bool DevicePoller::wait_for(std::chrono::milliseconds limit) const {
    std::unique_lock lock(m_state->mutex);
    return m_state->done.wait_for(lock, limit,
                                  [this] { return m_state->finished == m_state->reports.size(); });
}

std::vector<DeviceReport> DevicePoller::reports() {
    for (std::thread& thread : m_threads)
        if (thread.joinable()) thread.join();
    std::vector<DeviceReport> result;
    std::lock_guard lock(m_state->mutex);
    for (auto& report : m_state->reports)
        result.push_back(std::move(*report));
    return result;
}

void DevicePoller::abandon() noexcept {
    for (std::thread& thread : m_threads)
        if (thread.joinable()) thread.detach();
}

}  // namespace ambivox::cli
