#include "tools/ambivox/JsonWriter.h"

#include <cmath>
#include <cstdio>

#include "tools/ambivox/HResultText.h"
#include "tools/ambivox/ReportText.h"

namespace ambivox::cli {

namespace {

std::string number(double value) {
    // JSON has no NaN or infinity.
    return std::isfinite(value) ? ReportText::number(value) : "null";
}

std::string text_or_null(std::string const& text) {
    return text.empty() ? "null" : JsonWriter::quoted(text);
}

std::string time_fields(std::int64_t utc, char const* name) {
    std::string const iso = ReportText::iso_utc(utc);
    return "\"" + std::string(name) + "\":" + (iso.empty() ? "null" : JsonWriter::quoted(iso)) +
           ",\"" + name + "_epoch\":" + std::to_string(utc);
}

std::string probe_json(ProbeReport const& probe) {
    std::string json = "{\"number\":" + std::to_string(probe.number) +
                       ",\"group\":" + std::to_string(probe.group) +
                       ",\"name\":" + JsonWriter::quoted(probe.name) +
                       ",\"type\":" + JsonWriter::quoted(probe.type) + ",\"reading\":";
    if (!probe.has_reading) return json + "null}";
    // The raw value keeps what the device stored, the no-reading mark included, for those who
    // want it; `value` is only ever a reading.
    json += "{\"value\":" + (probe.valid() ? number(probe.value) : "null") +
            ",\"raw_value\":" + number(probe.value) +
            ",\"unit\":" + JsonWriter::quoted(probe.unit) +
            ",\"valid\":" + (probe.valid() ? "true" : "false") + "," +
            time_fields(probe.utc, "time") + "}";
    return json + "}";
}

std::string device_json(DeviceReport const& report) {
    bool const modelQ = report.target.kind == DeviceTarget::family::model_q;
    std::string json = "{\"device\":" + JsonWriter::quoted(report.target.label()) +
                       ",\"family\":" + JsonWriter::quoted(report.target.family_name()) +
                       ",\"name\":" + text_or_null(report.name) +
                       ",\"model\":" + text_or_null(report.model);
    if (modelQ)
        json += ",\"battery\":" + text_or_null(report.battery);
    else
        json += ",\"serial\":" + text_or_null(report.serial) +
                ",\"firmware_version\":" + text_or_null(report.firmware) +
                ",\"firmware_release_date\":" + text_or_null(report.firmware_date);
    json += std::string(",\"status\":") + (report.ok() ? "\"ok\"" : "\"failed\"") + ",\"error\":";
    if (report.ok()) {
        json += "null";
    } else {
        json += "{\"message\":" + JsonWriter::quoted(report.failure) +
                ",\"name\":" + JsonWriter::quoted(hresult_symbol(report.hr)) +
                ",\"hresult\":" + JsonWriter::quoted(hresult_hex(report.hr)) +
                ",\"code\":" + std::to_string(static_cast<std::uint32_t>(report.hr)) + "}";
    }
    json += ",\"probes\":[";
    for (std::size_t i = 0; i < report.probes.size(); ++i)
        json += (i ? "," : "") + probe_json(report.probes[i]);
    return json + "]}";
}

}  // namespace

std::string JsonWriter::quoted(std::string_view text) {
    std::string out = "\"";
    for (char const c : text) {
        unsigned char const u = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (u < 0x20 || u == 0x7f) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", u);
                    out += escape;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string JsonWriter::write(std::vector<DeviceReport> const& reports, std::int64_t polledAt,
                              bool compact) {
    std::string json = "{" + time_fields(polledAt, "polled_at") + ",\"devices\":[";
    for (std::size_t i = 0; i < reports.size(); ++i)
        json += (i ? "," : "") + device_json(reports[i]);
    json += "]}";
    return (compact ? json : indented(json)) + "\n";
}

// Lays a compact document out on lines, two spaces per level; text inside strings is left alone.
std::string JsonWriter::indented(std::string_view compact) {
    std::string out;
    int depth = 0;
    bool inString = false;
    auto newline = [&] { out += "\n" + std::string(static_cast<std::size_t>(depth) * 2, ' '); };
    for (std::size_t i = 0; i < compact.size(); ++i) {
        char const c = compact[i];
        if (inString) {
            out += c;
            if (c == '\\' && i + 1 < compact.size())
                out += compact[++i];
            else if (c == '"')
                inString = false;
            continue;
        }
        switch (c) {
            case '"':
                inString = true;
                out += c;
                break;
            case '{':
            case '[':
                out += c;
                if (i + 1 < compact.size() && (compact[i + 1] == '}' || compact[i + 1] == ']')) {
                    out += compact[++i];
                } else {
                    ++depth;
                    newline();
                }
                break;
            case '}':
            case ']':
                --depth;
                newline();
                out += c;
                break;
            case ',':
                out += c;
                newline();
                break;
            case ':':
                out += ": ";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace ambivox::cli
