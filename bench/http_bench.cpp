// What fetching a device page costs: FetchDocument (handles, transfer, code page decoding, the
// automation string) against a bare libcurl GET of the same page from the same in-process
// device. Devices answer on port 80 only; where that port cannot be bound the program re-runs
// itself in a private network namespace, and failing that reports the benchmarks as skipped.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/automation/Bstr.h"
#include "tools/simulators/HttpDeviceSimulator.h"
#include "transport/CHttpClient.h"

namespace {

using ambivox::simulation::HttpDeviceSimulator;

constexpr char const* reexec_marker = "AMBIVOX_HTTP_BENCH_IN_NAMESPACE";
constexpr char const* page_url = "http://127.0.0.1:80/data";

std::optional<HttpDeviceSimulator> g_device;
std::string g_skip_reason;

// A Model N data page of about 2 KB, as a device serves it.
std::string device_page() {
    std::string page = "<?xml version=\"1.0\"?>\n<Ambivox id=\"N7-000317\">\n";
    for (int probe = 1; page.size() < 2000; ++probe)
        page += " <Probe id=\"" + std::to_string(probe) +
                "\"><Name>Probe</Name><Value>71.4</Value><Units>F</Units></Probe>\n";
    return page + "</Ambivox>\n";
}

std::size_t page_bytes = 0;

void FetchDocument_DevicePage(benchmark::State& state) {
    if (!g_device) {
        state.SkipWithError(g_skip_reason.c_str());
        return;
    }
    for (auto _ : state) {
        BSTR document = nullptr;
        if (ambivox::FetchDocument(u"127.0.0.1", u"/data", &document) != S_OK ||
            SysStringLen(document) != page_bytes) {
            state.SkipWithError("FetchDocument failed");
            break;
        }
        benchmark::DoNotOptimize(document);
        SysFreeString(document);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page_bytes));
}
BENCHMARK(FetchDocument_DevicePage)->Unit(benchmark::kMicrosecond);

std::size_t append_body(char* data, std::size_t size, std::size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

// One GET as FetchDocument's platform layer makes it: a fresh easy handle, HTTP/1.0.
bool raw_get(CURL* easy, std::string& body) {
    body.clear();
    curl_easy_setopt(easy, CURLOPT_URL, page_url);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "AmbivoxSDK");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &append_body);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    return curl_easy_perform(easy) == CURLE_OK && body.size() == page_bytes;
}

void RawCurl_DevicePage(benchmark::State& state) {
    if (!g_device) {
        state.SkipWithError(g_skip_reason.c_str());
        return;
    }
    std::string body;
    for (auto _ : state) {
        CURL* easy = curl_easy_init();
        bool const ok = easy != nullptr && raw_get(easy, body);
        if (easy != nullptr) curl_easy_cleanup(easy);
        if (!ok) {
            state.SkipWithError("libcurl GET failed");
            break;
        }
        benchmark::DoNotOptimize(body.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page_bytes));
}
BENCHMARK(RawCurl_DevicePage)->Unit(benchmark::kMicrosecond);

// For reference only: one easy handle kept across GETs, as no per-request client can.
void RawCurlReusedHandle_DevicePage(benchmark::State& state) {
    if (!g_device) {
        state.SkipWithError(g_skip_reason.c_str());
        return;
    }
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), &curl_easy_cleanup);
    std::string body;
    for (auto _ : state) {
        if (!raw_get(easy.get(), body)) {
            state.SkipWithError("libcurl GET failed");
            break;
        }
        benchmark::DoNotOptimize(body.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page_bytes));
}
BENCHMARK(RawCurlReusedHandle_DevicePage)->Unit(benchmark::kMicrosecond);

// Prints the runs as usual, then FetchDocument's times over the raw GET's: wall-clock, and CPU
// time of the calling thread (the device's thread excluded), which load on the machine disturbs
// less. With repetitions the medians are compared.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(std::vector<Run> const& runs) override {
        for (auto const& run : runs) {
            bool const median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.error_occurred || (run.run_type != Run::RT_Iteration && !median)) continue;
            auto& times = m_times[run.run_name.function_name];
            if (median || !times.median)
                times = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime(), median};
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        auto const fetch = m_times.find("FetchDocument_DevicePage");
        auto const raw = m_times.find("RawCurl_DevicePage");
        if (fetch == m_times.end() || raw == m_times.end()) return;
        std::printf(
            "FetchDocument / raw libcurl GET: %.2fx wall-clock, %.2fx CPU (goal: at most "
            "1.30x)\n",
            fetch->second.real / raw->second.real, fetch->second.cpu / raw->second.cpu);
    }

private:
    struct times {
        double real = 0;
        double cpu = 0;
        bool median = false;
    };
    std::map<std::string, times> m_times;
};

}  // namespace

int main(int argc, char** argv) {
    // The device is on loopback; a proxy in the environment must not be asked for it.
    ::setenv("no_proxy", "*", 1);
    try {
        g_device.emplace(80);
    } catch (std::system_error const& e) {
        char self[4096] = {};
        if (std::getenv(reexec_marker) == nullptr &&
            ::readlink("/proc/self/exe", self, sizeof self - 1) > 0) {
            ::setenv(reexec_marker, "1", 1);
            std::vector<char*> args{const_cast<char*>(AMBIVOX_IN_PRIVATE_NETWORK), self};
            for (int i = 1; i < argc; ++i)
                args.push_back(argv[i]);
            args.push_back(nullptr);
            ::execv(AMBIVOX_IN_PRIVATE_NETWORK, args.data());
            // Not re-run: measure nothing, say why.
        }
        g_skip_reason = std::string("skipped: cannot serve on port 80 (") + e.what() + ")";
    }
    page_bytes = device_page().size();
    if (g_device) g_device->serve("/data", device_page());
    curl_global_init(CURL_GLOBAL_DEFAULT);

    // Loopback timings swing with the machine's load: by default compare medians of interleaved
    // repetitions. Flags given on the command line come later and win.
    std::vector<char*> flags{argv[0], const_cast<char*>("--benchmark_repetitions=5"),
                             const_cast<char*>("--benchmark_enable_random_interleaving=true"),
                             const_cast<char*>("--benchmark_report_aggregates_only=true")};
    flags.insert(flags.end(), argv + 1, argv + argc);
    int count = static_cast<int>(flags.size());
    flags.push_back(nullptr);
    benchmark::Initialize(&count, flags.data());
    if (benchmark::ReportUnrecognizedArguments(count, flags.data())) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    g_device.reset();
    curl_global_cleanup();
    return 0;
}
