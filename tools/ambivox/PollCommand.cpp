#include "tools/ambivox/PollCommand.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <system_error>

#include "tools/ambivox/ExitCode.h"
#include "tools/ambivox/HResultText.h"
#include "tools/ambivox/InfluxWriter.h"
#include "tools/ambivox/InterruptSignal.h"
#include "tools/ambivox/JsonWriter.h"
#include "tools/ambivox/OutputFile.h"
#include "tools/ambivox/PollSession.h"
#include "tools/ambivox/PrometheusWriter.h"
#include "tools/ambivox/TableWriter.h"

namespace ambivox::cli {

namespace {

constexpr int interrupted_before_any_round = 130;

void print(std::string const& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

}  // namespace

int PollCommand::exit_code_of(std::vector<DeviceReport> const& reports) noexcept {
    int code = exit_ok;
    for (DeviceReport const& report : reports) {
        if (report.setup_failure) return exit_setup;
        if (!report.ok()) code = exit_failed;
    }
    return code;
}

int PollCommand::poll_round(PollSession& session, int lastCode, int round) {
    bool const toFile = !m_options.output.empty();
    // Line protocol has no document around the lines, so each device's lines go out as soon as
    // they are known, and a slow device holds back only the ones after it.
    bool const streaming = m_options.format == OutputFormat::influx && !toFile;
    auto const interruptedCode = round > 1 ? lastCode : interrupted_before_any_round;
    PollSession::round const polled =
        session.poll(interruptedCode, [&](DeviceReport const& report) {
            if (streaming) print(InfluxWriter::write({report}));
        });
    std::vector<DeviceReport> const& reports = polled.reports;

    std::string const apart = round > 1 && !toFile ? "\n" : "";
    std::string text;
    switch (m_options.format) {
        case OutputFormat::json:
            text = JsonWriter::write(reports, polled.polled_at, m_options.watch_seconds > 0);
            break;
        case OutputFormat::prometheus:
            text = apart + PrometheusWriter::write(reports);
            break;
        case OutputFormat::table:
            text = apart + TableWriter::write(reports);
            break;
        case OutputFormat::influx:
            if (!streaming) text = InfluxWriter::write(reports);
            break;
    }
    int code = exit_code_of(reports);
    if (!toFile) {
        print(text);
    } else {
        try {
            OutputFile::replace(m_options.output, text);
        } catch (std::system_error const& error) {
            std::cerr << "ambivox: " << error.what() << "\n";
            code = std::max(code, static_cast<int>(exit_failed));
        }
    }
    for (DeviceReport const& report : reports) {
        if (report.ok()) continue;
        std::cerr << "ambivox: " << report.target.label() << ": " << report.failure << ": "
                  << describe_hresult(report.hr) << "\n";
        if (report.setup_failure)
            std::cerr << "ambivox: is the module registered? See 'ambivox register'.\n";
    }
    std::cerr.flush();
    if (m_options.exit_zero && code == exit_failed) code = exit_ok;
    if (polled.timed_out) session.end_now(code);
    return code;
}

int PollCommand::run() {
    PollSession session(m_options.devices, m_options.unit, m_options.timeout_seconds, m_patient);
    if (int const code = session.start(std::cerr); code != exit_ok) return code;

    auto const started = PollSession::clock::now();
    int code = poll_round(session, exit_ok, 1);
    if (m_options.watch_seconds <= 0) return code;
    // A fixed rate: round k starts k intervals after the first, however long each took; a round
    // that overran its interval gives up the starts it missed rather than crowding them.
    auto const interval = std::chrono::duration_cast<PollSession::clock::duration>(
        std::chrono::duration<double>(m_options.watch_seconds));
    PollSession::clock::rep slot = 0;
    for (int round = 2; m_options.rounds == 0 || round <= m_options.rounds; ++round) {
        slot = std::max<PollSession::clock::rep>(
            slot + 1, (PollSession::clock::now() - started) / interval + 1);
        auto const next = started + slot * interval;
        if (next >= session.deadline() || !InterruptSignal::sleep_until(next)) break;
        code = poll_round(session, code, round);
    }
    return code;
}

}  // namespace ambivox::cli
