// SimulatedModelN: a Model N device on an HTTP simulator, serving what its DeviceDocuments say:
// the XML documents, the text pages, or both. Unless told otherwise its readings drift a little
// after every request it answers, so repeated polls see them change.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "tools/simulators/DeviceDocuments.h"
#include "tools/simulators/HttpDeviceSimulator.h"

namespace ambivox::simulation {

class SimulatedModelN {
public:
    using fault = HttpDeviceSimulator::fault;

    struct options {
        std::string address = "127.0.0.1";
        std::uint16_t port = 0;    // 0: a free port
        bool xml = true;           // serve /xmlconfig and /xmldata
        bool pages = true;         // serve /config and /temp or /data
        fault mode = fault::none;  // applied to every route served
        bool drift = true;
    };

    // Fault modes by the names the command line uses ("none", "not-found", "server-error",
    // "cut-off", "slow", "stall", "oversized", "malformed"); nullopt for any other name.
    static std::optional<fault> parse_fault(std::string_view name) noexcept;
    static constexpr std::string_view fault_names =
        "none, not-found, server-error, cut-off, slow, stall, oversized, malformed";

    // Starts serving. Raises std::system_error when the address cannot be bound.
    SimulatedModelN(DeviceDocuments documents, options settings);
    ~SimulatedModelN();
    SimulatedModelN(SimulatedModelN const&) = delete;
    SimulatedModelN& operator=(SimulatedModelN const&) = delete;

    std::uint16_t port() const noexcept { return m_server.port(); }
    // What a client sets as the device's address: "HOST:PORT", or "HOST" alone on port 80.
    std::string address() const;
    std::size_t request_count() const { return m_server.request_count(); }
    // A copy of the documents as they are now.
    DeviceDocuments documents() const;

private:
    void publish();  // serves the current documents; call with m_mutex held
    void refresh_loop();

    options m_options;
    mutable std::mutex m_mutex;
    DeviceDocuments m_documents;
    HttpDeviceSimulator m_server;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_refresher;
};

}  // namespace ambivox::simulation
