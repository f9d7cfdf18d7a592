#include "tools/ambivox/DevicePoller.h"

#include "tools/ambivox/DeviceReader.h"

namespace ambivox::cli {

DevicePoller::DevicePoller(std::vector<DeviceTarget> const& targets, std::string const& unit)
    : m_state(std::make_shared<shared>()) {
    m_state->reports.resize(targets.size());
    try {
        for (std::size_t i = 0; i < targets.size(); ++i) {
            m_threads.emplace_back([state = m_state, target = targets[i], unit, i] {
                DeviceReport report = DeviceReader::read(target, unit);
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

std::optional<DeviceReport> DevicePoller::take_next() {
    std::lock_guard lock(m_state->mutex);
    if (m_taken >= m_state->reports.size() || !m_state->reports[m_taken]) return std::nullopt;
    return std::move(*m_state->reports[m_taken++]);
}

std::vector<std::optional<DeviceReport>> DevicePoller::take_rest() {
    std::lock_guard lock(m_state->mutex);
    std::vector<std::optional<DeviceReport>> rest;
    for (; m_taken < m_state->reports.size(); ++m_taken)
        rest.push_back(std::move(m_state->reports[m_taken]));
    return rest;
}

bool DevicePoller::wait_next(std::chrono::milliseconds limit) const {
    std::unique_lock lock(m_state->mutex);
    return m_state->done.wait_for(lock, limit, [this] {
        return m_taken >= m_state->reports.size() || m_state->reports[m_taken].has_value();
    });
}

void DevicePoller::abandon() noexcept {
    for (std::thread& thread : m_threads)
        if (thread.joinable()) thread.detach();
}

}  // namespace ambivox::cli
