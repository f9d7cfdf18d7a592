// ResultStore: the latest poll of every configured device, as /metrics shows it. Each device's
// entry is replaced whole by its next poll, so a scrape takes a snapshot of pointers under the
// lock and writes the exposition outside it: a scrape never waits for a device, nor for more
// than the copy of a list.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tools/ambivox/PrometheusWriter.h"
#include "tools/ambivox/serve/PollPool.h"

namespace ambivox::cli {

class ResultStore {
public:
    using entry = std::shared_ptr<PrometheusWriter::Device const>;

    // The devices to show, in this order; entries of devices no longer listed are dropped.
    void keep(std::vector<std::string> const& labels);
    // Forgets one device's readings and counts (its settings changed).
    void forget(std::string const& label);
    // A finished poll of a listed device; a device no longer listed is ignored.
    void record(std::string const& label, PollResult result);
    // The polled devices in order.
    std::vector<entry> snapshot() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_order;
    std::map<std::string, entry> m_entries;  // by label; null until the first poll
};

}  // namespace ambivox::cli
