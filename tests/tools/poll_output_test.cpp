// `ambivox poll` run as a program against simulated Model N devices serving their XML documents:
// what the devices hold comes out as a table, as one JSON document (parsed back by Python) and
// in the Prometheus exposition format (checked by promtool), devices in the order
// given, and a device that cannot be read is reported without hiding the others.
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/UnusedPort.h"
#include "tests/tools/AmbivoxProgram.h"
#include "tools/simulators/SimulatedModelN.h"

namespace {

using ambivox::simulation::DeviceDocuments;
using ambivox::simulation::SimulatedModelN;
using ambivox::testing::ambivox;

SimulatedModelN::options steady_xml() {
    SimulatedModelN::options settings;
    settings.pages = false;
    settings.drift = false;
    return settings;
}

SimulatedModelN::options failing() {
    SimulatedModelN::options settings = steady_xml();
    settings.mode = SimulatedModelN::fault::not_found;
    return settings;
}

std::vector<std::string> cells(std::string const& line) {
    static std::regex const gap("  +");
    return {std::sregex_token_iterator(line.begin(), line.end(), gap, -1),
            std::sregex_token_iterator()};
}

std::string json_text(std::string_view text) {
    std::string out = "\"";
    for (char const c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

class PollOutput : public ambivox::testing::AmbivoxTest {
protected:
    // Names with quotes, a backslash and a line break, which every format must carry intact.
    SimulatedModelN nx2{DeviceDocuments("NX2", "Server room", "SN-9", "6"), steady_xml()};
    SimulatedModelN n3{DeviceDocuments("N3", "Lab", "SN-3", "T:Inlet \"A\" \\ 1,T:Two\nLines"),
                       steady_xml()};

    std::vector<std::string> two_devices() const {
        return {"poll",       "modeln",  nx2.address(), "--model", "NX2",  "modeln",
                n3.address(), "--model", "N3",          "--name",  "Bench"};
    }

    // Runs a Python check over a file; its output is "ok" or the reason it is not.
    std::string python(std::string const& script, std::string const& input,
                       std::string const& argument = "") {
        std::string const scriptPath = registry.folder() + "/check.py";
        std::string const inputPath = registry.folder() + "/input";
        std::ofstream(scriptPath) << script;
        std::ofstream(inputPath) << input;
        std::string const command =
            "python3 '" + scriptPath + "' '" + inputPath + "' '" + argument + "' 2>&1";
        std::string output;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[512];
            while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
                output.append(buffer, n);
            ::pclose(pipe);
        }
        return output;
    }
};

TEST_F(PollOutput, TableListsEveryProbeOfEveryDeviceInTheOrderGiven) {
    auto const run = ambivox(two_devices());
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    EXPECT_EQ(run.err, "") << "nothing but failures goes to stderr, and no progress off a terminal";

    auto const rows = lines(run.out);
    ASSERT_EQ(rows.size(), 1u + 6u + 2u) << run.out;
    EXPECT_EQ(cells(rows[0]), (std::vector<std::string>{"DEVICE", "PROBE", "NAME", "TYPE", "VALUE",
                                                        "UNIT", "LOCAL TIME"}));
    std::regex const localTime(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)");
    std::size_t row = 1;
    for (auto const* device : {&nx2, &n3}) {
        DeviceDocuments const documents = device->documents();
        std::string const title =
            device == &nx2 ? "Server room (" + nx2.address() + ")" : "Bench (" + n3.address() + ")";
        for (std::size_t i = 0; i < documents.probes().size(); ++i, ++row) {
            auto const& probe = documents.probes()[i];
            auto const c = cells(rows[row]);
            ASSERT_EQ(c.size(), 7u) << rows[row];
            EXPECT_EQ(c[0], title);
            EXPECT_EQ(c[1], std::to_string(i + 1));
            std::string name = probe.name;
            std::replace(name.begin(), name.end(), '\n', ' ');
            EXPECT_EQ(c[2], name);
            EXPECT_EQ(c[3], DeviceDocuments::type_of(probe.letter));
            EXPECT_DOUBLE_EQ(std::stod(c[4]), std::stod(DeviceDocuments::format_value(probe)));
            EXPECT_EQ(c[5], DeviceDocuments::units_of(probe.letter));
            EXPECT_TRUE(std::regex_match(c[6], localTime)) << c[6];
        }
    }
}

TEST_F(PollOutput, JsonIsOneDocumentWithNumbersUnitsAndTimes) {
    auto args = two_devices();
    args.push_back("--json");
    auto const run = ambivox(args);
    ASSERT_EQ(run.code, 0) << run.out << run.err;

    // What the devices hold, as Python should find it in the document.
    std::string expected = "[";
    for (auto const* device : {&nx2, &n3}) {
        DeviceDocuments const documents = device->documents();
        expected += std::string(device == &nx2 ? "" : ",") +
                    "{\"device\":" + json_text(device->address()) +
                    ",\"name\":" + json_text(device == &nx2 ? "Server room" : "Bench") +
                    ",\"model\":" + json_text(documents.model()) +
                    ",\"serial\":" + json_text(documents.serial()) + ",\"firmware\":" +
                    (device == &nx2 ? "[\"2.1\",\"2005-03-14\"]" : "[\"1.4\",\"2003-11-20\"]") +
                    ",\"probes\":[";
        for (std::size_t i = 0; i < documents.probes().size(); ++i) {
            auto const& probe = documents.probes()[i];
            expected += std::string(i ? "," : "") + "{\"name\":" + json_text(probe.name) +
                        ",\"type\":" + json_text(DeviceDocuments::type_of(probe.letter)) +
                        ",\"unit\":" + json_text(DeviceDocuments::units_of(probe.letter)) +
                        ",\"value\":" + DeviceDocuments::format_value(probe) + "}";
        }
        expected += "]}";
    }
    expected += "]";

    std::string const check = R"(
import datetime, json, re, sys
doc = json.load(open(sys.argv[1]))
expected = json.loads(sys.argv[2])
iso = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ")
def utc(epoch):
    return datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
assert type(doc["polled_at_epoch"]) is int and doc["polled_at"] == utc(doc["polled_at_epoch"])
assert [d["device"] for d in doc["devices"]] == [e["device"] for e in expected]
for d, e in zip(doc["devices"], expected):
    assert d["family"] == "modeln" and d["status"] == "ok" and d["error"] is None, d
    assert d["name"] == e["name"], d["name"]
    assert (d["model"], d["serial"]) == (e["model"], e["serial"]), d
    assert [d["firmware_version"], d["firmware_release_date"]] == e["firmware"], d
    assert [p["number"] for p in d["probes"]] == list(range(1, len(e["probes"]) + 1))
    for p, q in zip(d["probes"], e["probes"]):
        r = p["reading"]
        assert (p["name"], p["type"], r["unit"]) == (q["name"], q["type"], q["unit"]), (p, q)
        assert type(r["value"]) in (int, float) and abs(r["value"] - q["value"]) < 1e-9, r
        assert r["valid"] is True
        assert r["raw_value"] == r["value"], r
        assert type(r["time_epoch"]) is int and iso.fullmatch(r["time"])
        assert r["time"] == utc(r["time_epoch"]), r
        assert abs(r["time_epoch"] - doc["polled_at_epoch"]) < 60
print("ok")
)";
    EXPECT_EQ(python(check, run.out, expected), "ok\n") << run.out;
}

// Each quantity in its base unit under a name of its own; names and types on the probe's info.
TEST_F(PollOutput, PrometheusExpositionPassesPromtoolWithBaseUnits) {
    auto args = two_devices();
    args.back() = "Bench\xFF";  // not UTF-8, which no label may be
    args.push_back("--prometheus");
    auto const run = ambivox(args);
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    auto const check = ambivox::testing::promtool(run.out, registry.folder());
    EXPECT_EQ(check.code, 0) << check.out << run.out;

    using ambivox::testing::AmbivoxProgram;
    EXPECT_EQ(AmbivoxProgram::occurrences(run.out, "ambivox_probe_info{"), 8);
    EXPECT_EQ(AmbivoxProgram::occurrences(run.out, "\nambivox_temperature_celsius{"), 4);
    std::string const nx2Device = "{device=\"" + nx2.address() + "\",probe=";
    for (std::string const& line :
         {"ambivox_humidity_ratio" + nx2Device + "\"2\"} 0.48\n",
          "ambivox_temperature_celsius" + nx2Device + "\"1\"} 20\n",
          "ambivox_wetness" + nx2Device + "\"3\"} 0\n",
          "ambivox_probe_info{device=\"Bench\xEF\xBF\xBD\",probe=\"1\"," +
              std::string(R"(name="Inlet \"A\" \\ 1",type="Temperature"} 1)") + "\n",
          std::string(R"(name="Two\nLines")"),
          std::string("ambivox_device_up{device=\"Bench\xEF\xBF\xBD\"} 1"),
          "ambivox_device_up{device=\"" + nx2.address() + "\"} 1\n"})
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
}

// Every line held against the line protocol's grammar: measurement, tags with their commas,
// equals signs and spaces escaped, one field, a time in nanoseconds.
TEST_F(PollOutput, InfluxLinesFollowTheLineProtocol) {
    auto args = two_devices();
    args.back() = "Bench, west=1";
    args.insert(args.end(), {"--format", "influx"});
    auto const run = ambivox(args);
    ASSERT_EQ(run.code, 0) << run.out << run.err;

    std::string const key = R"((?:[^,= \\\n]|\\[,= \\])+)";
    std::regex const line("(ambivox_reading|ambivox_device)((?:," + key + "=" + key +
                          R"()+) (value=-?\d+(?:\.\d+)?(?:e-?\d+)?|up=[01]i) (\d{19}))");
    int readings = 0;
    for (std::string const& text : lines(run.out)) {
        if (text.empty()) continue;
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(text, parts, line)) << text;
        if (parts[1] == "ambivox_reading") ++readings;
    }
    EXPECT_EQ(readings, 8);
    EXPECT_NE(run.out.find(R"(,name=Inlet\ "A"\ \\\ 1,type=Temperature,unit=F value=68 )"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(R"(,name=Bench\,\ west\=1 up=1i )"), std::string::npos) << run.out;
}

// --unit asks the readings themselves to convert: temperatures change scale, others do not.
TEST_F(PollOutput, UnitShowsEveryTemperatureInOneScale) {
    auto args = two_devices();
    args.insert(args.end(), {"--unit", "c", "--json"});
    auto const run = ambivox(args);
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    std::string const check = R"(
import json, sys
doc = json.load(open(sys.argv[1]))
probes = [p for d in doc["devices"] for p in d["probes"]]
temperatures = [p["reading"] for p in probes if p["type"] == "Temperature"]
assert temperatures and all(r["unit"] == "C" for r in temperatures), temperatures
assert abs(temperatures[0]["value"] - (68 - 32) / 1.8) < 1e-9, temperatures[0]
others = [p["reading"] for p in probes if p["type"] != "Temperature"]
assert others and all(r["unit"] != "C" for r in others), others
assert [r["value"] for r in others if r["unit"] == "H"][0] == 48, others
print("ok")
)";
    EXPECT_EQ(python(check, run.out), "ok\n") << run.out;
}

TEST_F(PollOutput, FailingDeviceAmongGoodOnesIsReportedAndTheOthersRead) {
    SimulatedModelN broken(DeviceDocuments("N7", "Broken", "SN-7"), failing());
    std::vector<std::string> const devices = {"poll", "modeln", nx2.address(),    "--model",
                                              "NX2",  "modeln", broken.address(), "--model",
                                              "N7",   "modeln", n3.address()};

    auto const table = ambivox(devices);
    EXPECT_EQ(table.code, 1) << table.out << table.err;
    auto const rows = lines(table.out);
    ASSERT_EQ(rows.size(), 1u + 6u + 1u + 2u) << table.out;
    // The device's own words run to the end of its row.
    auto const failed = cells(rows[7]);
    ASSERT_EQ(failed.size(), 3u) << rows[7];
    EXPECT_EQ(failed[0], broken.address());
    EXPECT_EQ(failed[2].rfind("(poll failed: E_FAIL 0x80004005) http://" + broken.address(), 0), 0u)
        << rows[7];
    EXPECT_EQ(cells(rows[8])[0], "Lab (" + n3.address() + ")");
    EXPECT_NE(table.err.find("ambivox: " + broken.address() + ": http://" + broken.address() +
                             "/xmlconfig: HTTP 404"),
              std::string::npos)
        << table.err;
    EXPECT_NE(table.err.find("E_FAIL (0x80004005)"), std::string::npos) << table.err;
    EXPECT_EQ(ambivox::testing::AmbivoxProgram::occurrences(table.err, "ambivox: "), 1)
        << "only the failed device is reported: " << table.err;

    auto json = devices;
    json.push_back("--json");
    auto const document = ambivox(json);
    EXPECT_EQ(document.code, 1);
    std::string const check = R"(
import json, sys
doc = json.load(open(sys.argv[1]))
assert [d["status"] for d in doc["devices"]] == ["ok", "failed", "ok"]
error = doc["devices"][1]["error"]
assert error["name"] == "E_FAIL" and error["hresult"] == "0x80004005", error
assert error["code"] == 0x80004005 and sys.argv[2] in error["message"], error
assert doc["devices"][1]["probes"] == []
assert len(doc["devices"][2]["probes"]) == 2
unset = {k: doc["devices"][i][k] for i, k in [(2, "model"), (1, "serial"), (1, "firmware_version"),
                                              (1, "firmware_release_date")]}
assert all(v is None for v in unset.values()), unset
print("ok")
)";
    EXPECT_EQ(python(check, document.out, "http://" + broken.address() + "/xmlconfig"), "ok\n")
        << document.out;

    auto prometheus = devices;
    prometheus.push_back("--prometheus");
    auto const metrics = ambivox(prometheus);
    EXPECT_EQ(metrics.code, 1);
    EXPECT_NE(metrics.out.find("ambivox_device_up{device=\"" + broken.address() + "\"} 0\n"),
              std::string::npos);
    EXPECT_NE(metrics.out.find("ambivox_probe_failure_info{device=\"" + broken.address() +
                               "\",reason=\"E_FAIL\",message=\"http://" + broken.address()),
              std::string::npos)
        << metrics.out;
    EXPECT_EQ(metrics.out.find("ambivox_probe_info{device=\"" + broken.address() + "\""),
              std::string::npos);
    EXPECT_EQ(ambivox::testing::AmbivoxProgram::occurrences(metrics.out, "ambivox_probe_info{"), 8);
}

// A failed device's JSON error carries the device's description of the cause: the address or
// port and the step that failed, with the code beside it as before.
TEST_F(PollOutput, FailedDeviceSaysWhyInItsJsonError) {
    SimulatedModelN missing(DeviceDocuments("N7", "Missing", "SN-7"), failing());
    SimulatedModelN::options erring = failing();
    erring.mode = SimulatedModelN::fault::server_error;
    SimulatedModelN broken(DeviceDocuments("N7", "Broken", "SN-8"), erring);
    std::string const refused = "127.0.0.1:" + std::to_string(ambivox::testing::unused_port());
    struct {
        std::vector<std::string> target;
        std::vector<std::string> named;  // all in error.message
    } const cases[] = {
        {{"modeln", missing.address()},
         {"http://" + missing.address() + "/xmlconfig: HTTP 404", "; text pages: "}},
        {{"modeln", broken.address()}, {"http://" + broken.address() + "/xmlconfig: HTTP 500"}},
        {{"modeln", refused}, {"http://" + refused + "/xmlconfig: connection refused"}},
        {{"modelq", "COM900"}, {"COM900"}},
    };
    std::string const check = R"(
import json, sys
error = json.load(open(sys.argv[1]))["devices"][0]["error"]
assert error["name"] == "E_FAIL" and error["hresult"] == "0x80004005", error
missing = [w for w in sys.argv[2].split("\n") if w not in error["message"]]
assert not missing, (missing, error["message"])
print("ok")
)";
    for (auto const& c : cases) {
        SCOPED_TRACE(c.target[1]);
        std::vector<std::string> args{"poll"};
        args.insert(args.end(), c.target.begin(), c.target.end());
        args.push_back("--json");
        auto const run = ambivox(args);
        EXPECT_EQ(run.code, 1) << run.err;
        std::string named;
        for (auto const& words : c.named)
            named += (named.empty() ? "" : "\n") + words;
        EXPECT_EQ(python(check, run.out, named), "ok\n") << run.out;
    }
}

TEST_F(PollOutput, DevicesFromAFileJoinThoseOnTheCommandLine) {
    std::string const file = registry.folder() + "/devices";
    std::ofstream(file) << "# the monitors of the lab\n"
                        << "modeln " << nx2.address() << " --model NX2\n\n"
                        << "  modeln " << n3.address()
                        << " --model n3 --name \"Bench \\\"B\\\"\"  # the one by the window\n";
    auto const run = ambivox({"poll", "modeln", n3.address(), "--from", file});
    ASSERT_EQ(run.code, 0) << run.out << run.err;
    auto const rows = lines(run.out);
    ASSERT_EQ(rows.size(), 1u + 2u + 6u + 2u) << run.out;
    EXPECT_EQ(cells(rows[1])[0], "Lab (" + n3.address() + ")");
    EXPECT_EQ(cells(rows[3])[0], "Server room (" + nx2.address() + ")");
    EXPECT_EQ(cells(rows[9])[0], "Bench \"B\" (" + n3.address() + ")");

    std::ofstream(file, std::ios::app) << "modeln " << n3.address() << " --model N8\n";
    auto const bad = ambivox({"poll", "--from", file});
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.err.find(file + ":5: unknown model \"N8\""), std::string::npos) << bad.err;
    EXPECT_EQ(bad.out, "");
}

TEST_F(PollOutput, UnmappedSerialPortIsAFailedDevice) {
    auto const run = ambivox({"poll", "modelq", "COM900", "modeln", n3.address()});
    EXPECT_EQ(run.code, 1) << run.out << run.err;
    EXPECT_NE(run.err.find("ambivox: COM900: COM900 names no serial device: the registry maps no "
                           "device to it and /dev/ttyS899 does not exist"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("E_FAIL (0x80004005)"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("Lab (" + n3.address() + ")"), std::string::npos) << run.out;
}

}  // namespace
