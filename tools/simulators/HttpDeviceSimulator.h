// HttpDeviceSimulator: an in-process HTTP/1.0 and HTTP/1.1 server on a loopback address that
// plays a network device, for `ambivox simulate` and `ambivox demo`, the tests and the benchmarks.
//
// It serves configurable routes from one background thread, one connection at a time, and
// closes every connection after its response unless keep-alive is on. Each route can misbehave in
// one of the fault modes below. Every wait inside is bounded and checks for stop() every 50 ms, so
// a misbehaving client can never hang the program or a test.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace ambivox::simulation {

class HttpDeviceSimulator {
public:
    enum class fault {
        none,
        not_found,     // status 404, with the route's body
        server_error,  // status 500, with the route's body
        cut_off,       // announces the body's length, sends half of it, closes
        slow,          // sends the body in small pieces with a pause between them
        trickle,       // sends the whole response, status line and headers too, as slow does
        stall,         // sends the headers and a few bytes, then nothing until the client leaves
        oversized,     // streams the start of a document and more than 16 MiB of elements
                       // without a Content-Length, generated as it goes
        malformed,     // sends the body as given (for bodies that are not well formed)
    };

    struct request {
        std::string method;
        std::string target;   // as sent, query included
        std::string path;     // the target without its query
        std::string version;  // "HTTP/1.0", "HTTP/1.1"
        std::vector<std::pair<std::string, std::string>> headers;

        // The first header of that name (case-insensitive), or empty.
        std::string header(std::string_view name) const;
    };

    // Listens on address:port; port 0 picks a free ephemeral port. Raises std::system_error
    // when the address cannot be bound.
    explicit HttpDeviceSimulator(std::uint16_t port = 0, std::string address = "127.0.0.1");
    ~HttpDeviceSimulator();
    HttpDeviceSimulator(HttpDeviceSimulator const&) = delete;
    HttpDeviceSimulator& operator=(HttpDeviceSimulator const&) = delete;

    // Adds or replaces a route; its fault mode is reset to none. Routes match the request path
    // exactly; any other path answers 404.
    void serve(std::string path, std::string body, int status = 200,
               std::string contentType = "text/xml");
    // Sets a route's fault mode; a route not served yet is added with an empty body.
    void set_fault(std::string const& path, fault mode);
    // The pacing of a slow or trickling route (default: 16-byte pieces, 20 ms apart).
    void set_pacing(std::string const& path, std::size_t pieceBytes,
                    std::chrono::milliseconds delay);
    // Answers path with a redirect (302 unless given) to location.
    void redirect(std::string path, std::string location, int status = 302);

    std::uint16_t port() const noexcept { return m_port; }
    std::string base_url() const;  // "http://ADDRESS:PORT"
    std::string url(std::string_view path) const { return base_url() + std::string(path); }

    // Keeps an HTTP/1.1 connection open after a plain response, as a device offering keep-alive
    // does, until the client closes it or another client connects; off by default.
    void set_keep_alive(bool on) noexcept { m_keepAlive = on; }
    // The connections accepted so far.
    std::size_t connection_count() const noexcept { return m_connections; }

    // The requests received so far, in order of arrival.
    std::vector<request> requests() const;
    std::size_t request_count() const;

    // Stops serving and joins the thread; idempotent. The destructor calls it.
    void stop() noexcept;

private:
    struct route {
        std::string body;
        int status = 200;
        std::string contentType;
        fault mode = fault::none;
        std::size_t pieceBytes = 16;
        std::chrono::milliseconds delay{20};
        std::string location;
    };

    void run() noexcept;
    // Whether the connection stays open for another request.
    bool handle(int fd);
    bool read_request(int fd, request& out);
    bool respond(int fd, request const& req, route const& r, bool keep);
    // Whether the client sends another request before anyone else connects.
    bool next_request_arrives(int fd);
    bool send_all(int fd, std::string_view data);
    bool pause(std::chrono::milliseconds duration);
    void wait_for_client_to_leave(int fd);

    std::string m_address;
    std::uint16_t m_port = 0;
    int m_listener = -1;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_keepAlive{false};
    std::atomic<std::size_t> m_connections{0};
    mutable std::mutex m_mutex;
    std::map<std::string, route> m_routes;
    std::vector<request> m_requests;
    std::thread m_thread;
};

}  // namespace ambivox::simulation
