// PollSession: what `ambivox poll` and `ambivox check` share. It starts the runtime, makes sure
// the module serves the device classes, maps devices given by path to COM numbers for the run,
// and polls every device at once in rounds, handing each report on as soon as it and the ones
// before it are done. A run with a time limit reports the devices still polling when it runs out
// as timed out.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Types.h"
#include "tools/ambivox/DeviceReport.h"
#include "tools/ambivox/DeviceTarget.h"
#include "tools/ambivox/TemporaryPortMap.h"

namespace ambivox::cli {

class PollSession {
public:
    using clock = std::chrono::steady_clock;

    // `unit` as for DeviceReader::read; `timeoutSeconds` 0 for no limit. A `patient` session
    // lets a poll under way finish when Ctrl-C comes, for callers with something to clean up
    // afterwards (the demo).
    PollSession(std::vector<DeviceTarget> targets, std::string unit, double timeoutSeconds,
                bool patient);
    ~PollSession();
    PollSession(PollSession const&) = delete;
    PollSession& operator=(PollSession const&) = delete;

    // exit_ok, or exit_setup after saying to `say`, in lines starting "ambivox: ", why the
    // devices cannot be polled.
    int start(std::ostream& say);

    struct round {
        std::vector<DeviceReport> reports;  // in the order of the targets
        std::int64_t polled_at = 0;         // seconds since 1970 UTC
        bool timed_out = false;             // the polls still running were left: call end_now()
    };
    // One poll of every device. `ready` sees each report as soon as it and the ones before it
    // are done. Unless patient, Ctrl-C during the poll ends the process with `interruptedCode`.
    round poll(int interruptedCode, std::function<void(DeviceReport const&)> const& ready = {});

    // When the run's time runs out; the far future without a limit.
    clock::time_point deadline() const noexcept { return m_deadline; }

    // Ends the process at once, as polls blocking inside the module cannot be cut short: the
    // temporary port mappings are removed and the output flushed first.
    [[noreturn]] void end_now(int code) noexcept;

    // The failure a device still polling at the deadline is reported with.
    static DeviceReport timed_out(DeviceTarget const& target, double seconds);

private:
    int check_module(std::ostream& say) const;

    std::vector<DeviceTarget> m_targets;
    std::string m_unit;
    double m_timeout_seconds;
    clock::time_point m_deadline;
    bool m_patient;
    HRESULT m_runtime = -1;
    std::optional<TemporaryPortMap> m_ports;
};

}  // namespace ambivox::cli
