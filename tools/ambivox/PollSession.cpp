#include "tools/ambivox/PollSession.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>

#include "ambivox/AmbivoxIds.h"
#include "platform/base/Errors.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ComRuntime.h"
#include "platform/registry/Registry.h"
#include "platform/registry/UniqueHkey.h"
#include "tools/ambivox/DevicePoller.h"
#include "tools/ambivox/ExitCode.h"
#include "tools/ambivox/HResultText.h"
#include "tools/ambivox/InterruptSignal.h"
#include "tools/ambivox/ProgressLine.h"
#include "tools/ambivox/RegistryError.h"
#include "tools/ambivox/ReportText.h"

namespace ambivox::cli {

namespace {

using namespace std::chrono_literals;

constexpr auto progress_delay = 250ms;

std::string progress_text(std::size_t done, std::size_t total,
                          PollSession::clock::duration elapsed) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s",
                  std::chrono::duration<double>(elapsed).count());
    return "polling " + std::to_string(total) + (total == 1 ? " device" : " devices") + ": " +
           std::to_string(done) + " done, " + std::to_string(total - done) + " waiting (" +
           seconds + ")";
}

}  // namespace

PollSession::PollSession(std::vector<DeviceTarget> targets, std::string unit, double timeoutSeconds,
                         bool patient)
    : m_targets(std::move(targets)),
      m_unit(std::move(unit)),
      m_timeout_seconds(timeoutSeconds),
      m_deadline(timeoutSeconds > 0
                     ? clock::now() + std::chrono::duration_cast<clock::duration>(
                                          std::chrono::duration<double>(timeoutSeconds))
                     : clock::time_point::max()),
      m_patient(patient) {}

PollSession::~PollSession() {
    m_ports.reset();
    if (SUCCEEDED(m_runtime)) {
        CoFreeUnusedLibraries();
        CoUninitialize();
    }
}

int PollSession::start(std::ostream& say) {
    InterruptSignal::install();
    m_runtime = CoInitialize(nullptr);
    if (FAILED(m_runtime)) {
        say << "ambivox: the component runtime could not start: " << describe_hresult(m_runtime)
            << "\n";
        return exit_setup;
    }
    if (int const code = check_module(say); code != exit_ok) return code;
    try {
        m_ports.emplace(m_targets);
    } catch (RegistryError const& error) {
        say << "ambivox: " << error.what() << " in the registry store " << registry_path() << ": "
            << describe_hresult(HRESULT_FROM_WIN32(static_cast<DWORD>(error.status()))) << "\n";
        return exit_setup;
    }
    return exit_ok;
}

int PollSession::check_module(std::ostream& say) const {
    bool modelN = false;
    bool modelQ = false;
    for (DeviceTarget const& target : m_targets)
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
            say << "ambivox: the registry store " << store << " cannot be used: "
                << describe_hresult(HRESULT_FROM_WIN32(static_cast<DWORD>(status))) << "\n";
        else if (hr == REGDB_E_CLASSNOTREG)
            say << "ambivox: the AmbivoxSDK module is not registered in the registry store "
                << store << ", so no " << what << " device can be created: " << describe_hresult(hr)
                << "\nambivox: register it first with 'ambivox register'.\n";
        else
            say << "ambivox: the " << what
                << " device class cannot be created from the registration in " << store << ": "
                << describe_hresult(hr) << "\n";
        return exit_setup;
    }
    return exit_ok;
}

DeviceReport PollSession::timed_out(DeviceTarget const& target, double seconds) {
    DeviceReport report;
    report.target = target;
    report.hr = HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    report.failure = "timed out: the poll was still running when the time limit of " +
                     ReportText::number(seconds) + " s ran out";
    return report;
}

PollSession::round PollSession::poll(int interruptedCode,
                                     std::function<void(DeviceReport const&)> const& ready) {
    round result;
    result.polled_at = static_cast<std::int64_t>(std::time(nullptr));
    auto const started = clock::now();
    DevicePoller poller(m_targets, m_unit);
    ProgressLine progress;
    auto const hand_on = [&](DeviceReport report) {
        progress.clear();
        if (ready) ready(report);
        result.reports.push_back(std::move(report));
    };
    while (result.reports.size() < m_targets.size()) {
        if (auto report = poller.take_next()) {
            hand_on(std::move(*report));
            continue;
        }
        if (InterruptSignal::raised() && !m_patient) {
            progress.clear();
            poller.abandon();
            std::fputs("ambivox: interrupted during a poll\n", stderr);
            end_now(interruptedCode);
        }
        auto const now = clock::now();
        if (now >= m_deadline) {
            poller.abandon();
            // A device after a slow one may be done already; only those still polling timed out.
            for (std::optional<DeviceReport>& report : poller.take_rest())
                hand_on(report ? std::move(*report)
                               : timed_out(m_targets[result.reports.size()], m_timeout_seconds));
            result.timed_out = true;
            break;
        }
        if (now - started >= progress_delay)
            progress.show(progress_text(poller.finished(), poller.size(), now - started));
        poller.wait_next(std::min<std::chrono::milliseconds>(
            100ms, std::chrono::ceil<std::chrono::milliseconds>(m_deadline - now)));
    }
    return result;
}

void PollSession::end_now(int code) noexcept {
    if (m_ports) m_ports->remove();
    std::fflush(stdout);
    std::fflush(stderr);
    std::cout.flush();
    std::_Exit(code);
}

}  // namespace ambivox::cli
