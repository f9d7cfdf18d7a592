#include "tools/ambivox/TableWriter.h"

#include <algorithm>
#include <array>

#include "tools/ambivox/HResultText.h"
#include "tools/ambivox/ReportText.h"

namespace ambivox::cli {

namespace {

constexpr std::size_t columns = 7;
using row = std::array<std::string, columns>;
// A failed device's row: its failure runs from the name column to the end of the line, so that
// a long cause does not push every reading of the table to the right.
constexpr std::size_t spanned_from = 2;

// Device texts may hold line breaks or tabs, which would tear the table apart.
std::string cell(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return text;
}

row probe_row(std::string const& device, ProbeReport const& probe) {
    row r{
        device, std::to_string(probe.number), cell(probe.name), cell(probe.type), "no reading", "-",
        "-"};
    if (probe.has_reading) {
        if (probe.valid()) r[4] = ReportText::short_number(probe.value);
        r[5] = probe.unit.empty() ? "-" : cell(probe.unit);
        r[6] = ReportText::local_time(probe.utc);
    }
    return r;
}

}  // namespace

std::string TableWriter::write(std::vector<DeviceReport> const& reports) {
    std::vector<row> rows{{"DEVICE", "PROBE", "NAME", "TYPE", "VALUE", "UNIT", "LOCAL TIME"}};
    for (DeviceReport const& report : reports) {
        std::string const device = cell(report.title());
        if (!report.ok()) {
            std::string const code =
                "(poll failed: " + hresult_symbol(report.hr) + " " + hresult_hex(report.hr) + ")";
            if (report.device_said)
                rows.push_back({device, "-", code + " " + cell(report.failure), {}, {}, {}, {}});
            else
                rows.push_back({device, "-", code, "-", "-", "-", "-"});
        } else if (report.probes.empty()) {
            rows.push_back({device, "-", "(no probes)", "-", "-", "-", "-"});
        }
        if (!report.ok()) continue;
        for (ProbeReport const& probe : report.probes)
            rows.push_back(probe_row(device, probe));
    }
    auto const spans = [](row const& r) { return r[spanned_from + 1].empty(); };
    std::array<std::size_t, columns> widths{};
    for (row const& r : rows)
        for (std::size_t c = 0; c < (spans(r) ? spanned_from : columns); ++c)
            widths[c] = std::max(widths[c], ReportText::width(r[c]));
    std::string text;
    for (row const& r : rows) {
        std::string line;
        std::size_t const last = spans(r) ? spanned_from : columns - 1;
        for (std::size_t c = 0; c <= last; ++c) {
            line += r[c];
            if (c < last) line.append(widths[c] - ReportText::width(r[c]) + 2, ' ');
        }
        text += line + "\n";
    }
    return text;
}

}  // namespace ambivox::cli
