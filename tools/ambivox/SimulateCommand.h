// SimulateCommand: `ambivox simulate modeln|modelq`. Plays one device with the simulators the
// tests use until interrupted, after printing where it is and the poll command that reads it
// (a line starting "poll: "). A Model Q device gets a pseudo-terminal, mapped to its COM port in
// the registry store for as long as it runs.
#pragma once

#include "tools/ambivox/CommandLine.h"

namespace ambivox::cli {

class SimulateCommand {
public:
    static int model_n(SimulateModelNOptions const& options);
    static int model_q(SimulateModelQOptions const& options);
};

}  // namespace ambivox::cli
