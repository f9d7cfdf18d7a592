// ProbeHandler: GET /probe?target=HOST[:PORT]&family=modeln|modelq[&model=MODEL], the
// multi-target pattern: one device polled on demand, its metrics answered within the deadline
// the scraper sends (X-Prometheus-Scrape-Timeout-Seconds, less a margin). A device that has not
// answered by then is reported down with the reason "timeout" while its poll runs on. Scrapes of
// one device at the same time share one poll, the background poll of a configured device too.
// Only allowed hosts and configured devices are polled; anything else is refused (403).
#pragma once

#include <chrono>
#include <condition_variable>
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
    // The exporter is ending: scrapes waiting for a device wait at most `grace` more, so that
    // the server's connections can close.
    void stop(std::chrono::milliseconds grace);

private:
    struct awaited {
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
    std::optional<PollPool::clock::time_point> m_stop_by;
};

}  // namespace ambivox::cli
