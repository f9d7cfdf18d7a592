// CommandLine: the program's arguments, read by CLI11 into one Command. Every command has a help
// of its own; a command line that cannot be understood ends the program with a sentence saying
// what is wrong (exit 2, or UNKNOWN for the monitoring check). Devices files are read here too,
// as they hold device arguments.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/ambivox/DeviceTarget.h"
#include "tools/ambivox/ThresholdRange.h"
#include "tools/simulators/ModelQSimulator.h"
#include "tools/simulators/SimulatedModelN.h"

namespace ambivox::cli {

enum class OutputFormat { table, json, prometheus, influx };

struct PollOptions {
    std::vector<DeviceTarget> devices;
    OutputFormat format = OutputFormat::table;
    std::string unit;            // "C" or "F": every temperature in that scale; empty as read
    double watch_seconds = 0;    // 0: poll once
    int rounds = 0;              // with a watch: stop after this many rounds; 0: until interrupted
    double timeout_seconds = 0;  // 0: no bound on the run
    std::string output;          // a file each round replaces; empty: standard output
    bool exit_zero = false;      // devices that failed still end the run with 0
};

struct CheckOptions {
    std::vector<DeviceTarget> devices;
    std::optional<ThresholdRange> warning;
    std::optional<ThresholdRange> critical;
    int probe = 0;  // 0: every probe
    std::string unit;
    double timeout_seconds = 0;
};

struct SimulateModelNOptions {
    std::string host = "127.0.0.1";
    std::uint16_t port = 0;  // 0: a free port
    std::string model = "N15";
    std::string probes;  // a probe list (PROBES); empty for the model's default probes
    bool xml = true;
    bool drift = true;  // false: the readings stay as they start
    simulation::SimulatedModelN::fault fault = simulation::SimulatedModelN::fault::none;
};

struct SimulateModelQOptions {
    int com = 0;  // 0: the first COM number the registry does not map yet
    simulation::ModelQSimulator::mode fault = simulation::ModelQSimulator::mode::answering;
};

struct Command {
    enum class kind {
        none,  // a subcommand the caller added itself
        version,
        poll,
        check,
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

    kind what = kind::none;
    PollOptions poll;
    CheckOptions check;
    std::string module;  // register, unregister: empty for the module beside the program
    std::string key;     // registry dump: empty for every root
    int com = 0;         // ports map, ports unmap
    std::string device;  // ports map
    SimulateModelNOptions modeln;
    SimulateModelQOptions modelq;
};

struct RawArguments;

class CommandLine {
public:
    CommandLine();
    ~CommandLine();
    CommandLine(CommandLine const&) = delete;
    CommandLine& operator=(CommandLine const&) = delete;

    // The program's parser, for commands that live elsewhere to add themselves before parse().
    CLI::App& app() noexcept { return m_app; }

    // Reads the arguments. Answers the exit code when the program is done already (help shown,
    // or a usage error said), else nothing and command() says what to do.
    std::optional<int> parse(int argc, char const* const* argv);
    Command const& command() const noexcept { return m_command; }

    // The words of one devices-file line: blanks separate them, "..." and '...' quote them
    // (backslash escapes " and \ inside double quotes), "#" starts a comment. Raises UsageError
    // for an unterminated quote.
    static std::vector<std::string> split_line(std::string_view line);

    // "COM5", "com5" or "5" as a port number from 1 to 999; 0 for anything else.
    static int com_number(std::string_view text) noexcept;

private:
    void add_poll();
    void add_check();
    void add_registry_commands();
    void add_simulate();
    void add_demo();
    // Runs after CLI11 has read the arguments: what CLI11 cannot check by itself.
    void finish();

    CLI::App m_app;
    std::unique_ptr<RawArguments> m_raw;  // the arguments as read, before finish() checks them
    Command m_command;
    bool m_version = false;
    CLI::App* m_poll = nullptr;
    CLI::App* m_check = nullptr;
};

}  // namespace ambivox::cli
