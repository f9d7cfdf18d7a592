#include "tools/ambivox/DemoCommand.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/base/Errors.h"
#include "tools/ambivox/ExitCode.h"
#include "tools/ambivox/HResultText.h"
#include "tools/ambivox/InterruptSignal.h"
#include "tools/ambivox/ModuleFile.h"
#include "tools/ambivox/PollCommand.h"
#include "tools/ambivox/PrivateRegistry.h"
#include "tools/ambivox/SerialPortMap.h"
#include "tools/simulators/ModelQSimulator.h"
#include "tools/simulators/SimulatedModelN.h"

extern char** environ;

namespace ambivox::cli {

namespace {

using simulation::DeviceDocuments;
using simulation::SimulatedModelN;

// Runs a program with the demo's environment and output; its exit code, or -1 when it could not
// be started or ended by a signal.
int run_program(std::vector<std::string> const& args) {
    std::vector<char*> argv;
    for (std::string const& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    while (waitpid(child, &status, 0) == -1) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool registered() {
    ModuleFile module(ModuleFile::default_path());
    HRESULT const hr = module.register_server();
    if (SUCCEEDED(hr)) return true;
    if (!module.loaded())
        std::cerr << "ambivox: cannot load the module " << module.path() << ": "
                  << module.load_error() << "\n";
    else
        std::cerr << "ambivox: the module " << module.path()
                  << " could not be registered: " << describe_hresult(hr) << "\n";
    return false;
}

SimulatedModelN::options xml_only() {
    SimulatedModelN::options settings;
    settings.pages = false;
    return settings;
}

// The N3 part in a private network namespace, where port 80 is free and needs no privilege.
// nullopt when no namespace can be had.
std::optional<int> text_pages_in_namespace() {
    std::error_code error;
    std::string const self = std::filesystem::read_symlink("/proc/self/exe", error).string();
    if (error) return std::nullopt;
    if (run_program({"unshare", "-rn", "true"}) != 0) return std::nullopt;
    return run_program({"unshare", "-rn", "sh", "-c",
                        "ip link set lo up 2>/dev/null || ip link set dev lo up; exec \"$@\"", "sh",
                        self, "demo", "text-pages"});
}

}  // namespace

int DemoCommand::run() {
    InterruptSignal::install();
    std::optional<PrivateRegistry> store;
    try {
        store.emplace();
    } catch (std::exception const& error) {
        std::cerr << "ambivox: no private registry store: " << error.what() << "\n";
        return exit_setup;
    }
    if (!registered()) return exit_setup;
    std::cout << "Registered the module in a private registry store, " << store->path() << ".\n";

    int code = exit_ok;
    {
        std::optional<SimulatedModelN> nx2;
        std::optional<SimulatedModelN> n15;
        std::optional<simulation::ModelQSimulator> modelQ;
        int com = 0;
        try {
            nx2.emplace(DeviceDocuments("NX2", "Server room", "SIM-NX2-0001"), xml_only());
            n15.emplace(DeviceDocuments("N15", "Cold store", "SIM-N15-0001",
                                        "T:Inlet,T:Outlet,T:Shelf 1,T:Shelf 2"),
                        xml_only());
            simulation::ModelQSimulator::options settings;
            settings.probe1 = "71.6";
            settings.probe2 = "69.8";
            settings.battery = "Bat Ok";
            modelQ.emplace(settings);
            com = SerialPortMap::first_free();
            modelQ->map_to(com);
        } catch (std::exception const& error) {
            std::cerr << "ambivox: the simulated devices could not be started: " << error.what()
                      << "\n";
            return exit_setup;
        }
        std::cout << "Simulated devices:\n"
                  << "  NX2      \"Server room\"  XML documents on " << nx2->address() << "\n"
                  << "  N15      \"Cold store\"   XML documents on " << n15->address() << "\n"
                  << "  Model Q  \"Tank A\"       " << modelQ->device_path() << ", mapped to COM"
                  << com << "\n"
                  << "Polling each once (a Model Q poll takes a second or two)...\n\n";

        PollOptions poll;
        DeviceTarget target;
        target.address = nx2->address();
        target.model = "NX2";
        poll.devices.push_back(target);
        target.address = n15->address();
        target.model = "N15";
        poll.devices.push_back(target);
        DeviceTarget serial;
        serial.kind = DeviceTarget::family::model_q;
        serial.com = com;
        serial.name = "Tank A";
        poll.devices.push_back(serial);
        code = PollCommand(poll, true).run();
    }
    if (InterruptSignal::raised()) return code;

    std::cout << "\n";
    std::optional<int> textPages = text_pages_in_namespace();
    if (!textPages) {
        // No namespace: port 80 may still be ours (as root, with nothing listening there).
        std::cout.flush();
        textPages = text_pages();
    }
    if (*textPages == exit_ok || *textPages == exit_failed) {
        if (code == exit_ok) code = *textPages;
    } else {
        std::cout << "(The N3 device read through its text pages was left out: port 80 of "
                     "127.0.0.1 could not be had here, and no private network namespace either.)\n";
    }
    return code;
}

int DemoCommand::text_pages() {
    InterruptSignal::install();
    std::optional<PrivateRegistry> store;
    try {
        store.emplace();
    } catch (std::exception const& error) {
        std::cerr << "ambivox: no private registry store: " << error.what() << "\n";
        return exit_setup;
    }
    if (!registered()) return exit_setup;
    std::optional<SimulatedModelN> n3;
    try {
        SimulatedModelN::options settings;
        settings.port = 80;
        settings.xml = false;
        n3.emplace(DeviceDocuments("N3", "Lab", "SIM-N3-0001", "T:Inlet,T:Outlet"), settings);
    } catch (std::system_error const& error) {
        std::cerr << "ambivox: cannot serve on 127.0.0.1:80: " << error.code().message() << "\n";
        return exit_setup;
    }
    std::cout << "An N3 device, \"Lab\", without XML documents: read through its text pages on "
                 "port 80 of "
              << n3->address() << ".\n\n";
    std::cout.flush();
    PollOptions poll;
    DeviceTarget target;
    target.address = n3->address();
    target.model = "N3";
    poll.devices.push_back(target);
    return PollCommand(poll, true).run();
}

}  // namespace ambivox::cli
