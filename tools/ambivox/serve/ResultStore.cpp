#include "tools/ambivox/serve/ResultStore.h"

#include <algorithm>

namespace ambivox::cli {

void ResultStore::keep(std::vector<std::string> const& labels) {
    std::map<std::string, entry> kept;
    std::lock_guard lock(m_mutex);
    for (std::string const& label : labels) {
        auto const found = m_entries.find(label);
        kept[label] = found == m_entries.end() ? nullptr : found->second;
    }
    m_entries.swap(kept);
    m_order = labels;
}

void ResultStore::forget(std::string const& label) {
    std::lock_guard lock(m_mutex);
    auto const found = m_entries.find(label);
    if (found != m_entries.end()) found->second = nullptr;
}

void ResultStore::record(std::string const& label, PollResult result) {
    auto device = std::make_shared<PrometheusWriter::Device>();
    device->report = std::move(result.report);
    device->poll_seconds = result.seconds;
    device->last_poll_seconds = result.ended_at;
    device->counts_failures = true;
    std::lock_guard lock(m_mutex);
    auto const found = m_entries.find(label);
    if (found == m_entries.end()) return;
    if (found->second) device->failures = found->second->failures;
    if (!device->report.ok()) {
        std::string const reason = PrometheusWriter::failure_reason(*device);
        auto counted = std::find_if(device->failures.begin(), device->failures.end(),
                                    [&](auto const& pair) { return pair.first == reason; });
        if (counted == device->failures.end())
            device->failures.emplace_back(reason, 1);
        else
            ++counted->second;
    }
    found->second = std::move(device);
}

std::vector<ResultStore::entry> ResultStore::snapshot() const {
    std::vector<entry> devices;
    std::lock_guard lock(m_mutex);
    devices.reserve(m_order.size());
    for (std::string const& label : m_order)
        if (auto const& device = m_entries.at(label)) devices.push_back(device);
    return devices;
}

}  // namespace ambivox::cli
