// ServeCommand: `ambivox serve`, a Prometheus exporter. The devices of a devices file are polled
// in the background, each on its own interval, and /metrics answers their latest readings from
// memory; /probe polls one device on demand (the multi-target pattern). SIGHUP reads the devices
// file again; SIGTERM and SIGINT end it cleanly.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace ambivox::cli {

struct ServeOptions {
    std::string listen = "127.0.0.1:9817";
    std::string config;              // the devices file; empty: /probe only
    std::vector<std::string> allow;  // the hosts and networks /probe may reach
    double interval_seconds = 60;    // for devices that give no interval=
    double max_backoff_seconds = 900;
    unsigned workers = 16;
    unsigned max_connections = 64;
    double request_timeout_seconds = 10;
};

// Adds the `serve` subcommand with its options, help and examples to `app`.
CLI::App* add_serve_command(CLI::App& app, ServeOptions& options);
// Runs the exporter until SIGTERM or SIGINT; the program's exit code.
int run_serve(ServeOptions const& options);

}  // namespace ambivox::cli
