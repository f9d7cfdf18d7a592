#include "tools/ambivox/JsonWriter.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "tools/ambivox/HResultText.h"
#include "tools/ambivox/ReportText.h"

namespace ambivox::cli {

namespace {

// Fields in the order people read them, not sorted by name.
using json = nlohmann::ordered_json;

json number(double value) {
    // JSON has no NaN or infinity.
    return std::isfinite(value) ? json(value) : json(nullptr);
}

json text_or_null(std::string const& text) {
    return text.empty() ? json(nullptr) : json(text);
}

void add_time(json& into, std::int64_t utc, std::string const& name) {
    std::string const iso = ReportText::iso_utc(utc);
    into[name] = iso.empty() ? json(nullptr) : json(iso);
    into[name + "_epoch"] = utc;
}

json probe_json(ProbeReport const& probe) {
    json out = {{"number", probe.number},
                {"group", probe.group},
                {"name", probe.name},
                {"type", probe.type}};
    if (!probe.has_reading) {
        out["reading"] = nullptr;
        return out;
    }
    // The raw value keeps what the device stored, the no-reading mark included, for those who
    // want it; `value` is only ever a reading.
    json reading = {{"value", probe.valid() ? number(probe.value) : json(nullptr)},
                    {"raw_value", number(probe.value)},
                    {"unit", probe.unit},
                    {"valid", probe.valid()}};
    add_time(reading, probe.utc, "time");
    out["reading"] = std::move(reading);
    return out;
}

json device_json(DeviceReport const& report) {
    json out = {{"device", report.target.label()},
                {"family", report.target.family_name()},
                {"name", text_or_null(report.name)},
                {"model", text_or_null(report.model)}};
    if (report.target.kind == DeviceTarget::family::model_q) {
        out["battery"] = text_or_null(report.battery);
    } else {
        out["serial"] = text_or_null(report.serial);
        out["firmware_version"] = text_or_null(report.firmware);
        out["firmware_release_date"] = text_or_null(report.firmware_date);
    }
    out["status"] = report.ok() ? "ok" : "failed";
    out["error"] = report.ok() ? json(nullptr)
                               : json{{"message", report.failure},
                                      {"name", hresult_symbol(report.hr)},
                                      {"hresult", hresult_hex(report.hr)},
                                      {"code", static_cast<std::uint32_t>(report.hr)}};
    json probes = json::array();
    for (ProbeReport const& probe : report.probes)
        probes.push_back(probe_json(probe));
    out["probes"] = std::move(probes);
    return out;
}

}  // namespace

std::string JsonWriter::write(std::vector<DeviceReport> const& reports, std::int64_t polledAt,
                              bool compact) {
    json document = json::object();
    add_time(document, polledAt, "polled_at");
    json devices = json::array();
    for (DeviceReport const& report : reports)
        devices.push_back(device_json(report));
    document["devices"] = std::move(devices);
    // A device's texts are not always valid UTF-8; a replacement character beats no document.
    return document.dump(compact ? -1 : 2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace ambivox::cli
