#include "tools/simulators/SimulatedModelN.h"

#include <chrono>

namespace ambivox::simulation {

namespace {

using namespace std::chrono_literals;

// A document the fault "malformed" sends: the end tag of the root no longer matches.
std::string broken_xml(std::string document) {
    std::size_t const end = document.rfind("</Ambivox>");
    if (end != std::string::npos) document.replace(end, 10, "</Ambivx>");
    return document;
}

// The text pages cannot be malformed in themselves; markup in a name is what breaks the
// document they become.
std::string broken_page(std::string page) {
    std::size_t const bar = page.find('|');
    return bar == std::string::npos ? page + "<" : page.insert(bar, " <&");
}

}  // namespace

std::optional<SimulatedModelN::fault> SimulatedModelN::parse_fault(std::string_view name) noexcept {
    if (name == "none") return fault::none;
    if (name == "not-found") return fault::not_found;
    if (name == "server-error") return fault::server_error;
    if (name == "cut-off") return fault::cut_off;
    if (name == "slow") return fault::slow;
    if (name == "trickle") return fault::trickle;
    if (name == "stall") return fault::stall;
    if (name == "oversized") return fault::oversized;
    if (name == "malformed") return fault::malformed;
    return std::nullopt;
}

SimulatedModelN::SimulatedModelN(DeviceDocuments documents, options settings)
    : m_options(std::move(settings)),
      m_documents(std::move(documents)),
      m_server(m_options.port, m_options.address) {
    {
        std::lock_guard lock(m_mutex);
        publish();
    }
    if (m_options.drift && m_options.mode == fault::none)
        m_refresher = std::thread([this] { refresh_loop(); });
}

SimulatedModelN::~SimulatedModelN() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_refresher.joinable()) m_refresher.join();
    m_server.stop();
}

std::string SimulatedModelN::address() const {
    if (m_server.port() == 80) return m_options.address;
    return m_options.address + ":" + std::to_string(m_server.port());
}

DeviceDocuments SimulatedModelN::documents() const {
    std::lock_guard lock(m_mutex);
    return m_documents;
}

void SimulatedModelN::publish() {
    bool const malformed = m_options.mode == fault::malformed;
    auto route = [&](std::string const& path, std::string body, char const* type) {
        m_server.serve(path, std::move(body), 200, type);
        if (m_options.mode != fault::none) m_server.set_fault(path, m_options.mode);
    };
    if (m_options.xml) {
        std::string config = m_documents.xml_configuration();
        std::string data = m_documents.xml_data();
        route("/xmlconfig", malformed ? broken_xml(std::move(config)) : std::move(config),
              "text/xml");
        route("/xmldata", malformed ? broken_xml(std::move(data)) : std::move(data), "text/xml");
    }
    if (m_options.pages) {
        std::string config = m_documents.configuration_page();
        route("/config", malformed ? broken_page(std::move(config)) : std::move(config),
              "text/plain");
        route(std::string(m_documents.data_page_path()), m_documents.data_page(), "text/plain");
    }
}

void SimulatedModelN::refresh_loop() {
    std::size_t seen = 0;
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        m_wake.wait_for(lock, 20ms);
        if (m_stopping) break;
        std::size_t const count = m_server.request_count();
        if (count == seen) continue;
        seen = count;
        m_documents.drift();
        publish();
    }
}

}  // namespace ambivox::simulation
