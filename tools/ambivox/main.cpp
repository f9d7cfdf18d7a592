// ambivox: the command-line client of the AmbivoxSDK module. This file only reads the command
// line and hands it to the command that does the work; `ambivox --help` tells them apart.
#include <exception>
#include <iostream>
#include <new>

#include "tools/ambivox/CheckCommand.h"
#include "tools/ambivox/CommandLine.h"
#include "tools/ambivox/DemoCommand.h"
#include "tools/ambivox/ExitCode.h"
#include "tools/ambivox/PollCommand.h"
#include "tools/ambivox/RegistryCommands.h"
#include "tools/ambivox/SimulateCommand.h"
#include "tools/ambivox/serve/ServeCommand.h"

namespace {

using namespace ambivox::cli;

int dispatch(Command const& command) {
    switch (command.what) {
        case Command::kind::none:
            break;
        case Command::kind::version:
            return RegistryCommands::version();
        case Command::kind::poll:
            return PollCommand(command.poll).run();
        case Command::kind::check:
            return CheckCommand(command.check).run();
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

}  // namespace

int main(int argc, char** argv) {
    try {
        CommandLine line;
        ServeOptions serve_options;
        CLI::App const* const serve = add_serve_command(line.app(), serve_options);
        if (auto const done = line.parse(argc, argv)) return *done;
        if (serve->parsed()) return run_serve(serve_options);
        return dispatch(line.command());
    } catch (std::bad_alloc const&) {
        std::cerr << "ambivox: out of memory\n";
    } catch (std::exception const& error) {
        std::cerr << "ambivox: " << error.what() << "\n";
    }
    return exit_failed;
}
