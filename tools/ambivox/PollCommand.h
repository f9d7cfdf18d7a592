// PollCommand: `ambivox poll`. Polls every device at once (PollSession), prints the round in the
// chosen format and, with --watch, does it again at a fixed rate until interrupted, the --count
// is reached or the --timeout runs out. Failures go to standard error in plain words with their
// HRESULT; the exit code tells whether every device was read.
#pragma once

#include <string>
#include <vector>

#include "tools/ambivox/CommandLine.h"
#include "tools/ambivox/DeviceReport.h"

namespace ambivox::cli {

class PollSession;

class PollCommand {
public:
    // A `patient` command lets a poll under way finish when Ctrl-C comes, for callers with
    // something to clean up afterwards (the demo).
    explicit PollCommand(PollOptions options, bool patient = false)
        : m_options(std::move(options)), m_patient(patient) {}

    // The exit code. Unless patient, a Ctrl-C while a poll is under way ends the process at
    // once (the poll cannot be cut short), with the code of the last full round, or 130 before
    // the first.
    int run();

    // The exit code of one round: 0, exit_failed when a device failed, exit_setup when a device
    // object could not be created.
    static int exit_code_of(std::vector<DeviceReport> const& reports) noexcept;

private:
    int poll_round(PollSession& session, int lastCode, int round);

    PollOptions m_options;
    bool m_patient;
};

}  // namespace ambivox::cli
