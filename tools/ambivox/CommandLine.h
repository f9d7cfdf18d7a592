// CommandLine: turns the program's arguments into one Command, or raises UsageError saying what
// is wrong with them. It reads devices files too, as they hold device arguments.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/ambivox/DeviceTarget.h"
#include "tools/simulators/ModelQSimulator.h"
#include "tools/simulators/SimulatedModelN.h"

namespace ambivox::cli {

enum class OutputFormat { table, json, prometheus };

struct PollOptions {
    std::vector<DeviceTarget> devices;
    OutputFormat format = OutputFormat::table;
    double watch_seconds = 0;  // 0: poll once
    int rounds = 0;            // with a watch: stop after this many rounds; 0: until interrupted
    std::string output;        // a file each round replaces; empty: standard output
};

struct SimulateModelNOptions {
    std::string host = "127.0.0.1";
    std::uint16_t port = 0;  // 0: a free port
    std::string model = "N15";
    std::string probes;  // a probe list (PROBES); empty for the model's default probes
    bool xml = true;
    simulation::SimulatedModelN::fault fault = simulation::SimulatedModelN::fault::none;
};

struct SimulateModelQOptions {
    int com = 0;  // 0: the first COM number the registry does not map yet
    simulation::ModelQSimulator::mode fault = simulation::ModelQSimulator::mode::answering;
};

struct Command {
    enum class kind {
        help,
        poll,
        register_module,
        unregister_module,
        registry_dump,
        ports_list,
        ports_map,
        ports_unmap,
        simulate_modeln,
        simulate_modelq,
        demo,
        demo_text_pages,
    };

    kind what = kind::help;
    PollOptions poll;
    std::string module;  // register, unregister: empty for the module beside the program
    std::string key;     // registry dump: empty for every root
    int com = 0;         // ports map, ports unmap
    std::string device;  // ports map
    SimulateModelNOptions modeln;
    SimulateModelQOptions modelq;
};

class CommandLine {
public:
    // Raises UsageError.
    static Command parse(std::vector<std::string> const& args);

    // The words of one devices-file line: blanks separate them, "..." and '...' quote them
    // (backslash escapes " and \ inside double quotes), "#" starts a comment. Raises UsageError
    // for an unterminated quote.
    static std::vector<std::string> split_line(std::string_view line);

    // "COM5", "com5" or "5" as a port number from 1 to 999; 0 for anything else.
    static int com_number(std::string_view text) noexcept;

    static std::string help_text();
};

}  // namespace ambivox::cli
