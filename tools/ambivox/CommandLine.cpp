#include "tools/ambivox/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>

#include "tools/ambivox/ExitCode.h"
#include "tools/ambivox/ReportText.h"
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

// One piece of a device list, in the order the user wrote them: a word ("modeln", an address, a
// port), or the value of --model, --name or --from.
struct device_token {
    enum class kind { word, model, name, from };
    kind what = kind::word;
    std::string value;
};

void check_address(std::string const& address) {
    if (address.empty() || address.starts_with("-"))
        usage("modeln needs an ADDRESS (a host name or IPv4 address, optionally with :PORT)");
    auto const bad = std::find_if(address.begin(), address.end(), [](char c) {
        return std::isspace(static_cast<unsigned char>(c)) || c == '/' || c == '?' || c == '#' ||
               c == '@' || c == '\\';
    });
    if (bad != address.end())
        usage("\"" + address + "\" is not a device address: give a host and optionally :PORT");
    std::size_t const colon = address.rfind(':');
    if (colon != std::string::npos) {
        std::string_view const port = std::string_view(address).substr(colon + 1);
        unsigned value = 0;
        auto const [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (error != std::errc{} || end != port.data() + port.size() || value < 1 || value > 65535)
            usage("\"" + address + "\" is not a device address: its port must be from 1 to 65535");
    }
}

std::string model_of(std::string const& text) {
    std::string const model = upper(text);
    if (!simulation::DeviceDocuments::known_model(model))
        usage("unknown model \"" + text + "\": choose N3, N7, N15 or NX2");
    return model;
}

void read_devices_file(std::string const& path, std::vector<DeviceTarget>& devices);

void add_devices(std::vector<device_token> const& tokens, std::vector<DeviceTarget>& devices) {
    using kind = device_token::kind;
    bool current = false;  // whether --model and --name have a device to describe
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        device_token const& token = tokens[i];
        if (token.what == kind::from) {
            read_devices_file(token.value, devices);
            current = false;
            continue;
        }
        if (token.what != kind::word) {
            std::string const option = token.what == kind::model ? "--model" : "--name";
            if (!current) usage(option + " belongs after the device it describes");
            DeviceTarget& target = devices.back();
            if (token.what == kind::name) {
                if (token.value.empty()) usage("--name needs a name that is not empty");
                target.name = token.value;
            } else {
                if (target.kind == DeviceTarget::family::model_q)
                    usage("a Model Q device has no model to choose (--model is for modeln)");
                target.model = model_of(token.value);
            }
            continue;
        }
        if (token.value != "modeln" && token.value != "modelq")
            usage("unexpected argument \"" + token.value +
                  "\" (a device starts with modeln or modelq)");
        bool const modelQ = token.value == "modelq";
        if (i + 1 >= tokens.size() || tokens[i + 1].what != kind::word)
            usage(modelQ ? "modelq needs a PORT (COMn or a device path)"
                         : "modeln needs an ADDRESS");
        std::string const where = tokens[++i].value;
        DeviceTarget target;
        if (!modelQ) {
            check_address(where);
            target.address = where;
        } else {
            target.kind = DeviceTarget::family::model_q;
            if (where.starts_with('/')) {
                target.path = where;
            } else {
                target.com = CommandLine::com_number(where);
                if (target.com == 0)
                    usage("\"" + where +
                          "\" is not a serial port: give COMn, n from 1 to 999, or a device path");
            }
        }
        devices.push_back(std::move(target));
        current = true;
    }
}

// The words of a devices file as device tokens: "--model N3" and "--model=N3" alike.
std::vector<device_token> tokens_of(std::vector<std::string> const& words) {
    std::vector<device_token> tokens;
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::string word = words[i];
        std::string value;
        bool hasValue = false;
        if (std::size_t const eq = word.find('='); word.starts_with("--") && eq != word.npos) {
            value = word.substr(eq + 1);
            word.resize(eq);
            hasValue = true;
        }
        if (word != "--model" && word != "--name") {
            if (word.starts_with("-")) usage("only devices belong here, not \"" + words[i] + "\"");
            tokens.push_back({device_token::kind::word, words[i]});
            continue;
        }
        if (!hasValue) {
            if (i + 1 >= words.size()) usage(word + " needs a value");
            value = words[++i];
        }
        tokens.push_back(
            {word == "--model" ? device_token::kind::model : device_token::kind::name, value});
    }
    return tokens;
}

void read_devices_file(std::string const& path, std::vector<DeviceTarget>& devices) {
    std::ifstream file;
    std::istream* in = &std::cin;
    if (path != "-") {
        std::error_code error;
        if (std::filesystem::is_directory(path, error))
            usage("\"" + path + "\" is a folder, not a devices file");
        file.open(path);
        if (!file) usage("cannot read the devices file \"" + path + "\"");
        in = &file;
    }
    std::string line;
    for (int number = 1; std::getline(*in, line); ++number) {
        try {
            add_devices(tokens_of(CommandLine::split_line(line)), devices);
        } catch (UsageError const& error) {
            usage(path + ":" + std::to_string(number) + ": " + error.what());
        }
    }
}

double seconds_of(std::string const& option, std::string const& text, double low, double high) {
    char* end = nullptr;
    double const value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value) || value < low ||
        value > high)
        usage(option + " needs a number of seconds from " + ReportText::number(low) + " to " +
              ReportText::number(high) + ", not \"" + text + "\"");
    return value;
}

int whole_number_of(std::string const& option, std::string const& text, int low, int high,
                    char const* what) {
    int value = 0;
    auto const [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < low || value > high)
        usage(option + " needs " + what + ", not \"" + text + "\"");
    return value;
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

constexpr char const* model_q_faults =
    "none, silent, slow, lf-only, noisy, disconnecting, flooding, late, pausing";

}  // namespace

// The arguments of one command as CLI11 read them, text to be checked in finish().
struct raw_values {
    std::vector<std::string> words;
    bool json = false;
    bool prometheus = false;
    bool table = false;
    bool no_xml = false;
    bool steady = false;
    std::string format;
    std::string unit;
    std::string watch;
    std::string count;
    std::string timeout;
    std::string warning;
    std::string critical;
    std::string probe;
    std::string com;
    std::string listen;
    std::string model;
    std::string fault;
};

struct RawArguments {
    raw_values poll;
    raw_values check;
    raw_values ports;
    raw_values modeln;
    raw_values modelq;
};

namespace {

// The device list of `command` in the order it was written: positional words and the values of
// --model, --name and --from, interleaved as CLI11 met them.
std::vector<device_token> device_tokens(CLI::App const& command) {
    std::map<CLI::Option const*, std::size_t> used;
    std::vector<device_token> tokens;
    for (CLI::Option const* option : command.parse_order()) {
        std::string const name = option->get_name();
        device_token::kind what = device_token::kind::word;
        if (name == "--model")
            what = device_token::kind::model;
        else if (name == "--name")
            what = device_token::kind::name;
        else if (name == "--from")
            what = device_token::kind::from;
        else if (name != "DEVICE")
            continue;
        std::size_t const at = used[option]++;
        if (at < option->results().size()) tokens.push_back({what, option->results()[at]});
    }
    return tokens;
}

void add_device_options(CLI::App& command, raw_values& raw) {
    command
        .add_option("DEVICE", raw.words,
                    "modeln ADDRESS [--model M] [--name N], modelq PORT [--name N], ...")
        ->expected(0, CLI::detail::expected_max_vector_size)
        ->type_name("");
    command.add_option("--model", "the model of the modeln before it: N3, N7, N15 or NX2")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->type_name("M");
    command.add_option("--name", "a name for the device before it")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->type_name("NAME");
    command.add_option("-f,--from", "more devices, in the same words (\"-\": standard input)")
        ->type_name("FILE")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

std::string unit_of(std::string const& text) {
    std::string const unit = upper(text);
    if (unit != "C" && unit != "F") usage("--unit needs C or F, not \"" + text + "\"");
    return unit;
}

constexpr char const* devices_help = R"(
Devices:
  modeln ADDRESS [--model N3|N7|N15|NX2] [--name NAME]
      a network device at HOST or HOST:PORT (its XML documents are fetched there, its text
      pages always on port 80 of HOST)
  modelq PORT [--name NAME]
      a serial device on PORT: COMn, n, or a device path such as /dev/ttyUSB0 (mapped to a free
      COM number for the poll only)
  Devices are polled at the same time, each on a thread of its own, and reported in the order
  given. A devices file holds the same words, one or more devices a line; "#" starts a comment.
)";

}  // namespace

CommandLine::~CommandLine() = default;

CommandLine::CommandLine()
    : m_app(
          "ambivox: polls Ambivox environmental monitors through the registered AmbivoxSDK "
          "module.",
          "ambivox"),
      m_raw(std::make_unique<RawArguments>()) {
    m_app.allow_extras();
    m_app.require_subcommand(0, 1);
    m_app.add_flag("--version", m_version,
                   "print the version, the module 'register' would take and the registry store");
    m_app.footer(R"(
Each command has its own help: ambivox COMMAND --help.

The registry store is $AMBIVOX_REGISTRY, else $XDG_DATA_HOME/ambivox/registry.db, else
~/.local/share/ambivox/registry.db.

Exit codes:
  0  everything worked (and every device was read)
  1  some devices could not be read, or the command could not do its work
  2  bad usage: the command line or a devices file could not be understood
  3  setup failure: the module is not registered or cannot be loaded, or the registry store
     is unusable
  'ambivox check' follows the monitoring-plugin codes instead: 0 OK, 1 WARNING, 2 CRITICAL,
  3 UNKNOWN.)");
    add_poll();
    add_check();
    add_registry_commands();
    add_simulate();
    add_demo();
}

void CommandLine::add_poll() {
    m_poll = m_app.add_subcommand("poll",
                                  "poll devices once or at a fixed rate and print their "
                                  "readings");
    raw_values& raw = m_raw->poll;
    add_device_options(*m_poll, raw);
    m_poll->add_flag("--table", raw.table,
                     "a table: device, probe, name, type, value, unit, "
                     "local time (default)");
    m_poll->add_flag("--json", raw.json, "one JSON document per poll (one a line with --watch)");
    m_poll->add_flag("--prometheus", raw.prometheus, "the Prometheus text exposition format");
    m_poll->add_option("--format", raw.format,
                       "table, json, prometheus or influx (InfluxDB line "
                       "protocol, for Telegraf's exec input)");
    m_poll->add_option("--unit", raw.unit, "every temperature in that scale")->type_name("C|F");
    m_poll
        ->add_option("--watch", raw.watch,
                     "poll again at this fixed rate until interrupted (Ctrl-C)")
        ->type_name("SECONDS");
    m_poll->add_option("--count", raw.count, "with --watch, stop after N polls")->type_name("N");
    m_poll
        ->add_option("--timeout", raw.timeout,
                     "bound the whole run; devices still polling then are reported as timed "
                     "out")
        ->type_name("SECONDS");
    m_poll
        ->add_option("-o,--output", m_command.poll.output,
                     "each poll replaces FILE in one step, as a Prometheus textfile collector "
                     "expects")
        ->type_name("FILE");
    m_poll->add_flag("--exit-zero", m_command.poll.exit_zero,
                     "exit 0 even when devices failed (they are still reported), as Telegraf "
                     "wants");
    m_poll->footer(std::string(devices_help) + R"(
Examples:
  ambivox poll modeln 192.168.1.40 --model N15
  ambivox poll modelq COM1 --name "Tank A" --unit C
  ambivox poll modelq /dev/ttyUSB0
  ambivox poll modeln 10.0.0.7 --model NX2 modeln 10.0.0.8 modelq 3 --json --timeout 20
  ambivox poll --from devices.txt --prometheus --watch 60 --output /var/lib/node_exporter/ambivox.prom
  ambivox poll --from devices.txt --format influx --exit-zero      # Telegraf exec input

Exit codes: 0 every device read, 1 some failed or timed out (0 with --exit-zero), 2 bad usage,
3 setup failure (module not registered, registry unusable).)");
}

void CommandLine::add_check() {
    m_check = m_app.add_subcommand(
        "check",
        "a monitoring plugin (Nagios, Icinga, Centreon): poll once, compare with "
        "thresholds");
    raw_values& raw = m_raw->check;
    add_device_options(*m_check, raw);
    m_check->add_option("-w,--warning", raw.warning, "WARNING when a value is outside RANGE")
        ->type_name("RANGE");
    m_check->add_option("-c,--critical", raw.critical, "CRITICAL when a value is outside RANGE")
        ->type_name("RANGE");
    m_check->add_option("-p,--probe", raw.probe, "check probe N alone (default: every probe)")
        ->type_name("N");
    m_check->add_option("--unit", raw.unit, "every temperature in that scale")->type_name("C|F");
    m_check->add_option("-t,--timeout", raw.timeout, "bound the whole check")->type_name("SECONDS");
    m_check->footer(std::string(devices_help) + R"(
Ranges: 10 (alert outside 0..10), 10: (below 10), ~:10 (above 10), 10:20 (outside 10..20),
@10:20 (inside 10..20, ends included).

Prints one status line with performance data ('label'=value[UOM];warn;crit). A failed or
timed-out poll is CRITICAL; a probe without a reading, a temperature that cannot be put into
the --unit scale, a missing probe, bad usage and a setup failure are UNKNOWN.

Examples:
  ambivox check modeln 192.168.1.40 --model N15 --probe 1 -w 15:27 -c 10:32 --unit C
  ambivox check modelq COM1 -w '~:80' -c '~:90' -t 20    # quoted: the shell expands ~

Exit codes: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.)");
}

void CommandLine::add_registry_commands() {
    CLI::App* reg = m_app.add_subcommand("register", "register the module in the registry store");
    reg->add_option("MODULE", m_command.module,
                    "the module file (default: AmbivoxSDK.so beside "
                    "ambivox, else the installed one)");
    reg->footer("\nExample:\n  AMBIVOX_REGISTRY=/tmp/registry.db ambivox register");
    reg->callback([this] { m_command.what = Command::kind::register_module; });
    CLI::App* unreg =
        m_app.add_subcommand("unregister", "remove the module's registration from the store");
    unreg->add_option("MODULE", m_command.module, "the module file (default as for register)");
    unreg->callback([this] { m_command.what = Command::kind::unregister_module; });

    CLI::App* registry = m_app.add_subcommand("registry", "look into the registry store");
    registry->require_subcommand(1);
    CLI::App* dump = registry->add_subcommand("dump",
                                              "list the store, or the KEY below a root, "
                                              "in the .reg form");
    dump->add_option("KEY", m_command.key,
                     "HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER (or HKCR, HKLM, "
                     "HKCU) and a path below it");
    dump->footer("\nExample:\n  ambivox registry dump 'HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM'");
    dump->callback([this] { m_command.what = Command::kind::registry_dump; });

    CLI::App* ports = m_app.add_subcommand("ports", "list, map and unmap serial ports (COMn)");
    ports->footer(
        "\nCOMn is /dev/ttyS<n-1> unless mapped.\n\nExamples:\n  ambivox ports\n"
        "  ambivox ports map COM3 /dev/ttyUSB0\n  ambivox ports unmap COM3");
    ports->callback([this] {
        if (m_command.what == Command::kind::none) m_command.what = Command::kind::ports_list;
    });
    auto* com = &m_raw->ports.com;
    CLI::App* map = ports->add_subcommand("map", "let COMn stand for DEVICE");
    map->add_option("COMn", *com, "the port: COMn or n")->required();
    map->add_option("DEVICE", m_command.device, "the device path, e.g. /dev/ttyUSB0")->required();
    map->callback([this] { m_command.what = Command::kind::ports_map; });
    CLI::App* unmap = ports->add_subcommand("unmap", "remove COMn's mapping");
    unmap->add_option("COMn", *com, "the port: COMn or n")->required();
    unmap->callback([this] { m_command.what = Command::kind::ports_unmap; });
}

void CommandLine::add_simulate() {
    CLI::App* simulate =
        m_app.add_subcommand("simulate", "play a device until interrupted, to try clients on");
    simulate->require_subcommand(1);
    CLI::App* modeln = simulate->add_subcommand("modeln",
                                                "play a Model N device on a loopback "
                                                "port");
    raw_values& n = m_raw->modeln;
    modeln->add_option("--listen", n.listen, "where to serve (default 127.0.0.1, a free port)")
        ->type_name("ADDRESS[:PORT]");
    modeln->add_option("--model", n.model, "N3, N7, N15 or NX2 (default N15)")->type_name("M");
    modeln->add_option("--probes", m_command.modeln.probes,
                       "a count, or a list like \"T:Inlet,T:Outlet\" with T (temperature), H "
                       "(humidity), W (wetness), S (switch)");
    modeln->add_flag("--no-xml", n.no_xml, "serve the text pages only");
    modeln->add_flag("--steady", n.steady, "keep the readings as they start instead of drifting");
    modeln->add_option("--fault", n.fault, std::string(simulation::SimulatedModelN::fault_names))
        ->type_name("MODE");
    modeln->footer(R"(
N3, N7 and N15 have temperature probes only; an NX2 has its probes in groups of three.

Examples:
  ambivox simulate modeln --model NX2 --probes 6          # prints the address to poll
  ambivox simulate modeln --no-xml --listen 127.0.0.1:80  # text pages only (port 80 needs root)
  ambivox simulate modeln --fault cut-off)");
    modeln->callback([this] { m_command.what = Command::kind::simulate_modeln; });

    CLI::App* modelq = simulate->add_subcommand(
        "modelq", "play a Model Q device on a pseudo-terminal mapped to COMn");
    raw_values& q = m_raw->modelq;
    modelq->add_option("--com", q.com, "the COM number (default: the first free one)")
        ->type_name("N");
    modelq->add_option("--fault", q.fault, model_q_faults)->type_name("MODE");
    modelq->footer(
        "\nExample:\n  ambivox simulate modelq --com 3   # then: ambivox poll modelq "
        "COM3");
    modelq->callback([this] { m_command.what = Command::kind::simulate_modelq; });
}

void CommandLine::add_demo() {
    CLI::App* demo = m_app.add_subcommand(
        "demo", "simulate devices in a private registry store, poll each once, print readings");
    demo->footer(
        "\nSimulates an NX2, an N15 and a Model Q device (and, where a private network "
        "namespace\ncan be had, an N3 read through its text pages on port 80).");
    demo->callback([this] {
        if (m_command.what == Command::kind::none) m_command.what = Command::kind::demo;
    });
    CLI::App* pages = demo->add_subcommand("text-pages",
                                           "the N3 part alone, on port 80 of "
                                           "127.0.0.1");
    pages->callback([this] { m_command.what = Command::kind::demo_text_pages; });
}

std::optional<int> CommandLine::parse(int argc, char const* const* argv) {
    std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    bool const checking = !args.empty() && args[0] == "check";
    if (!args.empty() && args[0] == "help") args[0] = "--help";
    // The innermost command the arguments reached, to point its help.
    auto const command_path = [this] {
        std::string path = "ambivox";
        for (CLI::App const* app = &m_app; !app->get_subcommands().empty();) {
            app = app->get_subcommands().front();
            path += " " + app->get_name();
        }
        return path;
    };
    try {
        if (args.empty())
            usage(
                "say what to do: poll, check, serve, simulate, demo, register, registry "
                "or ports (see 'ambivox --help')");
        std::reverse(args.begin(), args.end());
        m_app.parse(args);
        finish();
        return std::nullopt;
    } catch (CLI::CallForHelp const&) {
        std::cout << m_app.help();
        return exit_ok;
    } catch (CLI::CallForAllHelp const&) {
        std::cout << m_app.help("", CLI::AppFormatMode::All);
        return exit_ok;
    } catch (std::exception const& error) {
        std::string why = error.what();
        // CLI11's words for an option given twice are about counts.
        if (std::size_t const at = why.find(": At Most 1 required but received");
            at != std::string::npos && dynamic_cast<CLI::ArgumentMismatch const*>(&error))
            why = why.substr(0, at) + " is given more than once; give it once";
        if (dynamic_cast<CLI::RequiredError const*>(&error) && why.starts_with("A subcommand")) {
            CLI::App const* app = &m_app;
            while (!app->get_subcommands().empty())
                app = app->get_subcommands().front();
            why = app->get_name() + " needs one of:";
            for (CLI::App const* sub : app->get_subcommands({}))
                why += " " + sub->get_name();
        }
        if (checking) {
            std::cout << "AMBIVOX UNKNOWN - bad usage: " << why << "\n";
            return 3;
        }
        std::cerr << "ambivox: " << why << "\nTry '" << command_path() << " --help'.\n";
        return exit_usage;
    }
}

void CommandLine::finish() {
    for (std::string const& extra : m_app.remaining(true)) {
        if (m_app.get_subcommands().empty()) usage("unknown command \"" + extra + "\"");
        if (extra.starts_with("-") && extra.size() > 1)
            usage("unknown option \"" + extra.substr(0, extra.find('=')) + "\"");
        usage("unexpected argument \"" + extra + "\"");
    }
    if (m_app.get_subcommands().empty()) {
        if (m_version) {
            m_command.what = Command::kind::version;
            return;
        }
        if (m_command.what == Command::kind::none)
            usage(
                "say what to do: poll, check, serve, simulate, demo, register, registry or ports");
        return;
    }
    if (m_poll->parsed()) {
        m_command.what = Command::kind::poll;
        PollOptions& poll = m_command.poll;
        raw_values const& raw = m_raw->poll;
        add_devices(device_tokens(*m_poll), poll.devices);
        if (poll.devices.empty())
            usage("poll needs at least one device: modeln ADDRESS or modelq PORT");
        int const formats = raw.json + raw.prometheus + raw.table + !raw.format.empty();
        if (formats > 1) usage("choose one output: --table, --json, --prometheus or --format");
        if (raw.json) poll.format = OutputFormat::json;
        if (raw.prometheus) poll.format = OutputFormat::prometheus;
        if (!raw.format.empty()) {
            std::string const format = upper(raw.format);
            if (format == "JSON")
                poll.format = OutputFormat::json;
            else if (format == "PROMETHEUS")
                poll.format = OutputFormat::prometheus;
            else if (format == "INFLUX")
                poll.format = OutputFormat::influx;
            else if (format != "TABLE")
                usage("--format needs table, json, prometheus or influx, not \"" + raw.format +
                      "\"");
        }
        if (!raw.unit.empty()) poll.unit = unit_of(raw.unit);
        if (!raw.watch.empty()) poll.watch_seconds = seconds_of("--watch", raw.watch, 0.05, 86400);
        if (!raw.timeout.empty())
            poll.timeout_seconds = seconds_of("--timeout", raw.timeout, 0.1, 86400 * 366);
        if (!raw.count.empty()) {
            if (raw.watch.empty()) usage("--count goes with --watch");
            poll.rounds = whole_number_of("--count", raw.count, 1, 1 << 30,
                                          "a whole number of rounds from 1 up");
        }
        if (m_poll->count("--output") > 0 && poll.output.empty())
            usage("--output needs a file name that is not empty");
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
        return;
    }
    if (m_check->parsed()) {
        m_command.what = Command::kind::check;
        CheckOptions& check = m_command.check;
        raw_values const& raw = m_raw->check;
        add_devices(device_tokens(*m_check), check.devices);
        if (check.devices.empty())
            usage("check needs at least one device: modeln ADDRESS or modelq PORT");
        if (!raw.warning.empty()) check.warning = ThresholdRange::parse(raw.warning);
        if (!raw.critical.empty()) check.critical = ThresholdRange::parse(raw.critical);
        if (!raw.probe.empty())
            check.probe = whole_number_of("--probe", raw.probe, 1, 32767, "a probe number");
        if (!raw.unit.empty()) check.unit = unit_of(raw.unit);
        if (!raw.timeout.empty())
            check.timeout_seconds = seconds_of("--timeout", raw.timeout, 0.1, 86400);
        return;
    }
    if (m_command.what == Command::kind::ports_map ||
        m_command.what == Command::kind::ports_unmap) {
        std::string const& text = m_raw->ports.com;
        m_command.com = com_number(text);
        if (m_command.com == 0)
            usage("\"" + text + "\" is not a serial port: give COMn, n from 1 to 999");
        if (m_command.what == Command::kind::ports_map && m_command.device.empty())
            usage("ports map needs a DEVICE path");
        return;
    }
    if (m_command.what == Command::kind::simulate_modeln) {
        raw_values const& raw = m_raw->modeln;
        SimulateModelNOptions& options = m_command.modeln;
        if (!raw.listen.empty()) {
            std::size_t const colon = raw.listen.rfind(':');
            options.host = raw.listen.substr(0, colon);
            if (colon != std::string::npos)
                options.port = static_cast<std::uint16_t>(
                    whole_number_of("--listen", raw.listen.substr(colon + 1), 1, 65535,
                                    "ADDRESS:PORT with a port from 1 to 65535"));
            if (options.host.empty()) options.host = "127.0.0.1";
        }
        if (!raw.model.empty()) options.model = model_of(raw.model);
        options.xml = !raw.no_xml;
        options.drift = !raw.steady;
        if (!raw.fault.empty()) {
            auto const fault = simulation::SimulatedModelN::parse_fault(raw.fault);
            if (!fault)
                usage("unknown fault \"" + raw.fault + "\": choose one of " +
                      std::string(simulation::SimulatedModelN::fault_names));
            options.fault = *fault;
        }
        // Refuse probes the model cannot have now, not after the port is bound.
        try {
            simulation::DeviceDocuments(options.model, "Check", "Check", options.probes);
        } catch (std::invalid_argument const& error) {
            usage(std::string("--probes: ") + error.what());
        }
        return;
    }
    if (m_command.what == Command::kind::simulate_modelq) {
        raw_values const& raw = m_raw->modelq;
        if (!raw.com.empty()) {
            m_command.modelq.com = com_number(raw.com);
            if (m_command.modelq.com == 0)
                usage("--com needs a port number from 1 to 999, not \"" + raw.com + "\"");
        }
        if (!raw.fault.empty()) {
            auto const fault = model_q_fault(raw.fault);
            if (!fault)
                usage("unknown fault \"" + raw.fault + "\": choose one of " + model_q_faults);
            m_command.modelq.fault = *fault;
        }
    }
}

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

}  // namespace ambivox::cli
