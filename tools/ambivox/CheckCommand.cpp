#include "tools/ambivox/CheckCommand.h"

#include <iostream>
#include <sstream>

#include "tools/ambivox/ExitCode.h"
#include "tools/ambivox/PollSession.h"
#include "tools/ambivox/ReportText.h"

namespace ambivox::cli {

namespace {

constexpr char const* state_names[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};

// The worse of two states: CRITICAL, then WARNING, then UNKNOWN, then OK, so that a reading
// nobody could take never passes for OK, yet a real alarm beside it is not hidden.
CheckCommand::state worse(CheckCommand::state a, CheckCommand::state b) {
    constexpr int rank[] = {0, 2, 3, 1};
    return rank[a] >= rank[b] ? a : b;
}

// The status line is one line, and "|" starts its performance data.
std::string plain(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
        if (c == '|') c = '/';
    }
    return text;
}

// A performance-data label: quoted, quotes doubled, no equals sign.
std::string label_of(std::string const& text) {
    std::string out = "'";
    for (char c : plain(text)) {
        if (c == '=') c = ' ';
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

// Units the monitoring tools know: temperatures keep their letter, humidity is a percentage.
std::string uom_of(std::string const& unit) {
    if (unit == "C" || unit == "F" || unit == "K") return unit;
    if (unit == "H") return "%";
    return {};
}

class verdict {
public:
    void add(CheckCommand::state s, std::string const& text) {
        m_state = worse(m_state, s);
        (s == CheckCommand::ok ? m_fine : m_problems).push_back(plain(text));
    }
    void perf(std::string const& text) { m_perf += (m_perf.empty() ? "" : " ") + text; }
    CheckCommand::state state() const { return m_state; }

    std::string line() const {
        std::vector<std::string> const& shown = m_problems.empty() ? m_fine : m_problems;
        std::string text = std::string("AMBIVOX ") + state_names[m_state] + " - ";
        for (std::size_t i = 0; i < shown.size(); ++i)
            text += (i ? ", " : "") + shown[i];
        if (shown.empty()) text += "no readings";
        return text + (m_perf.empty() ? "" : " | " + m_perf) + "\n";
    }

private:
    CheckCommand::state m_state = CheckCommand::ok;
    std::vector<std::string> m_problems;
    std::vector<std::string> m_fine;
    std::string m_perf;
};

}  // namespace

int CheckCommand::run() {
    PollSession session(m_options.devices, m_options.unit, m_options.timeout_seconds, false);
    std::ostringstream why;
    if (session.start(why) != exit_ok) {
        std::string cause = why.str();
        cause = cause.substr(0, cause.find('\n'));
        if (cause.starts_with("ambivox: ")) cause.erase(0, 9);
        std::cout << "AMBIVOX UNKNOWN - " << plain(cause) << "\n";
        return unknown;
    }
    PollSession::round const polled = session.poll(unknown);

    std::string const warn = m_options.warning ? m_options.warning->text() : "";
    std::string const crit = m_options.critical ? m_options.critical->text() : "";
    bool const several = polled.reports.size() > 1;
    verdict result;
    for (DeviceReport const& report : polled.reports) {
        std::string const device = report.title();
        if (!report.ok()) {
            result.add(report.setup_failure ? unknown : critical, device + ": " + report.failure);
            continue;
        }
        bool found = false;
        for (ProbeReport const& probe : report.probes) {
            if (m_options.probe != 0 && probe.number != m_options.probe) continue;
            found = true;
            std::string const name = (several ? device + " " : "") + probe.name;
            if (!probe.valid()) {
                result.add(unknown, name + ": no reading");
                result.perf(label_of(name) + "=U;" + warn + ";" + crit);
                continue;
            }
            // A temperature the device gave in no scale it knows cannot be put into the asked
            // one; its number would be measured against ranges meant for another scale.
            if (!m_options.unit.empty() && probe.type == "Temperature" &&
                probe.unit != m_options.unit) {
                result.add(unknown, name + ": not in " + m_options.unit + " (the device gave " +
                                        (probe.unit.empty() ? "no unit" : probe.unit) + ")");
                result.perf(label_of(name) + "=U;" + warn + ";" + crit);
                continue;
            }
            state s = ok;
            std::string text =
                name + " " + ReportText::short_number(probe.value) + " " + probe.unit;
            if (m_options.critical && m_options.critical->alerts(probe.value)) {
                s = critical;
                text += " (critical " + crit + ")";
            } else if (m_options.warning && m_options.warning->alerts(probe.value)) {
                s = warning;
                text += " (warning " + warn + ")";
            }
            result.add(s, text);
            result.perf(label_of(name) + "=" + ReportText::number(probe.value) +
                        uom_of(probe.unit) + ";" + warn + ";" + crit);
        }
        if (!found)
            result.add(unknown, device + (m_options.probe != 0
                                              ? " has no probe " + std::to_string(m_options.probe)
                                              : " has no probes"));
    }
    std::cout << result.line();
    if (polled.timed_out) session.end_now(result.state());
    return result.state();
}

}  // namespace ambivox::cli
