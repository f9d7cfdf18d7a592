#include "tools/ambivox/PollCommand.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <system_error>

#include "ambivox/AmbivoxIds.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ComRuntime.h"
#include "platform/registry/Registry.h"
#include "platform/registry/UniqueHkey.h"
#include "tools/ambivox/DevicePoller.h"
#include "tools/ambivox/ExitCode.h"
#include "tools/ambivox/HResultText.h"
#include "tools/ambivox/InterruptSignal.h"
#include "tools/ambivox/JsonWriter.h"
#include "tools/ambivox/OutputFile.h"
#include "tools/ambivox/ProgressLine.h"
#include "tools/ambivox/PrometheusWriter.h"
#include "tools/ambivox/TableWriter.h"

namespace ambivox::cli {

namespace {

using namespace std::chrono_literals;
using clock = std::chrono::steady_clock;

constexpr int interrupted_before_any_round = 130;
constexpr auto progress_delay = 250ms;

void print(std::string const& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

std::string progress_text(std::size_t done, std::size_t total, clock::duration elapsed) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s",
                  std::chrono::duration<double>(elapsed).count());
    return "polling " + std::to_string(total) + (total == 1 ? " device" : " devices") + ": " +
           std::to_string(done) + " done, " + std::to_string(total - done) + " waiting (" +
           seconds + ")";
}

struct main_apartment {
    HRESULT hr = CoInitialize(nullptr);
    ~main_apartment() {
        if (SUCCEEDED(hr)) {
            CoFreeUnusedLibraries();
            CoUninitialize();
        }
    }
};

}  // namespace

int PollCommand::exit_code_of(std::vector<DeviceReport> const& reports) noexcept {
    int code = exit_ok;
    for (DeviceReport const& report : reports) {
        if (report.setup_failure) return exit_setup;
        if (!report.ok()) code = exit_failed;
    }
    return code;
}

int PollCommand::check_module() const {
    bool modelN = false;
    bool modelQ = false;
    for (DeviceTarget const& target : m_options.devices)
        (target.kind == DeviceTarget::family::model_q ? modelQ : modelN) = true;
    for (auto [wanted, clsid, what] : {std::tuple{modelN, &CLSID_AmbivoxModelN, "Model N"},
                                       std::tuple{modelQ, &CLSID_AmbivoxModelQ, "Model Q"}}) {
        if (!wanted) continue;
        com_ptr<IClassFactory> factory;
        HRESULT const hr = CoGetClassObject(*clsid, CLSCTX_INPROC_SERVER, nullptr,
                                            IClassFactory::iid, factory.put_void());
        if (SUCCEEDED(hr)) continue;
        std::string const store = registry_path();
        // The runtime answers "not registered" for a store it cannot read at all, too.
        unique_hkey classes;
        LSTATUS const status =
            RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_READ, classes.put());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            std::cerr << "ambivox: the registry store " << store << " cannot be used: "
                      << describe_hresult(HRESULT_FROM_WIN32(static_cast<DWORD>(status))) << "\n";
        else if (hr == REGDB_E_CLASSNOTREG)
            std::cerr << "ambivox: the AmbivoxSDK module is not registered in the registry store "
                      << store << ", so no " << what
                      << " device can be created: " << describe_hresult(hr)
                      << "\nambivox: register it first with 'ambivox register'.\n";
        else
            std::cerr << "ambivox: the " << what
                      << " device class cannot be created from the registration in " << store
                      << ": " << describe_hresult(hr) << "\n";
        return exit_setup;
    }
    return exit_ok;
}

int PollCommand::poll_round(int lastCode, int round) {
    std::int64_t const polledAt = static_cast<std::int64_t>(std::time(nullptr));
    auto const started = clock::now();
    std::vector<DeviceReport> reports;
    {
        DevicePoller poller(m_options.devices);
        ProgressLine progress;
        while (!poller.wait_for(100ms)) {
            if (InterruptSignal::raised() && !m_patient) {
                progress.clear();
                poller.abandon();
                std::fputs("ambivox: interrupted during a poll\n", stderr);
                std::fflush(stdout);
                std::fflush(stderr);
                // The polls block inside the module and cannot be cut short; ending the process
                // is the only way to keep Ctrl-C prompt.
                std::_Exit(round > 1 ? lastCode : interrupted_before_any_round);
            }
            auto const elapsed = clock::now() - started;
            if (elapsed >= progress_delay)
                progress.show(progress_text(poller.finished(), poller.size(), elapsed));
        }
        progress.clear();
        reports = poller.reports();
    }

    bool const watching = m_options.watch_seconds > 0;
    bool const toFile = !m_options.output.empty();
    std::string const apart = round > 1 && !toFile ? "\n" : "";
    std::string text;
    switch (m_options.format) {
        case OutputFormat::json:
            text = JsonWriter::write(reports, polledAt, watching);
            break;
        case OutputFormat::prometheus:
            text = apart + PrometheusWriter::write(reports);
            break;
        case OutputFormat::table:
            text = apart + TableWriter::write(reports);
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
    return code;
}

int PollCommand::run() {
    InterruptSignal::install();
    main_apartment const runtime;
    if (FAILED(runtime.hr)) {
        std::cerr << "ambivox: the component runtime could not start: "
                  << describe_hresult(runtime.hr) << "\n";
        return exit_setup;
    }
    if (int const code = check_module(); code != exit_ok) return code;

    int code = poll_round(exit_ok, 1);
    if (m_options.watch_seconds <= 0) return code;
    auto const interval = std::chrono::milliseconds(
        static_cast<std::chrono::milliseconds::rep>(m_options.watch_seconds * 1000));
    for (int round = 2; m_options.rounds == 0 || round <= m_options.rounds; ++round) {
        if (!InterruptSignal::sleep_for(interval)) break;
        code = poll_round(code, round);
    }
    return code;
}

}  // namespace ambivox::cli
