// The devices as a client sees them: the registered module, objects made by CoCreateInstance.
//
// - ModelNXmlPoll: one Model N poll by the XML documents on loopback, against TwoRawCurlGets,
//   libcurl fetching the same two documents with nothing else. Goal: poll <= 1.1 x the GETs.
// - ModelNXmlPollOnKeepAlive: the same against a device that keeps its connections open.
// - CreateDataPointThroughTheRuntime: one CoCreateInstance of a module class, of which a poll
//   makes several.
// - ExpatAloneOnPollDocuments: expat with handlers that do nothing, reading the poll's two
//   documents in a fresh parser each as a poll must: what parsing costs with no reader, bridge,
//   records or objects at all, so the lowest a poll can come to is TwoRawCurlGets plus this.
// - ModelQPoll, ModelQPollAtLinePace: one Model Q poll against the pseudo-terminal simulator
//   answering at once or at a 9600 baud line's pace, wall and CPU time (the calling thread's),
//   against the floor of 1.5 s plus the line time of the reply (which the protocol's second
//   wait absorbs for any reply shorter than a second).
// - ConcurrentModelNPolls/N: N devices, each polled from a thread of its own (each with the
//   runtime initialised), every round one poll per device, served by one simulator per ten
//   devices. "us_per_poll" is the round's wall time divided by N. Goal: at N = 100 at most
//   2 x the us_per_poll of one device alone (N = 1).
// - LargeModelNPoll/N: the first poll of a new device object whose documents hold N probe
//   records (numbers past the largest probe number are refused, as a device's would be), end to
//   end on loopback. Goals: at N = 10,000 at most 50 ms; the time per record at 40,000 close to
//   that at 10,000 (linear in the document).
// - LargeModelNRead/N: the same poll as `ambivox poll` makes it, the probes read back into its
//   report as well. Goal: the time per record at 40,000 close to that at 10,000.
// - ModelNPollOfManyUnits/N: a poll of 1,000 probes whose data document holds N units before
//   the one with the readings. Goal: the time per unit at 40,000 close to that at 10,000.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <dlfcn.h>
#include <expat.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ambivox/AmbivoxSDK.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/base/CodePage.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ComRuntime.h"
#include "tests/support/TempRegistry.h"
#include "tools/ambivox/DeviceReader.h"
#include "tools/simulators/HttpDeviceSimulator.h"
#include "tools/simulators/ModelQSimulator.h"

namespace {

using ambivox::com_ptr;
using ambivox::unique_bstr;
using ambivox::simulation::HttpDeviceSimulator;
using ambivox::simulation::ModelQSimulator;

std::string const configuration = R"(<?xml version="1.0" encoding="UTF-8"?>
<Ambivox id="S00412"><Unit><Name>Server room</Name><Model>NX2</Model>
<Serial_Number>S00412</Serial_Number><Firmware_Release_Date>2021-03-09</Firmware_Release_Date>
<Firmware_Version>2.1.7</Firmware_Version><Website>http://www.ambivox.example/</Website>
<Manufacturer>Ambivox</Manufacturer></Unit>
<Group id="1"><Name>Rack A</Name>
<Probe id="1" type="Temperature"><Name>Intake</Name><Units>F</Units></Probe>
<Probe id="2" type="Humidity"><Name>Humidity</Name><Units>H</Units></Probe>
<Probe id="3" type="Wetness"><Name>Floor</Name><Units>W</Units></Probe></Group>
<Group id="2"><Name>Rack B</Name>
<Probe id="4" type="Temperature"><Name>Exhaust</Name><Units>F</Units></Probe>
<Probe id="5" type="Humidity"><Name>Humidity B</Name><Units>H</Units></Probe>
<Probe id="6" type="Wetness"><Name>Floor B</Name><Units>W</Units></Probe></Group></Ambivox>)";

std::string const data = R"(<?xml version="1.0" encoding="UTF-8"?>
<Ambivox id="S00412"><Group id="1"><Probe id="1"><Value>71.6</Value></Probe>
<Probe id="2"><Value>45</Value></Probe><Probe id="3"><Value>0</Value></Probe></Group>
<Group id="2"><Probe id="4"><Value>88.1</Value></Probe><Probe id="5"><Value>38</Value></Probe>
<Probe id="6"><Value>0</Value></Probe></Group></Ambivox>)";

// The module registered into a private store for the whole run, as a client's installer would.
class RegisteredModule {
public:
    RegisteredModule() : m_handle(dlopen(AMBIVOX_SDK_MODULE_PATH, RTLD_NOW | RTLD_LOCAL)) {
        auto const registerServer =
            m_handle != nullptr
                ? reinterpret_cast<HRESULT (*)()>(dlsym(m_handle, "DllRegisterServer"))
                : nullptr;
        m_registered = registerServer != nullptr && registerServer() == S_OK;
    }
    ~RegisteredModule() {
        if (m_handle != nullptr) dlclose(m_handle);
    }
    RegisteredModule(RegisteredModule const&) = delete;
    RegisteredModule& operator=(RegisteredModule const&) = delete;

    bool registered() const noexcept { return m_registered; }

    static RegisteredModule& instance() {
        static ambivox::testing::TempRegistry registry;
        static RegisteredModule module;
        return module;
    }

private:
    void* m_handle;
    bool m_registered = false;
};

// The runtime initialised on the calling thread for the owner's lifetime.
struct Apartment {
    Apartment() { CoInitialize(nullptr); }
    ~Apartment() { CoUninitialize(); }
    Apartment(Apartment const&) = delete;
    Apartment& operator=(Apartment const&) = delete;
};

std::unique_ptr<HttpDeviceSimulator> serving_device() {
    auto device = std::make_unique<HttpDeviceSimulator>();
    device->serve("/xmlconfig", configuration);
    device->serve("/xmldata", data);
    return device;
}

com_ptr<IAmbivoxModelN> model_n(HttpDeviceSimulator const& device) {
    com_ptr<IAmbivoxModelN> monitor;
    if (FAILED(CoCreateInstance(CLSID_AmbivoxModelN, nullptr, CLSCTX_ALL, IAmbivoxModelN::iid,
                                monitor.put_void())))
        return nullptr;
    std::string const address = "127.0.0.1:" + std::to_string(device.port());
    unique_bstr const text(ambivox::widen(address, CP_UTF8));
    monitor->put_IpAddress(text.get());
    return monitor;
}

double thread_cpu_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void ModelNXmlPoll(benchmark::State& state) {
    if (!RegisteredModule::instance().registered()) return state.SkipWithError("not registered");
    Apartment apartment;
    auto device = serving_device();
    auto monitor = model_n(*device);
    if (!monitor) return state.SkipWithError("no device object");
    for (auto _ : state) {
        if (monitor->Poll() != S_OK) return state.SkipWithError("poll failed");
    }
}
BENCHMARK(ModelNXmlPoll)->Unit(benchmark::kMicrosecond);

// The same poll of a device that keeps its connection open between requests: both documents of a
// poll, and the next poll's, come over one connection.
void ModelNXmlPollOnKeepAlive(benchmark::State& state) {
    if (!RegisteredModule::instance().registered()) return state.SkipWithError("not registered");
    Apartment apartment;
    auto device = serving_device();
    device->set_keep_alive(true);
    auto monitor = model_n(*device);
    if (!monitor) return state.SkipWithError("no device object");
    for (auto _ : state) {
        if (monitor->Poll() != S_OK) return state.SkipWithError("poll failed");
    }
}
BENCHMARK(ModelNXmlPollOnKeepAlive)->Unit(benchmark::kMicrosecond);

std::size_t keep_body(char* bytes, std::size_t size, std::size_t count, void* body) {
    static_cast<std::string*>(body)->append(bytes, size * count);
    return size * count;
}

// A handle per request, as the poll's requests have.
bool raw_get(std::string const& url, std::string& body) {
    CURL* easy = curl_easy_init();
    if (easy == nullptr) return false;
    body.clear();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &keep_body);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    bool const ok = curl_easy_perform(easy) == CURLE_OK;
    curl_easy_cleanup(easy);
    return ok;
}

void TwoRawCurlGets(benchmark::State& state) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    auto device = serving_device();
    std::string const config = device->url("/xmlconfig");
    std::string const values = device->url("/xmldata");
    std::string body;
    for (auto _ : state) {
        if (!raw_get(config, body) || !raw_get(values, body))
            return state.SkipWithError("GET failed");
        benchmark::DoNotOptimize(body.data());
    }
}
BENCHMARK(TwoRawCurlGets)->Unit(benchmark::kMicrosecond);

void XMLCALL ignore_start(void*, XML_Char const*, XML_Char const**) {}
void XMLCALL ignore_end(void*, XML_Char const*) {}
void XMLCALL ignore_text(void*, XML_Char const*, int) {}

void ExpatAloneOnPollDocuments(benchmark::State& state) {
    for (auto _ : state) {
        for (std::string const* document : {&configuration, &data}) {
            XML_Parser parser = XML_ParserCreateNS(nullptr, '\x01');
            XML_SetReturnNSTriplet(parser, XML_TRUE);
            XML_SetElementHandler(parser, ignore_start, ignore_end);
            XML_SetCharacterDataHandler(parser, ignore_text);
            if (XML_Parse(parser, document->data(), static_cast<int>(document->size()), XML_TRUE) !=
                XML_STATUS_OK)
                state.SkipWithError("parse failed");
            XML_ParserFree(parser);
        }
    }
}
BENCHMARK(ExpatAloneOnPollDocuments)->Unit(benchmark::kMicrosecond);

// What each object a poll makes through the runtime costs (a Model N poll of six probes makes
// two connectors and six data points this way).
void CreateDataPointThroughTheRuntime(benchmark::State& state) {
    if (!RegisteredModule::instance().registered()) return state.SkipWithError("not registered");
    Apartment apartment;
    for (auto _ : state) {
        com_ptr<IDataPoint> point;
        if (FAILED(CoCreateInstance(CLSID_DataPoint, nullptr, CLSCTX_ALL, IDataPoint::iid,
                                    point.put_void())))
            return state.SkipWithError("no data point");
    }
}
BENCHMARK(CreateDataPointThroughTheRuntime)->Unit(benchmark::kMicrosecond);

// paced: the simulator sends the reply a byte per millisecond, about the pace of a 9600 baud
// line (a pseudo-terminal has no line time of its own); otherwise the reply is there at once.
void model_q_poll(benchmark::State& state, bool paced) {
    if (!RegisteredModule::instance().registered()) return state.SkipWithError("not registered");
    Apartment apartment;
    ModelQSimulator::options options;
    options.behaviour = paced ? ModelQSimulator::mode::slow : ModelQSimulator::mode::answering;
    options.byte_delay = std::chrono::milliseconds(1);
    ModelQSimulator simulator(options);
    simulator.map_to(31);
    com_ptr<IAmbivoxModelQ> device;
    if (FAILED(CoCreateInstance(CLSID_AmbivoxModelQ, nullptr, CLSCTX_ALL, IAmbivoxModelQ::iid,
                                device.put_void())))
        return state.SkipWithError("no device object");
    unique_bstr const port(u"31");
    device->put_ComPort(port.get());

    // The protocol's two waits, then whatever of the reply's line time (ten bit times a byte at
    // 9600 baud) does not fit into the second wait, which the reply arrives during.
    std::size_t const replyBytes =
        options.probe1.size() + options.probe2.size() + options.battery.size() + 6;
    double const lineSeconds = static_cast<double>(replyBytes) * 10.0 / 9600.0;
    double const floorSeconds = 1.5 + std::max(0.0, lineSeconds - 1.0);
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        double const cpuStart = thread_cpu_seconds();
        auto const start = std::chrono::steady_clock::now();
        if (device->Poll() != S_OK) return state.SkipWithError("poll failed");
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu += thread_cpu_seconds() - cpuStart;
    }
    auto const polls = static_cast<double>(state.iterations());
    state.counters["floor_ms"] = floorSeconds * 1e3;
    state.counters["wall_ms"] = wall / polls * 1e3;
    state.counters["over_floor_ms"] = (wall / polls - floorSeconds) * 1e3;
    state.counters["cpu_ms"] = cpu / polls * 1e3;
}
void ModelQPoll(benchmark::State& state) {
    model_q_poll(state, false);
}
void ModelQPollAtLinePace(benchmark::State& state) {
    model_q_poll(state, true);
}
BENCHMARK(ModelQPoll)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ModelQPollAtLinePace)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// Grouped configuration and data documents of `probes` records, as a big device serves them.
std::string large_configuration(int probes) {
    std::string doc =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Ambivox id=\"S00412\"><Unit><Name>Big"
        "</Name><Model>NX2</Model><Serial_Number>S00412</Serial_Number></Unit>";
    static char const* const types[] = {"Temperature", "Humidity", "Wetness"};
    static char const* const units[] = {"F", "H", "W"};
    for (int probe = 1; probe <= probes; ++probe) {
        int const position = (probe - 1) % 3;
        std::string const number = std::to_string(probe);
        if (position == 0) doc += "<Group id=\"" + std::to_string((probe + 2) / 3) + "\">";
        doc += "<Probe id=\"" + number + "\" type=\"" + types[position] + "\"><Name>Probe " +
               number + "</Name><Units>" + units[position] + "</Units></Probe>";
        if (position == 2 || probe == probes) doc += "</Group>";
    }
    return doc + "</Ambivox>";
}

std::string large_data(int probes) {
    std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Ambivox id=\"S00412\">";
    for (int probe = 1; probe <= probes; ++probe)
        doc += "<Probe id=\"" + std::to_string(probe) + "\"><Value>" +
               std::to_string(600 + probe % 400) + ".4</Value></Probe>";
    return doc + "</Ambivox>";
}

// The first poll of a new device object, again and again.
void first_polls(benchmark::State& state, HttpDeviceSimulator const& device) {
    for (auto _ : state) {
        auto monitor = model_n(device);
        if (!monitor) return state.SkipWithError("no device object");
        if (monitor->Poll() != S_OK) return state.SkipWithError("poll failed");
    }
}

void LargeModelNPoll(benchmark::State& state) {
    if (!RegisteredModule::instance().registered()) return state.SkipWithError("not registered");
    Apartment apartment;
    auto const records = static_cast<int>(state.range(0));
    HttpDeviceSimulator device;
    device.serve("/xmlconfig", large_configuration(records));
    device.serve("/xmldata", large_data(records));
    first_polls(state, device);
}
BENCHMARK(LargeModelNPoll)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

void LargeModelNRead(benchmark::State& state) {
    if (!RegisteredModule::instance().registered()) return state.SkipWithError("not registered");
    auto const records = static_cast<int>(state.range(0));
    HttpDeviceSimulator device;
    device.serve("/xmlconfig", large_configuration(records));
    device.serve("/xmldata", large_data(records));
    ambivox::cli::DeviceTarget target;
    target.address = "127.0.0.1:" + std::to_string(device.port());
    for (auto _ : state)
        if (!ambivox::cli::DeviceReader::read(target, "").ok())
            return state.SkipWithError("poll failed");
}
BENCHMARK(LargeModelNRead)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

// A data document of N units, the readings of the 1,000 probes in its last: each probe's lookup
// must not walk all the units before it.
void ModelNPollOfManyUnits(benchmark::State& state) {
    if (!RegisteredModule::instance().registered()) return state.SkipWithError("not registered");
    Apartment apartment;
    auto const units = static_cast<int>(state.range(0));
    std::string data = "<Site>";
    for (int unit = 1; unit <= units; ++unit)
        data += "<Ambivox id=\"u" + std::to_string(unit) + "\"><Probe id=\"x\"/></Ambivox>";
    HttpDeviceSimulator device;
    device.serve("/xmlconfig", large_configuration(1000));
    std::string const readings = large_data(1000);
    device.serve("/xmldata", data + readings.substr(readings.find("<Ambivox")) + "</Site>");
    first_polls(state, device);
}
BENCHMARK(ModelNPollOfManyUnits)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

void ConcurrentModelNPolls(benchmark::State& state) {
    if (!RegisteredModule::instance().registered()) return state.SkipWithError("not registered");
    auto const devices = static_cast<std::size_t>(state.range(0));
    std::vector<std::unique_ptr<HttpDeviceSimulator>> simulators((devices + 9) / 10);
    for (auto& simulator : simulators)
        simulator = serving_device();

    // Workers and this thread meet at `go` to start a round and at `done` to end it.
    std::barrier go(static_cast<std::ptrdiff_t>(devices + 1));
    std::barrier done(static_cast<std::ptrdiff_t>(devices + 1));
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (std::size_t i = 0; i < devices; ++i) {
        workers.emplace_back([&, i] {
            Apartment apartment;
            auto monitor = model_n(*simulators[i / 10]);
            if (!monitor) ++failures;
            for (;;) {
                go.arrive_and_wait();
                if (stop) break;
                if (!monitor || monitor->Poll() != S_OK) ++failures;
                done.arrive_and_wait();
            }
        });
    }
    double total = 0;
    for (auto _ : state) {
        auto const start = std::chrono::steady_clock::now();
        go.arrive_and_wait();
        done.arrive_and_wait();
        double const round =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(round);
        total += round;
    }
    stop = true;
    go.arrive_and_wait();
    for (auto& worker : workers)
        worker.join();
    if (failures != 0) return state.SkipWithError("a poll failed");
    state.counters["us_per_poll"] = total / static_cast<double>(state.iterations() * devices) * 1e6;
}
BENCHMARK(ConcurrentModelNPolls)
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
