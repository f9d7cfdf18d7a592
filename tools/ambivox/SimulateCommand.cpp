#include "tools/ambivox/SimulateCommand.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <system_error>

#include "platform/base/Errors.h"
#include "platform/registry/Registry.h"
#include "tools/ambivox/ExitCode.h"
#include "tools/ambivox/HResultText.h"
#include "tools/ambivox/InterruptSignal.h"
#include "tools/ambivox/RegistryError.h"
#include "tools/ambivox/SerialPortMap.h"
#include "tools/simulators/ModelQSimulator.h"
#include "tools/simulators/SimulatedModelN.h"

namespace ambivox::cli {

namespace {

using namespace std::chrono_literals;

void wait_for_interrupt() {
    while (InterruptSignal::sleep_for(1h)) {
    }
}

int registry_failure(RegistryError const& error) {
    std::cerr << "ambivox: " << error.what() << " in the registry store " << registry_path() << ": "
              << describe_hresult(HRESULT_FROM_WIN32(static_cast<DWORD>(error.status()))) << "\n";
    return exit_setup;
}

}  // namespace

int SimulateCommand::model_n(SimulateModelNOptions const& options) {
    InterruptSignal::install();
    simulation::DeviceDocuments documents(options.model, "Simulated " + options.model,
                                          "SIM-" + options.model, options.probes);
    simulation::SimulatedModelN::options settings;
    settings.address = options.host;
    settings.port = options.port;
    settings.xml = options.xml;
    settings.drift = options.drift;
    settings.mode = options.fault;
    std::optional<simulation::SimulatedModelN> device;
    try {
        device.emplace(documents, settings);
    } catch (std::system_error const& error) {
        std::cerr << "ambivox: cannot serve on " << options.host << ":" << options.port << ": "
                  << error.code().message() << "\n";
        return exit_failed;
    }
    std::string const address = device->address();
    std::cout << "Simulated " << options.model << " device \"" << documents.unit_name()
              << "\" (serial " << documents.serial() << ", " << documents.probes().size()
              << " probes) on " << options.host << ":" << device->port() << ", serving "
              << (options.xml ? "its XML documents and text pages" : "its text pages only")
              << ".\n";
    std::cout << "poll: ambivox poll modeln " << address << " --model " << options.model << "\n";
    if (!options.xml && device->port() != 80)
        std::cout << "note: devices are read through their text pages on port 80 only; without "
                     "XML documents this one is readable when it listens there (e.g. --listen "
                     "127.0.0.1:80 inside 'unshare -rn').\n";
    std::cout << "Press Ctrl-C to stop." << std::endl;
    wait_for_interrupt();
    std::size_t const requests = device->request_count();
    device.reset();
    std::cerr << "ambivox: simulator stopped after " << requests << " requests.\n";
    return exit_ok;
}

int SimulateCommand::model_q(SimulateModelQOptions const& options) {
    InterruptSignal::install();
    int com = options.com;
    try {
        if (com == 0) {
            com = SerialPortMap::first_free();
        } else if (auto const mapped = SerialPortMap::device_of(com)) {
            std::cerr << "ambivox: COM" << com << " already stands for " << *mapped
                      << "; choose another port with --com or run 'ambivox ports unmap COM" << com
                      << "'\n";
            return exit_failed;
        }
    } catch (RegistryError const& error) {
        return registry_failure(error);
    }

    simulation::ModelQSimulator::options settings;
    settings.behaviour = options.fault;
    settings.probe1 = "71.6";
    settings.probe2 = "69.8";
    settings.battery = "Bat Ok";
    std::optional<simulation::ModelQSimulator> device;
    try {
        device.emplace(settings);
    } catch (std::system_error const& error) {
        std::cerr << "ambivox: cannot make a pseudo-terminal: " << error.code().message() << "\n";
        return exit_failed;
    }
    try {
        device->map_to(com);
    } catch (std::exception const&) {
        std::cerr << "ambivox: cannot map COM" << com << " in the registry store "
                  << registry_path() << "\n";
        return exit_setup;
    }
    std::cout << "Simulated Model Q device on " << device->device_path() << ", mapped to COM" << com
              << " in the registry store " << registry_path() << ".\n";
    std::cout << "poll: ambivox poll modelq COM" << com << "\n";
    std::cout << "Press Ctrl-C to stop." << std::endl;
    wait_for_interrupt();
    int const queries = device->queries();
    device.reset();  // removes the mapping
    std::cerr << "ambivox: simulator stopped after " << queries << " queries; COM" << com
              << " is unmapped again.\n";
    return exit_ok;
}

}  // namespace ambivox::cli
