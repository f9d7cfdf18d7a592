// `ambivox serve` run as a program against simulated devices and spoken to over real sockets:
// what each request answers, how it takes a bad devices file and SIGHUP, that a slow or greedy
// client holds up nobody else, and a real Prometheus server scraping both of its patterns.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/UnusedPort.h"
#include "tests/tools/AmbivoxProgram.h"
#include "tools/simulators/SimulatedModelN.h"

namespace {

using namespace std::chrono_literals;
using ambivox::simulation::DeviceDocuments;
using ambivox::simulation::SimulatedModelN;
using ambivox::testing::AmbivoxProgram;
using ambivox::testing::promtool;
using clock_type = std::chrono::steady_clock;

SimulatedModelN::options steady(std::uint16_t port = 0,
                                SimulatedModelN::fault mode = SimulatedModelN::fault::none) {
    SimulatedModelN::options settings;
    settings.pages = false;
    settings.drift = false;
    settings.port = port;
    settings.mode = mode;
    return settings;
}

int connect_to(std::uint16_t port) {
    int const fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads until the peer closes or the limit passes; false on the limit.
bool read_to_end(int fd, std::string& into, std::chrono::milliseconds limit) {
    auto const deadline = clock_type::now() + limit;
    char buffer[4096];
    while (clock_type::now() < deadline) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 50) <= 0) continue;
        ssize_t const n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return true;
        into.append(buffer, static_cast<std::size_t>(n));
    }
    return false;
}

// One exchange on a connection of its own: the request as given, the whole answer back.
struct Reply {
    int status = 0;
    std::string text;  // status line, headers and body
    std::string body() const {
        return text.substr(std::min(text.find("\r\n\r\n") + 4, text.size()));
    }
};

Reply http_exchange(std::uint16_t port, std::string const& request,
                    std::chrono::milliseconds limit = 10s) {
    Reply reply;
    int const fd = connect_to(port);
    if (fd == -1) return reply;
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    read_to_end(fd, reply.text, limit);
    ::close(fd);
    if (reply.text.starts_with("HTTP/1.")) reply.status = std::atoi(reply.text.c_str() + 9);
    return reply;
}

Reply get(std::uint16_t port, std::string const& target) {
    return http_exchange(port, "GET " + target + " HTTP/1.0\r\nHost: test\r\n\r\n");
}

// Asks again until the answer holds `text`; the last answer.
Reply wait_for(std::uint16_t port, std::string const& target, std::string const& text,
               std::chrono::milliseconds limit = 20s) {
    auto const deadline = clock_type::now() + limit;
    Reply reply = get(port, target);
    while (reply.text.find(text) == std::string::npos && clock_type::now() < deadline) {
        std::this_thread::sleep_for(50ms);
        reply = get(port, target);
    }
    return reply;
}

std::string encoded(std::string const& text) {
    std::string out;
    char hex[4];
    for (unsigned char const c : text) {
        if (std::isalnum(c)) {
            out += static_cast<char>(c);
        } else {
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

// `ambivox serve ARGS... --listen 127.0.0.1:0`, and the port it took.
struct Exporter {
    explicit Exporter(std::vector<std::string> args) : program(with_listen(std::move(args))) {
        if (program.wait_for_output("\n", 20s)) {
            auto const at = program.out().find("port ");
            if (at != std::string::npos)
                port = static_cast<std::uint16_t>(std::atoi(program.out().c_str() + at + 5));
        }
    }
    static std::vector<std::string> with_listen(std::vector<std::string> args) {
        args.insert(args.begin(), "serve");
        args.insert(args.end(), {"--listen", "127.0.0.1:0"});
        return args;
    }
    AmbivoxProgram program;
    std::uint16_t port = 0;
};

class Serve : public ambivox::testing::AmbivoxTest {
protected:
    SimulatedModelN nx2{DeviceDocuments("NX2", "Server room", "SN-9", "6"), steady()};
    SimulatedModelN n3{DeviceDocuments("N3", "Lab", "SN-3", "T:Inlet,T:Outlet"), steady()};
    std::string const dead = "127.0.0.1:" + std::to_string(ambivox::testing::unused_port());
    std::string const config = registry.folder() + "/devices.conf";

    void write_config(std::string const& text) const { std::ofstream(config) << text; }
};

class ServeSlow : public Serve {};

TEST_F(Serve, AnswersEachRequestWithItsStatusAndKeyLines) {
    write_config("# the monitored rooms\nmodeln " + nx2.address() +
                 " model=NX2 name=\"Server room\"\nmodeln " + dead +
                 " name=dead interval=0.2\nmodelq com999 interval=3600\n");
    Exporter serve({"--config", config, "--allow", "127.0.0.1/32", "--max-backoff", "0.5"});
    ASSERT_NE(serve.port, 0) << serve.program.err();
    // A scrape answers what is there; the devices' first polls are under way.
    wait_for(serve.port, "/metrics", "ambivox_poll_failures_total{device=\"dead\"");
    wait_for(serve.port, "/metrics", "ambivox_device_up{device=\"Server room\"} 1");

    std::string const room = "{device=\"Server room\",probe=";
    struct row {
        std::string request;
        int status;
        std::vector<std::string> lines;
    } const rows[] = {
        {"GET / HTTP/1.1\r\nHost: t\r\nConnection: close", 200, {"href=\"/metrics\""}},
        {"GET /-/healthy HTTP/1.0", 200, {"Healthy"}},
        {"GET /metrics HTTP/1.0",
         200,
         {"Content-Type: text/plain; version=0.0.4",
          "ambivox_temperature_celsius" + room + "\"1\"} 20\n",
          "ambivox_humidity_ratio" + room + "\"2\"} 0.48\n",
          "ambivox_probe_info" + room + "\"1\",name=\"Temperature 1\",type=\"Temperature\"} 1\n",
          "ambivox_device_up{device=\"dead\"} 0\n",
          "ambivox_probe_failure_info{device=\"dead\",reason=\"E_FAIL\",message=\"http://" + dead,
          "# TYPE ambivox_poll_failures_total counter\n",
          "ambivox_last_poll_timestamp_seconds{device=\"Server room\"} 1"}},
        {"HEAD /metrics HTTP/1.0", 200, {"Content-Type: text/plain; version=0.0.4"}},
        {"GET /probe?target=" + n3.address() + "&family=modeln&model=N3 HTTP/1.0",
         200,
         {"ambivox_device_up{device=\"" + n3.address() + "\"} 1\n",
          "ambivox_temperature_celsius{device=\"" + n3.address() + "\",probe=\"2\"} 20.72",
          "ambivox_poll_duration_seconds{device=\"" + n3.address() + "\"} "}},
        {"GET /probe?target=" + dead + " HTTP/1.0",
         200,
         {"ambivox_device_up{device=\"" + dead + "\"} 0\n", "reason=\"E_FAIL\""}},
        {"GET /probe?target=10.9.8.7:80 HTTP/1.0", 403, {"not allowed"}},
        {"GET /probe?target=[::1]:80 HTTP/1.0", 403, {"not allowed"}},
        {"GET /probe?target=COM4&family=modelq HTTP/1.0", 403, {"devices file"}},
        {"GET /probe?target=com999&family=modelq HTTP/1.0",
         200,
         {"ambivox_device_up{device=\"COM999\"} 0\n", "names no serial device"}},
        {"GET /probe?target=a%20b HTTP/1.0", 400, {"HOST or HOST:PORT"}},
        {"HEAD /probe?target=" + n3.address() + " HTTP/1.0", 200, {"version=0.0.4"}},
        {"GET /probe?target=" + encoded(n3.address()) + "&model=N3 HTTP/1.0",
         200,
         {"ambivox_device_up{device=\"" + n3.address() + "\"} 1\n"}},
        {"GET /probe?target=127.0.0.1:99999 HTTP/1.0", 400, {"HOST or HOST:PORT"}},
        {"GET /probe?target=127.0.0.1:0 HTTP/1.0", 400, {"from 1 to 65535"}},
        {"GET /probe?target=[::1]:0 HTTP/1.0", 400, {"from 1 to 65535"}},
        {"GET /probe?target=[::1 HTTP/1.0", 400, {"HOST or HOST:PORT"}},
        {"GET /probe?target=127.0.0.1%00.evil HTTP/1.0", 400, {"\"127.0.0.1?.evil\""}},
        {"GET /probe?target=" + n3.address() + "&target=10.9.8.7 HTTP/1.0", 400, {"target= once"}},
        {"GET /probe?target=" + n3.address() + "&TARGET=10.9.8.7 HTTP/1.0", 400, {"target= once"}},
        {"GET /probe?target=" + n3.address() + "&family=modeln&family=modelq HTTP/1.0",
         400,
         {"family= once"}},
        {"GET /probe?family=modeln HTTP/1.0", 400, {"target=HOST"}},
        {"GET /probe?target=&family=modeln HTTP/1.0", 400, {"target=HOST"}},
        {"GET /probe?target=127.0.0.1&family=nx HTTP/1.0", 400, {"modeln or modelq"}},
        {"POST /metrics HTTP/1.0\r\nContent-Length: 2\r\n\r\nab", 405, {"Allow: GET, HEAD"}},
        {"GET /nothing HTTP/1.0", 404, {}},
        {"GET /metrics HTTP/1.1\r\nHost: t\r\nX-Filler: " + std::string(100000, 'a'), 431, {}},
    };
    for (row const& r : rows) {
        std::string request = r.request;
        if (!request.ends_with("ab")) request += "\r\n\r\n";
        Reply const reply = http_exchange(serve.port, request);
        EXPECT_EQ(reply.status, r.status) << r.request.substr(0, 80) << "\n" << reply.text;
        for (std::string const& line : r.lines)
            EXPECT_NE(reply.text.find(line), std::string::npos)
                << r.request.substr(0, 80) << " lacks " << line << "\n"
                << reply.text;
        if (r.status == 200 && reply.text.find("version=0.0.4") != std::string::npos &&
            !r.request.starts_with("HEAD")) {
            auto const check = promtool(reply.body(), registry.folder());
            EXPECT_EQ(check.code, 0) << r.request << "\n" << check.out << reply.body();
        }
        if (r.request.starts_with("HEAD")) {
            EXPECT_EQ(reply.body(), "");
        }
    }
}

TEST_F(Serve, RefusesABadDevicesFileNamingFileAndLine) {
    struct row {
        std::string text;
        std::string message;
        std::string path = "";  // another file than the one holding text
    } const rows[] = {
        {"modeln 10.0.0.1\nmodelx 10.0.0.2\n", ":2: \"modelx\" is not a device family"},
        {"modeln 10.0.0.1 interval=0\n", ":1: interval= needs a number of seconds"},
        {"modeln 10.0.0.1 name=\"Tank\n", ":1: a quote is not closed"},
        {"modelq COM0\n", ":1: \"COM0\" is not a serial port"},
        {"modeln 10.0.0.1 name=A\nmodeln 10.0.0.2 name=A\n", ":2: a device named \"A\" is listed"},
        {"modeln 10.0.0.1 colour=red\n", ":1: \"colour=red\" is not a setting"},
        {"modeln 10.0.0.1 name=\"Caf\xE9\"\n", ":1: name= is not UTF-8 text"},
        {std::string(2 << 20, '#'), ": the devices file cannot be read: it is longer than 1 MiB"},
        {"", ": the devices file cannot be read: it is a folder", "/dev/zero"},
        {"", ": the devices file cannot be read: it is a folder", registry.folder()},
    };
    for (row const& r : rows) {
        write_config(r.text);
        std::string const path = r.path.empty() ? config : r.path;
        auto const run = ambivox::testing::ambivox({"serve", "--config", path}, 20s);
        EXPECT_EQ(run.code, 2) << r.text.substr(0, 80);
        EXPECT_NE(run.err.find("ambivox: " + path + r.message), std::string::npos)
            << r.text.substr(0, 80) << run.err;
    }
    auto const badAllow = ambivox::testing::ambivox({"serve", "--allow", "10.0.0.0/33"}, 20s);
    EXPECT_EQ(badAllow.code, 2);
    EXPECT_NE(badAllow.err.find("prefix length"), std::string::npos) << badAllow.err;
}

TEST_F(ServeSlow, ReloadKeepsUnchangedDevicesAndTerminationEndsCleanly) {
    SimulatedModelN n7(DeviceDocuments("N7", "Annex", "SN-7"), steady());
    write_config("modeln " + nx2.address() + " name=Kept interval=3600\nmodeln " + n3.address() +
                 " name=Dropped\n");
    Exporter serve({"--config", config, "--allow", "127.0.0.1"});
    ASSERT_NE(serve.port, 0) << serve.program.err();
    std::string const keptPoll = "ambivox_last_poll_timestamp_seconds{device=\"Kept\"} ";
    Reply before = wait_for(serve.port, "/metrics", "ambivox_device_up{device=\"Dropped\"} 1");
    before = wait_for(serve.port, "/metrics", keptPoll);
    auto const polledAt = [&](Reply const& reply) {
        auto const at = reply.text.find(keptPoll);
        return at == std::string::npos ? std::string()
                                       : reply.text.substr(at, reply.text.find('\n', at) - at);
    };

    write_config("modeln " + nx2.address() + " name=Kept interval=3600\nmodeln " + n7.address() +
                 " name=Added\n");
    std::atomic<bool> reloaded = false;
    std::thread scraper([&] {
        while (!reloaded) {
            Reply const during = get(serve.port, "/metrics");
            EXPECT_EQ(during.status, 200) << during.text;
            EXPECT_NE(during.text.find("device=\"Kept\""), std::string::npos) << during.text;
        }
    });
    serve.program.signal(SIGHUP);
    ASSERT_TRUE(serve.program.wait_for_output("reloaded 2 devices", 20s)) << serve.program.err();
    reloaded = true;
    scraper.join();
    Reply const after = wait_for(serve.port, "/metrics", "ambivox_device_up{device=\"Added\"} 1");
    EXPECT_EQ(after.text.find("\"Dropped\""), std::string::npos) << after.text;
    EXPECT_EQ(polledAt(after), polledAt(before)) << "the unchanged device was not polled again";
    EXPECT_EQ(nx2.request_count(), 2u) << "one poll: two documents";

    write_config("modeln " + nx2.address() + " model=N99\nmodeln\n");
    serve.program.signal(SIGHUP);
    auto const deadline = clock_type::now() + 20s;
    while (serve.program.err().find(":2: the device's address is missing") == std::string::npos &&
           clock_type::now() < deadline)
        serve.program.wait_for_output("never", 50ms);
    EXPECT_NE(serve.program.err().find("the devices stay as they were"), std::string::npos)
        << serve.program.err();
    EXPECT_NE(get(serve.port, "/metrics").text.find("device=\"Added\""), std::string::npos);

    // A scrape waiting for a stalled device is answered when the exporter ends, not cut off.
    SimulatedModelN stalled(DeviceDocuments("N3", "Stalled", "SN-0"),
                            steady(0, SimulatedModelN::fault::stall));
    Reply waited;
    std::thread prober([&] {
        waited = http_exchange(serve.port,
                               "GET /probe?target=" + stalled.address() +
                                   " HTTP/1.0\r\nX-Prometheus-Scrape-Timeout-Seconds: "
                                   "120\r\n\r\n",
                               60s);
    });
    auto const stallBy = clock_type::now() + 20s;
    while (stalled.request_count() == 0 && clock_type::now() < stallBy)
        std::this_thread::sleep_for(20ms);
    serve.program.signal(SIGTERM);
    EXPECT_EQ(serve.program.wait(20s), 0) << serve.program.err();
    prober.join();
    EXPECT_NE(waited.text.find("ambivox_device_up{device=\"" + stalled.address() + "\"} 0"),
              std::string::npos)
        << waited.text;
    EXPECT_NE(waited.text.find("the exporter stopped"), std::string::npos) << waited.text;
    EXPECT_NE(serve.program.out().find("stopped"), std::string::npos);
}

// A client that sends its request a byte at a time is cut off after the request time-out, and
// neither it nor an oversized request keeps another client waiting meanwhile.
TEST_F(ServeSlow, TricklingAndOversizedClientsHoldUpNobody) {
    Exporter serve({"--request-timeout", "1"});
    ASSERT_NE(serve.port, 0) << serve.program.err();
    int const trickler = connect_to(serve.port);
    ASSERT_NE(trickler, -1);
    auto const started = clock_type::now();
    std::thread oversized([&] {
        http_exchange(serve.port,
                      "GET /metrics HTTP/1.1\r\nX-Filler: " + std::string(1 << 20, 'a'));
    });
    bool cut = false;
    std::string const slow = "GET /metrics HTTP/1.1\r\nHost: t\r\nX-Filler: aaaaaaaaaaaaaaaaaaaa";
    for (char const c : slow) {
        if (::send(trickler, &c, 1, MSG_NOSIGNAL) != 1) {
            cut = true;
            break;
        }
        EXPECT_EQ(get(serve.port, "/-/healthy").status, 200);
        std::this_thread::sleep_for(100ms);
    }
    std::string rest;
    EXPECT_TRUE(cut || read_to_end(trickler, rest, 3s)) << "the trickling client was not cut off";
    EXPECT_LT(clock_type::now() - started, 5s);
    ::close(trickler);
    oversized.join();
    EXPECT_EQ(get(serve.port, "/-/healthy").status, 200);
}

// Scrapes of one device at the same time, and a scrape of a configured device during its
// background poll, ask the device once: one poll reads two documents.
TEST_F(ServeSlow, ScrapesOfOneDeviceShareItsPoll) {
    SimulatedModelN configured(DeviceDocuments("N3", "Slow", "SN-1"),
                               steady(0, SimulatedModelN::fault::slow));
    SimulatedModelN probed(DeviceDocuments("N3", "Slow", "SN-2"),
                           steady(0, SimulatedModelN::fault::slow));
    write_config("modeln " + configured.address() + " name=Slow interval=3600\n");
    Exporter serve({"--config", config, "--allow", "127.0.0.1", "--workers", "4"});
    ASSERT_NE(serve.port, 0) << serve.program.err();
    std::vector<std::thread> scrapers;
    for (std::string const& target : {configured.address(), probed.address()})
        for (int i = 0; i < 3; ++i)
            scrapers.emplace_back([&, target] {
                Reply const reply = http_exchange(
                    serve.port,
                    "GET /probe?target=" + target +
                        " HTTP/1.0\r\nX-Prometheus-Scrape-Timeout-Seconds: 60\r\n\r\n",
                    60s);
                EXPECT_NE(reply.text.find("ambivox_device_up{device=\"" + target + "\"} 1"),
                          std::string::npos)
                    << reply.text;
            });
    for (std::thread& scraper : scrapers)
        scraper.join();
    wait_for(serve.port, "/metrics", "ambivox_device_up{device=\"Slow\"} 1");
    // The background poll starts with the exporter; on a slow run it may be over before the
    // scrapes arrive, and then they share one poll of their own.
    EXPECT_TRUE(configured.request_count() == 2u || configured.request_count() == 4u)
        << configured.request_count();
    EXPECT_EQ(probed.request_count(), 2u);
}

// The value Prometheus holds for a query with one result, or nothing yet.
std::optional<std::string> query(std::uint16_t prometheus, std::string const& expression) {
    Reply const reply = get(prometheus, "/api/v1/query?query=" + encoded(expression));
    static std::regex const value(R"re("value":\[[0-9.]+,"([^"]*)"\])re");
    std::smatch found;
    if (!std::regex_search(reply.text, found, value)) return std::nullopt;
    return found[1].str();
}

// Asks Prometheus until the query gives `expected`; the last answer.
std::string wait_for_value(std::uint16_t prometheus, std::string const& expression,
                           std::string const& expected, std::chrono::seconds limit = 40s) {
    auto const deadline = clock_type::now() + limit;
    std::optional<std::string> last;
    while (clock_type::now() < deadline) {
        last = query(prometheus, expression);
        if (last == expected) break;
        std::this_thread::sleep_for(200ms);
    }
    return last.value_or("(none)");
}

// Prometheus scrapes /metrics for the devices file and /probe for two targets by the documented
// relabelling: the values are the simulators', a stalled device reads down without holding up
// the others, and a device that comes back is read again.
TEST_F(ServeSlow, PrometheusScrapesBothPatterns) {
    SimulatedModelN stalled(DeviceDocuments("N3", "Stalled", "SN-0"),
                            steady(0, SimulatedModelN::fault::stall));
    std::optional<SimulatedModelN> restarted;
    restarted.emplace(DeviceDocuments("N3", "Restarted", "SN-R"), steady());
    std::uint16_t const restartedPort = restarted->port();
    write_config("modeln " + nx2.address() + " model=NX2 name=\"Server room\"\nmodeln " +
                 restarted->address() + " name=Restarted\n");
    Exporter serve(
        {"--config", config, "--allow", "127.0.0.1", "--interval", "0.5", "--max-backoff", "1"});
    ASSERT_NE(serve.port, 0) << serve.program.err();

    std::uint16_t const prometheusPort = ambivox::testing::unused_port();
    std::string const exporter = "127.0.0.1:" + std::to_string(serve.port);
    std::ofstream(registry.folder() + "/prometheus.yml") << R"(global:
  scrape_interval: 1s
  scrape_timeout: 1s
scrape_configs:
  - job_name: ambivox
    static_configs:
      - targets: [')" + exporter + R"(']
  - job_name: ambivox_probe
    metrics_path: /probe
    params:
      family: [modeln]
    static_configs:
      - targets: [')" + n3.address() + "', '" + stalled.address() +
                                                                R"(']
    relabel_configs:
      - source_labels: [__address__]
        target_label: __param_target
      - source_labels: [__param_target]
        target_label: instance
      - target_label: __address__
        replacement: )" + exporter + "\n";
    AmbivoxProgram prometheus("/usr/bin/prometheus",
                              {"--config.file=" + registry.folder() + "/prometheus.yml",
                               "--storage.tsdb.path=" + registry.folder() + "/tsdb",
                               "--web.listen-address=127.0.0.1:" + std::to_string(prometheusPort)});

    std::string const room = R"({job="ambivox",device="Server room",probe=)";
    EXPECT_EQ(wait_for_value(prometheusPort, "ambivox_temperature_celsius" + room + "\"1\"}", "20"),
              "20");
    EXPECT_EQ(wait_for_value(prometheusPort, "ambivox_humidity_ratio" + room + "\"2\"}", "0.48"),
              "0.48");
    std::string const probed = R"({job="ambivox_probe",instance=")" + n3.address() + "\"";
    EXPECT_EQ(wait_for_value(prometheusPort,
                             "ambivox_temperature_celsius" + probed + R"(,probe="1"})", "20"),
              "20");
    std::string const stall = R"({job="ambivox_probe",instance=")" + stalled.address() + "\"";
    EXPECT_EQ(wait_for_value(prometheusPort,
                             "ambivox_probe_failure_info" + stall + R"(,reason="timeout"})", "1"),
              "1");
    EXPECT_EQ(wait_for_value(prometheusPort, "ambivox_device_up" + stall + "}", "0"), "0");
    // The scrapes of the stalled device ended in time, and the other target's kept coming.
    EXPECT_EQ(wait_for_value(prometheusPort, "up" + stall + "}", "1"), "1");
    EXPECT_EQ(wait_for_value(prometheusPort, "ambivox_device_up" + probed + "}", "1"), "1");

    std::string const restartedUp = R"(ambivox_device_up{job="ambivox",device="Restarted"})";
    EXPECT_EQ(wait_for_value(prometheusPort, restartedUp, "1"), "1");
    restarted.reset();
    EXPECT_EQ(wait_for_value(prometheusPort, restartedUp, "0"), "0");
    restarted.emplace(DeviceDocuments("N3", "Restarted", "SN-R"), steady(restartedPort));
    EXPECT_EQ(wait_for_value(prometheusPort, restartedUp, "1"), "1");
    EXPECT_TRUE(query(prometheusPort,
                      R"(ambivox_poll_failures_total{job="ambivox",device="Restarted"} > 0)"));
    prometheus.signal(SIGTERM);
    prometheus.wait(20s);
}

}  // namespace
