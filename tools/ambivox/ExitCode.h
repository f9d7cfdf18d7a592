// The program's exit codes, as its help text documents them.
#pragma once

namespace ambivox::cli {

enum exit_code : int {
    exit_ok = 0,
    exit_failed = 1,  // a device could not be polled, or the command could not do its work
    exit_usage = 2,   // the command line (or a devices file) could not be understood
    exit_setup = 3,   // the module is not registered or cannot be loaded, the registry is unusable
};

}  // namespace ambivox::cli
