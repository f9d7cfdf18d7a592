// ProbeHandler: GET /probe?target=HOST[:PORT]&family=modeln|modelq[&model=MODEL], the
// multi-target pattern: one device polled on demand, its metrics answered within the deadline
// the scraper sends (X-Prometheus-Scrape-Timeout-Seconds, less a margin). A device that has not
// answered by then is reported down with the reason "timeout" while its poll runs on. Scrapes of
// one target at the same time share one poll. Only allowed hosts and configured devices are
// polled; anything else is refused (403).
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tools/ambivox/serve/AllowList.h"
#include "tools/ambivox/serve/ConfigFile.h"
#include "tools/ambivox/serve/HttpServer.h"
#include "tools/ambivox/serve/PollPool.h"

namespace ambivox::cli {

class ProbeHandler {
public:
    ProbeHandler(PollPool& pool, AllowList allowed);

    // The configured devices, which /probe may reach besides the allowed hosts.
    void configure(std::vector<ConfiguredDevice> const& devices);
    HttpServer::response handle(HttpServer::request const& request);

private:
    struct shared_poll {
        bool done = false;
        std::optional<PollResult> result;
    };

    // The device a query names, or an answer refusing it.
    std::optional<DeviceTarget> target_of(HttpServer::request const& request,
                                          HttpServer::response& refusal) const;

    PollPool& m_pool;
    AllowList const m_allowed;
    mutable std::mutex m_mutex;
    std::condition_variable m_done;
    std::vector<ConfiguredDevice> m_configured;
    std::map<std::string, std::shared_ptr<shared_poll>> m_polls;  // by device key
};

}  // namespace ambivox::cli
