#include "tools/ambivox/serve/ServeCommand.h"

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "tools/ambivox/ExitCode.h"
#include "tools/ambivox/PrometheusWriter.h"
#include "tools/ambivox/serve/AllowList.h"
#include "tools/ambivox/serve/ConfigFile.h"
#include "tools/ambivox/serve/HttpServer.h"
#include "tools/ambivox/serve/PollPool.h"
#include "tools/ambivox/serve/PollSchedule.h"
#include "tools/ambivox/serve/ProbeHandler.h"
#include "tools/ambivox/serve/ResultStore.h"

namespace ambivox::cli {

namespace {

constexpr auto exposition = "text/plain; version=0.0.4; charset=utf-8";

constexpr auto front_page = R"(<!DOCTYPE html>
<html><head><title>Ambivox exporter</title></head><body>
<h1>Ambivox exporter</h1>
<ul>
<li><a href="/metrics">/metrics</a>: the devices of the devices file</li>
<li>/probe?target=HOST[:PORT]&amp;family=modeln|modelq[&amp;model=MODEL]: one device, polled now</li>
<li><a href="/-/healthy">/-/healthy</a></li>
</ul>
</body></html>
)";

// How long the requests and polls under way get to finish when the exporter is told to end. A
// scrape waiting for a device gets as long as a poll under way, after which the poll is given up:
// its scraper is answered, the device down, rather than have its connection cut.
constexpr std::chrono::seconds shutdown_grace{10};
constexpr std::chrono::seconds poll_grace{2};

std::chrono::milliseconds milliseconds(double seconds) {
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

std::vector<ConfiguredDevice> read_devices(ServeOptions const& options) {
    if (options.config.empty()) return {};
    return ConfigFile::read(options.config, milliseconds(options.interval_seconds));
}

HttpServer::response metrics(ResultStore const& store) {
    auto const snapshot = store.snapshot();
    std::vector<PrometheusWriter::Device const*> devices;
    devices.reserve(snapshot.size());
    for (auto const& device : snapshot)
        devices.push_back(device.get());
    return {200, PrometheusWriter::write(devices), exposition};
}

}  // namespace

CLI::App* add_serve_command(CLI::App& app, ServeOptions& options) {
    CLI::App* serve =
        app.add_subcommand("serve",
                           "run a Prometheus exporter: /metrics for the devices of a devices file, "
                           "/probe?target=... for one device on demand");
    serve->add_option("--listen", options.listen, "HOST:PORT to serve on (port 0: a free one)")
        ->capture_default_str();
    serve->add_option("--config,-c", options.config,
                      "devices file, one device a line: FAMILY ADDRESS [model=M] [name=NAME] "
                      "[interval=SECONDS]; read again on SIGHUP");
    serve->add_option("--allow", options.allow,
                      "host, address or network (ADDRESS/BITS) that /probe may poll; repeatable. "
                      "Devices of the devices file are always allowed");
    serve
        ->add_option("--interval", options.interval_seconds,
                     "seconds between polls of a device that gives no interval=")
        ->check(CLI::Range(0.05, 86400.0))
        ->capture_default_str();
    serve
        ->add_option("--max-backoff", options.max_backoff_seconds,
                     "most seconds between retries of a failing device")
        ->check(CLI::Range(0.05, 86400.0))
        ->capture_default_str();
    serve->add_option("--workers", options.workers, "devices polled at the same time")
        ->check(CLI::Range(1, 256))
        ->capture_default_str();
    serve
        ->add_option("--max-connections", options.max_connections,
                     "HTTP connections served at the same time")
        ->check(CLI::Range(1, 1024))
        ->capture_default_str();
    serve
        ->add_option("--request-timeout", options.request_timeout_seconds,
                     "seconds a client has to send its request, and to take the answer")
        ->check(CLI::Range(0.1, 600.0))
        ->capture_default_str();
    serve->footer(R"(Examples:
  ambivox serve --config /etc/ambivox/devices.conf
  ambivox serve --listen 0.0.0.0:9817 --allow 10.20.0.0/16 --allow monitor-7.example.net
  curl 'http://127.0.0.1:9817/probe?target=10.20.1.5&family=modeln&model=NX2'

Devices file:
  modeln 192.168.1.40 model=N15 name="Server room" interval=30
  modelq COM1 name="Tank A")");
    return serve;
}

int run_serve(ServeOptions const& options) {
    // Signals are taken by this thread alone, with sigwait, so every thread started below
    // inherits them blocked.
    sigset_t signals;
    sigemptyset(&signals);
    for (int const number : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&signals, number);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::vector<ConfiguredDevice> devices;
    AllowList allowed;
    try {
        devices = read_devices(options);
        for (std::string const& entry : options.allow)
            allowed.add(entry);
    } catch (std::exception const& error) {
        std::cerr << "ambivox: " << error.what() << "\n";
        return exit_usage;
    }

    PollPool pool(options.workers);
    ResultStore store;
    PollSchedule schedule(pool, store, milliseconds(options.max_backoff_seconds));
    ProbeHandler probes(pool, std::move(allowed));
    schedule.configure(devices);
    probes.configure(devices);

    HttpServer::limits limits;
    limits.connections = options.max_connections;
    limits.request_timeout = milliseconds(options.request_timeout_seconds);
    std::optional<HttpServer> server;
    try {
        server.emplace(options.listen, limits,
                       [&](HttpServer::request const& request) -> HttpServer::response {
                           if (request.path == "/metrics") return metrics(store);
                           if (request.path == "/probe") return probes.handle(request);
                           if (request.path == "/-/healthy") return {200, "Healthy\n"};
                           if (request.path == "/") return {200, front_page, "text/html"};
                           return {404, "not found: see / for what is served\n"};
                       });
    } catch (std::exception const& error) {
        std::cerr << "ambivox: " << error.what() << "\n";
        schedule.stop();
        pool.stop(std::chrono::milliseconds(0));
        return exit_failed;
    }
    std::cout << "ambivox serve: listening on port " << server->port() << ", polling "
              << devices.size() << " devices" << std::endl;

    while (true) {
        int number = 0;
        if (sigwait(&signals, &number) != 0) continue;
        if (number != SIGHUP) break;
        try {
            devices = read_devices(options);
            schedule.configure(devices);
            probes.configure(devices);
            std::cout << "ambivox serve: reloaded " << devices.size() << " devices" << std::endl;
        } catch (std::exception const& error) {
            std::cerr << "ambivox: " << error.what() << "; the devices stay as they were\n";
        }
    }

    probes.stop(poll_grace);
    server->stop(shutdown_grace);
    schedule.stop();
    if (!pool.stop(poll_grace)) {
        // A poll cannot be cut short (a silent serial device takes seconds); the process ends
        // under it rather than keep a service manager waiting.
        std::cout << "ambivox serve: stopped with polls under way" << std::endl;
        std::_Exit(exit_ok);
    }
    std::cout << "ambivox serve: stopped" << std::endl;
    return exit_ok;
}

}  // namespace ambivox::cli
