#include "tools/ambivox/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>

#include "tools/ambivox/UsageError.h"
#include "tools/simulators/DeviceDocuments.h"

namespace ambivox::cli {

namespace {

using mode = simulation::ModelQSimulator::mode;

[[noreturn]] void usage(std::string const& why) {
    throw UsageError(why);
}

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// "--name=Lab" is "--name" "Lab".
std::vector<std::string> split_equals(std::vector<std::string> const& args) {
    std::vector<std::string> out;
    for (std::string const& arg : args) {
        std::size_t const eq = arg.find('=');
        if (arg.starts_with("--") && eq != std::string::npos) {
            out.push_back(arg.substr(0, eq));
            out.push_back(arg.substr(eq + 1));
        } else {
            out.push_back(arg);
        }
    }
    return out;
}

class Cursor {
public:
    explicit Cursor(std::vector<std::string> words, std::size_t at = 0)
        : m_words(std::move(words)), m_at(at) {}
    bool done() const noexcept { return m_at >= m_words.size(); }
    std::string const& peek() const { return m_words[m_at]; }
    std::string next() { return m_words[m_at++]; }
    // The value of an option; an option cannot be the value of another.
    std::string value_of(std::string const& option) {
        if (done() || (peek().starts_with("--") && peek().size() > 2))
            usage(option + " needs a value");
        return next();
    }
    void expect_end(std::string const& command) const {
        if (!done()) usage("unexpected argument \"" + peek() + "\" after " + command);
    }

private:
    std::vector<std::string> m_words;
    std::size_t m_at;
};

bool is_help(std::string_view word) {
    return word == "--help" || word == "-h" || word == "help";
}

void check_address(std::string const& address) {
    if (address.empty() || address.starts_with("-"))
        usage("modeln needs an ADDRESS (a host name or IPv4 address, optionally with :PORT)");
    auto const bad = std::find_if(address.begin(), address.end(), [](char c) {
        return std::isspace(static_cast<unsigned char>(c)) || c == '/' || c == '?' || c == '#' ||
               c == '@' || c == '\\';
    });
    if (bad != address.end())
        usage("\"" + address + "\" is not a device address: give a host and optionally :PORT");
}

std::string model_of(std::string const& text) {
    std::string const model = upper(text);
    if (!simulation::DeviceDocuments::known_model(model))
        usage("unknown model \"" + text + "\": choose N3, N7, N15 or NX2");
    return model;
}

// Device words: "modeln ADDRESS", "modelq PORT" and the --model and --name that follow them.
// Answers false for a word that is none of these, leaving it to the caller.
bool device_word(Cursor& in, std::vector<DeviceTarget>& devices, bool& current) {
    std::string const& word = in.peek();
    if (word == "modeln" || word == "modelq") {
        in.next();
        DeviceTarget target;
        if (word == "modeln") {
            if (in.done()) usage("modeln needs an ADDRESS");
            target.address = in.next();
            check_address(target.address);
        } else {
            if (in.done()) usage("modelq needs a PORT (COMn)");
            std::string const port = in.next();
            target.kind = DeviceTarget::family::model_q;
            target.com = CommandLine::com_number(port);
            if (target.com == 0)
                usage("\"" + port + "\" is not a serial port: give COMn, n from 1 to 999");
        }
        devices.push_back(std::move(target));
        current = true;
        return true;
    }
    if (word == "--model" || word == "--name") {
        std::string const option = in.next();
        std::string const value = in.value_of(option);
        if (!current) usage(option + " belongs after the device it describes");
        DeviceTarget& target = devices.back();
        if (option == "--name") {
            if (value.empty()) usage("--name needs a name that is not empty");
            target.name = value;
        } else {
            if (target.kind == DeviceTarget::family::model_q)
                usage("a Model Q device has no model to choose (--model is for modeln)");
            target.model = model_of(value);
        }
        return true;
    }
    return false;
}

void read_devices_file(std::string const& path, std::vector<DeviceTarget>& devices) {
    std::ifstream file;
    std::istream* in = &std::cin;
    if (path != "-") {
        file.open(path);
        if (!file) usage("cannot read the devices file \"" + path + "\"");
        in = &file;
    }
    std::string line;
    for (int number = 1; std::getline(*in, line); ++number) {
        try {
            Cursor words(CommandLine::split_line(line));
            bool current = false;
            while (!words.done()) {
                if (!device_word(words, devices, current))
                    usage("only devices belong here, not \"" + words.peek() + "\"");
            }
        } catch (UsageError const& error) {
            usage(path + ":" + std::to_string(number) + ": " + error.what());
        }
    }
}

double seconds_of(std::string const& text) {
    char* end = nullptr;
    double const value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value) ||
        value < 0.05 || value > 86400)
        usage("--watch needs a number of seconds from 0.05 to 86400, not \"" + text + "\"");
    return value;
}

int count_of(std::string const& text) {
    int value = 0;
    auto const [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < 1)
        usage("--count needs a whole number of rounds from 1 up, not \"" + text + "\"");
    return value;
}

PollOptions parse_poll(Cursor& in, Command& command) {
    PollOptions poll;
    bool formatGiven = false;
    bool countGiven = false;
    bool current = false;
    while (!in.done()) {
        if (device_word(in, poll.devices, current)) continue;
        std::string const word = in.next();
        if (word == "--json" || word == "--prometheus" || word == "--table") {
            OutputFormat const format = word == "--json"         ? OutputFormat::json
                                        : word == "--prometheus" ? OutputFormat::prometheus
                                                                 : OutputFormat::table;
            if (formatGiven && format != poll.format)
                usage("choose one output: --table, --json or --prometheus");
            poll.format = format;
            formatGiven = true;
        } else if (word == "--watch") {
            poll.watch_seconds = seconds_of(in.value_of(word));
        } else if (word == "--count") {
            poll.rounds = count_of(in.value_of(word));
            countGiven = true;
        } else if (word == "--output" || word == "-o") {
            poll.output = in.value_of(word);
            if (poll.output.empty()) usage(word + " needs a file name that is not empty");
        } else if (word == "--from" || word == "-f") {
            read_devices_file(in.value_of(word), poll.devices);
            current = false;
        } else if (is_help(word)) {
            command.what = Command::kind::help;
            return poll;
        } else {
            usage("unexpected argument \"" + word + "\" (a device starts with modeln or modelq)");
        }
    }
    if (poll.devices.empty())
        usage("poll needs at least one device: modeln ADDRESS or modelq PORT");
    if (countGiven && poll.watch_seconds == 0) usage("--count goes with --watch");
    if (poll.format == OutputFormat::prometheus) {
        // Prometheus takes one exposition at a time, each series once in it.
        if (poll.watch_seconds > 0 && poll.output.empty())
            usage("--watch with --prometheus needs --output FILE, which each round replaces");
        for (std::size_t i = 0; i < poll.devices.size(); ++i)
            for (std::size_t j = 0; j < i; ++j)
                if (poll.devices[j].label() == poll.devices[i].label())
                    usage("the device " + poll.devices[i].label() +
                          " is named twice, and --prometheus gives each device one series");
    }
    return poll;
}

std::uint16_t port_of(std::string const& text, std::string const& listen) {
    unsigned value = 0;
    auto const [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value > 65535)
        usage("--listen needs ADDRESS:PORT with a port from 0 to 65535, not \"" + listen + "\"");
    return static_cast<std::uint16_t>(value);
}

std::optional<mode> model_q_fault(std::string_view name) {
    if (name == "none" || name == "answering") return mode::answering;
    if (name == "silent") return mode::silent;
    if (name == "slow") return mode::slow;
    if (name == "lf-only") return mode::lf_only;
    if (name == "noisy") return mode::noisy;
    if (name == "disconnecting") return mode::disconnecting;
    if (name == "flooding") return mode::flooding;
    if (name == "late") return mode::late;
    if (name == "pausing") return mode::pausing;
    return std::nullopt;
}

void parse_simulate(Cursor& in, Command& command) {
    if (in.done()) usage("simulate needs a device: modeln or modelq");
    std::string const device = in.next();
    if (device == "modeln") {
        command.what = Command::kind::simulate_modeln;
        SimulateModelNOptions& options = command.modeln;
        while (!in.done()) {
            std::string const word = in.next();
            if (word == "--listen") {
                std::string const listen = in.value_of(word);
                std::size_t const colon = listen.rfind(':');
                if (colon == std::string::npos) {
                    options.host = listen;
                } else {
                    options.host = listen.substr(0, colon);
                    options.port = port_of(listen.substr(colon + 1), listen);
                }
                if (options.host.empty()) options.host = "127.0.0.1";
            } else if (word == "--model") {
                options.model = model_of(in.value_of(word));
            } else if (word == "--probes") {
                options.probes = in.value_of(word);
            } else if (word == "--no-xml") {
                options.xml = false;
            } else if (word == "--fault") {
                std::string const name = in.value_of(word);
                auto const fault = simulation::SimulatedModelN::parse_fault(name);
                if (!fault)
                    usage("unknown fault \"" + name + "\": choose one of " +
                          std::string(simulation::SimulatedModelN::fault_names));
                options.fault = *fault;
            } else {
                usage("unexpected argument \"" + word + "\" for simulate modeln");
            }
        }
        // Refuse probes the model cannot have now, not after the port is bound.
        try {
            simulation::DeviceDocuments(options.model, "Check", "Check", options.probes);
        } catch (std::invalid_argument const& error) {
            usage(std::string("--probes: ") + error.what());
        }
    } else if (device == "modelq") {
        command.what = Command::kind::simulate_modelq;
        while (!in.done()) {
            std::string const word = in.next();
            if (word == "--com") {
                std::string const text = in.value_of(word);
                command.modelq.com = CommandLine::com_number(text);
                if (command.modelq.com == 0)
                    usage("--com needs a port number from 1 to 999, not \"" + text + "\"");
            } else if (word == "--fault") {
                std::string const name = in.value_of(word);
                auto const fault = model_q_fault(name);
                if (!fault)
                    usage("unknown fault \"" + name +
                          "\": choose one of none, silent, slow, lf-only, noisy, disconnecting, "
                          "flooding, late, pausing");
                command.modelq.fault = *fault;
            } else {
                usage("unexpected argument \"" + word + "\" for simulate modelq");
            }
        }
    } else {
        usage("simulate needs a device: modeln or modelq, not \"" + device + "\"");
    }
}

}  // namespace

int CommandLine::com_number(std::string_view text) noexcept {
    if (text.size() > 3 && (text[0] == 'C' || text[0] == 'c') &&
        (text[1] == 'O' || text[1] == 'o') && (text[2] == 'M' || text[2] == 'm'))
        text.remove_prefix(3);
    int value = 0;
    auto const [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || text[0] == '+' || text[0] == '-' || error != std::errc{} ||
        end != text.data() + text.size() || value < 1 || value > 999)
        return 0;
    return value;
}

std::vector<std::string> CommandLine::split_line(std::string_view line) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < line.size()) {
        char const c = line[at];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++at;
            continue;
        }
        if (c == '#') break;
        std::string word;
        while (at < line.size() && !std::isspace(static_cast<unsigned char>(line[at]))) {
            char const q = line[at];
            if (q == '"' || q == '\'') {
                std::size_t i = at + 1;
                for (; i < line.size() && line[i] != q; ++i) {
                    if (q == '"' && line[i] == '\\' && i + 1 < line.size() &&
                        (line[i + 1] == '"' || line[i + 1] == '\\'))
                        ++i;
                    word += line[i];
                }
                if (i >= line.size()) usage("a quote is not closed");
                at = i + 1;
            } else {
                word += q;
                ++at;
            }
        }
        words.push_back(std::move(word));
    }
    return words;
}

Command CommandLine::parse(std::vector<std::string> const& args) {
    Command command;
    if (args.empty()) usage("say what to do: poll, simulate, demo, register, registry or ports");
    Cursor in(split_equals(args));
    std::string const verb = in.next();
    if (is_help(verb)) return command;
    bool const wantsHelp = std::any_of(
        args.begin(), args.end(), [](std::string const& a) { return a == "--help" || a == "-h"; });
    if (wantsHelp && verb != "poll") return command;

    if (verb == "poll") {
        command.what = Command::kind::poll;
        command.poll = parse_poll(in, command);
    } else if (verb == "register" || verb == "unregister") {
        command.what =
            verb == "register" ? Command::kind::register_module : Command::kind::unregister_module;
        if (!in.done()) command.module = in.next();
        in.expect_end(verb);
    } else if (verb == "registry") {
        if (in.done() || in.next() != "dump")
            usage("registry needs a subcommand: registry dump [KEY]");
        command.what = Command::kind::registry_dump;
        if (!in.done()) command.key = in.next();
        in.expect_end("registry dump");
    } else if (verb == "ports") {
        command.what = Command::kind::ports_list;
        if (!in.done()) {
            std::string const sub = in.next();
            if (sub != "map" && sub != "unmap")
                usage("ports takes map COMn DEVICE or unmap COMn, not \"" + sub + "\"");
            if (in.done()) usage("ports " + sub + " needs a port (COMn)");
            std::string const port = in.next();
            command.com = com_number(port);
            if (command.com == 0)
                usage("\"" + port + "\" is not a serial port: give COMn, n from 1 to 999");
            if (sub == "map") {
                command.what = Command::kind::ports_map;
                if (in.done()) usage("ports map needs the DEVICE path the port stands for");
                command.device = in.next();
                if (command.device.empty()) usage("ports map needs a DEVICE path");
            } else {
                command.what = Command::kind::ports_unmap;
            }
            in.expect_end("ports " + sub);
        }
    } else if (verb == "simulate") {
        parse_simulate(in, command);
    } else if (verb == "demo") {
        command.what = Command::kind::demo;
        if (!in.done()) {
            if (in.next() != "text-pages") usage("demo takes no arguments but text-pages");
            command.what = Command::kind::demo_text_pages;
        }
        in.expect_end("demo");
    } else {
        usage("unknown command \"" + verb + "\"");
    }
    return command;
}

std::string CommandLine::help_text() {
    return R"(ambivox: polls Ambivox environmental monitors through the registered AmbivoxSDK module.

Usage:
  ambivox poll DEVICE... [--from FILE] [--table|--json|--prometheus]
               [--watch SECONDS [--count N]] [--output FILE]
      DEVICE is one of
        modeln ADDRESS [--model N3|N7|N15|NX2] [--name NAME]
                         a network device at HOST or HOST:PORT (the XML documents are
                         fetched there; the text pages always on port 80 of HOST)
        modelq PORT [--name NAME]
                         a serial device on PORT, COMn or n
      The devices are polled at the same time, each on a thread of its own, and reported in
      the order given. --from FILE reads more devices, one or more per line in the same
      words ("-" reads standard input; "#" starts a comment).
      --table       a table: device, probe, name, type, value, unit, local time (default)
      --json        one JSON document per poll (one per line with --watch)
      --prometheus  the text exposition format: ambivox_reading and ambivox_device_up gauges
      --watch S     poll again every S seconds until interrupted (Ctrl-C); --count N stops
                    after N polls
      --output FILE each poll replaces FILE in one step (written beside it, then renamed), as
                    a Prometheus textfile collector expects; --watch with --prometheus needs
                    it, and --prometheus takes each device once

  ambivox register [MODULE]      register the module (default: AmbivoxSDK.so beside ambivox)
  ambivox unregister [MODULE]    remove its registration
  ambivox registry dump [KEY]    list the registry store, or the KEY below a root
                                 (HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER,
                                 or HKCR, HKLM, HKCU), in the .reg form
  ambivox ports                  list the serial ports mapped to devices
  ambivox ports map COMn DEVICE  let COMn stand for DEVICE (e.g. /dev/ttyUSB0)
  ambivox ports unmap COMn       remove that mapping (COMn is /dev/ttyS<n-1> again)

  ambivox simulate modeln [--listen ADDR:PORT] [--model M] [--probes PROBES] [--no-xml]
                          [--fault MODE]
      plays a Model N device until interrupted (default 127.0.0.1 on a free port, model N15).
      PROBES: a probe count, or a list like "T:Inlet,T:Outlet" with T (temperature),
      H (humidity), W (wetness), S (switch); N3, N7 and N15 have temperature probes only, an
      NX2 has its probes in groups of three. --no-xml serves only the text pages.
      MODE: none, not-found, server-error, cut-off, slow, trickle, stall, oversized, malformed.
  ambivox simulate modelq [--com N] [--fault MODE]
      plays a Model Q device on a pseudo-terminal mapped to COMn (default: the first free n)
      until interrupted. MODE: none, silent, slow, lf-only, noisy, disconnecting, flooding,
      late, pausing.

  ambivox demo              registers the module in a private registry, simulates an NX2, an
                            N15 and a Model Q device (and, where a private network namespace
                            can be had, an N3 read through its text pages on port 80), polls
                            each once and prints the readings
  ambivox demo text-pages   the N3 part alone; it serves on port 80 of 127.0.0.1

The registry store is $AMBIVOX_REGISTRY, else $XDG_DATA_HOME/ambivox/registry.db, else
~/.local/share/ambivox/registry.db.

Exit codes:
  0  everything worked (and every device was read)
  1  some devices could not be read, or the command could not do its work
  2  bad usage: the command line or a devices file could not be understood
  3  setup failure: the module is not registered or cannot be loaded, or the registry store
     is unusable
)";
}

}  // namespace ambivox::cli
