#include "tools/ambivox/serve/ProbeHandler.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "platform/base/Errors.h"
#include "tools/ambivox/PrometheusWriter.h"
#include "tools/ambivox/ReportText.h"

namespace ambivox::cli {

namespace {

constexpr auto exposition = "text/plain; version=0.0.4; charset=utf-8";

// The answer to a scraper that gave no deadline, and the most any scraper gets.
constexpr double default_timeout_seconds = 10;
constexpr double max_timeout_seconds = 120;
// Kept back from the scraper's deadline for the answer to travel.
constexpr double margin_seconds = 0.5;

double timeout_of(HttpServer::request const& request) {
    double seconds = default_timeout_seconds;
    if (auto const header = request.header("X-Prometheus-Scrape-Timeout-Seconds")) {
        double given = 0;
        auto const [end, error] =
            std::from_chars(header->data(), header->data() + header->size(), given);
        if (error == std::errc() && end == header->data() + header->size() && given > 0)
            seconds = given;
    }
    return std::clamp(seconds - margin_seconds, 0.1, max_timeout_seconds);
}

bool model_text(std::string const& model) {
    return !model.empty() && model.size() <= 8 &&
           std::all_of(model.begin(), model.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

// A client's text echoed in a refusal: printable and short, whatever the client sent.
std::string shown(std::string const& text) {
    constexpr std::size_t most = 80;
    std::string out;
    for (char const c : text.substr(0, most))
        out += std::isprint(static_cast<unsigned char>(c)) ? c : '?';
    return text.size() > most ? out + "..." : out;
}

}  // namespace

ProbeHandler::ProbeHandler(PollPool& pool, AllowList allowed)
    : m_pool(pool), m_allowed(std::move(allowed)) {}

void ProbeHandler::configure(std::vector<ConfiguredDevice> const& devices) {
    std::lock_guard lock(m_mutex);
    m_configured = devices;
}

std::optional<DeviceTarget> ProbeHandler::target_of(HttpServer::request const& request,
                                                    HttpServer::response& refusal) const {
    auto const address = request.argument("target");
    auto const family = request.argument("family").value_or("modeln");
    auto const model = request.argument("model");
    refusal.status = 400;
    for (char const* name : {"target", "family", "model"})
        if (request.argument_count(name) > 1) {
            // Which one counts is anybody's guess: the allow check and the poll must not differ.
            refusal.body = std::string("give ") + name + "= once\n";
            return std::nullopt;
        }
    if (!address || address->empty()) {
        refusal.body = "give the device as target=HOST[:PORT] (or target=COMn, family=modelq)\n";
        return std::nullopt;
    }
    if (family != "modeln" && family != "modelq") {
        refusal.body = "family is modeln or modelq, not \"" + shown(family) + "\"\n";
        return std::nullopt;
    }
    if (model && (!model_text(*model) || family == "modelq")) {
        refusal.body = "model= is a Model N model such as N15 or NX2\n";
        return std::nullopt;
    }
    DeviceTarget target;
    if (family == "modelq") {
        target.kind = DeviceTarget::family::model_q;
        // Without case, as the devices file takes "com1" and the pool tells ports apart.
        DeviceTarget asked = target;
        asked.path = *address;
        std::string const key = PollPool::device_key(asked);
        std::lock_guard lock(m_mutex);
        for (ConfiguredDevice const& device : m_configured)
            if (device.target.kind == target.kind && PollPool::device_key(device.target) == key) {
                // Labelled by the target, as every probe is.
                target = device.target;
                target.name.clear();
                return target;
            }
        refusal = {403, "a Model Q device is probed only when the devices file lists it\n"};
        return std::nullopt;
    }
    auto const host = AllowList::host_of(*address);
    if (!host) {
        refusal.body = "target is HOST or HOST:PORT (a port from 1 to 65535), not \"" +
                       shown(*address) + "\"\n";
        return std::nullopt;
    }
    target.address = *address;
    target.model = model.value_or("");
    std::lock_guard lock(m_mutex);
    bool const configured =
        std::any_of(m_configured.begin(), m_configured.end(), [&](ConfiguredDevice const& d) {
            return d.target.kind == target.kind &&
                   PollPool::device_key(d.target) == PollPool::device_key(target);
        });
    if (!configured && !m_allowed.allows(*host)) {
        refusal = {403, "target " + *address + " is not allowed: start the exporter with " +
                            "--allow for it, or list it in the devices file\n"};
        return std::nullopt;
    }
    return target;
}

void ProbeHandler::stop(std::chrono::milliseconds grace) {
    std::lock_guard lock(m_mutex);
    m_stop_by = PollPool::clock::now() + grace;
    m_done.notify_all();
}

HttpServer::response ProbeHandler::handle(HttpServer::request const& request) {
    HttpServer::response answer;
    auto const target = target_of(request, answer);
    if (!target) return answer;
    double const seconds = timeout_of(request);
    auto const deadline =
        PollPool::clock::now() + std::chrono::duration_cast<PollPool::clock::duration>(
                                     std::chrono::duration<double>(seconds));
    auto const poll = std::make_shared<awaited>();
    m_pool.submit(
        *target,
        [this, poll](std::optional<PollResult> result) {
            std::lock_guard lock(m_mutex);
            poll->done = true;
            poll->result = std::move(result);
            m_done.notify_all();
        },
        true, deadline, true);
    PrometheusWriter::Device device;
    bool answered = false;
    bool stopped = false;
    {
        std::unique_lock lock(m_mutex);
        while (!poll->done) {
            auto const until = m_stop_by ? std::min(deadline, *m_stop_by) : deadline;
            if (m_done.wait_until(lock, until) == std::cv_status::timeout &&
                PollPool::clock::now() >= until) {
                stopped = until < deadline;
                break;
            }
        }
        if (poll->result) {
            answered = true;
            device.report = poll->result->report;
            device.poll_seconds = poll->result->seconds;
        }
    }
    if (!answered) {
        device.timed_out = true;
        device.report.hr = HRESULT_FROM_WIN32(ERROR_TIMEOUT);
        device.report.failure = stopped
                                    ? "the exporter stopped before the device answered"
                                    : "the device did not answer within the scrape's " +
                                          ReportText::number(std::round(seconds * 10) / 10) + " s";
        device.poll_seconds = seconds;
    }
    device.report.target = *target;
    answer = {200, PrometheusWriter::write({&device}), exposition};
    return answer;
}

}  // namespace ambivox::cli
