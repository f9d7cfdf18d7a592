// ambivox: the command-line client of the AmbivoxSDK module. This file only reads the command
// line and hands it to the command that does the work; `ambivox --help` tells them apart.
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "tools/ambivox/CommandLine.h"
#include "tools/ambivox/DemoCommand.h"
#include "tools/ambivox/ExitCode.h"
#include "tools/ambivox/PollCommand.h"
#include "tools/ambivox/RegistryCommands.h"
#include "tools/ambivox/SimulateCommand.h"
#include "tools/ambivox/UsageError.h"
#include "tools/ambivox/serve/ServeCommand.h"

namespace {

using namespace ambivox::cli;

int dispatch(Command const& command) {
    switch (command.what) {
        case Command::kind::help:
            std::cout << CommandLine::help_text();
            return exit_ok;
        case Command::kind::poll:
            return PollCommand(command.poll).run();
        case Command::kind::register_module:
            return RegistryCommands::register_module(command.module, false);
        case Command::kind::unregister_module:
            return RegistryCommands::register_module(command.module, true);
        case Command::kind::registry_dump:
            return RegistryCommands::dump(command.key);
        case Command::kind::ports_list:
            return RegistryCommands::list_ports();
        case Command::kind::ports_map:
            return RegistryCommands::map_port(command.com, command.device);
        case Command::kind::ports_unmap:
            return RegistryCommands::unmap_port(command.com);
        case Command::kind::simulate_modeln:
            return SimulateCommand::model_n(command.modeln);
        case Command::kind::simulate_modelq:
            return SimulateCommand::model_q(command.modelq);
        case Command::kind::demo:
            return DemoCommand::run();
        case Command::kind::demo_text_pages:
            return DemoCommand::text_pages();
    }
    return exit_usage;
}

// `ambivox serve` has a command line of its own.
int serve(int argc, char** argv) {
    CLI::App app{"ambivox: the command-line client of the AmbivoxSDK module", "ambivox"};
    ServeOptions options;
    add_serve_command(app, options);
    app.require_subcommand(1);
    try {
        app.parse(argc, argv);
    } catch (CLI::ParseError const& error) {
        return app.exit(error) == 0 ? exit_ok : exit_usage;
    }
    return run_serve(options);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string_view(argv[1]) == "serve") {
        try {
            return serve(argc, argv);
        } catch (std::exception const& error) {
            std::cerr << "ambivox: " << error.what() << "\n";
            return exit_failed;
        }
    }
    Command command;
    try {
        command = CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
    } catch (UsageError const& error) {
        std::cerr << "ambivox: " << error.what() << "\nTry 'ambivox --help'.\n";
        return exit_usage;
    } catch (std::exception const& error) {
        std::cerr << "ambivox: " << error.what() << "\n";
        return exit_failed;
    }
    try {
        return dispatch(command);
    } catch (std::bad_alloc const&) {
        std::cerr << "ambivox: out of memory\n";
    } catch (std::exception const& error) {
        std::cerr << "ambivox: " << error.what() << "\n";
    }
    return exit_failed;
}
