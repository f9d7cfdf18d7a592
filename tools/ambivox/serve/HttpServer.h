// HttpServer: the exporter's HTTP side, on libmicrohttpd, one thread per connection with a cap
// on connections, so a slow handler (a /probe waiting for its device) holds up only its own
// client. A client gets `request_timeout` to send a whole request and again to take the answer;
// one that trickles either is cut off. Requests larger than `request_bytes` are refused by the
// library, as is every method but GET and HEAD by the server.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct MHD_Daemon;
struct MHD_Connection;

namespace ambivox::cli {

class HttpServer {
public:
    using clock = std::chrono::steady_clock;

    struct request {
        std::string path;
        MHD_Connection* connection = nullptr;

        // The first query argument or header of that name (names compared without case, as
        // libmicrohttpd finds them), or nothing. A value keeps the bytes percent-encoding gave
        // it, a NUL too.
        std::optional<std::string> argument(char const* name) const;
        // How often the query gives an argument of that name, compared as argument() does.
        std::size_t argument_count(char const* name) const;
        std::optional<std::string> header(char const* name) const;
    };

    struct response {
        unsigned status = 200;
        std::string body;
        std::string content_type = "text/plain; charset=utf-8";
    };

    using handler = std::function<response(request const&)>;

    struct limits {
        unsigned connections = 64;
        std::chrono::milliseconds request_timeout{10000};
        std::size_t request_bytes = 16 * 1024;
    };

    // Listens on "HOST:PORT" or "[IPV6]:PORT" (port 0: a free one). Raises std::runtime_error
    // saying why when it cannot.
    HttpServer(std::string const& listen, limits settings, handler serve);
    ~HttpServer();
    HttpServer(HttpServer const&) = delete;
    HttpServer& operator=(HttpServer const&) = delete;

    std::uint16_t port() const noexcept { return m_port; }
    // Takes no more connections, gives the requests under way up to `grace` to finish, then
    // closes every connection.
    void stop(std::chrono::milliseconds grace);

    // libmicrohttpd's callbacks.
    struct callbacks;

private:
    // A connection's deadline: unset while a handler works on its request.
    struct watched {
        int fd = -1;
        std::optional<clock::time_point> deadline;
    };

    void watch();

    limits m_limits;
    handler m_serve;
    MHD_Daemon* m_daemon = nullptr;
    std::uint16_t m_port = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<MHD_Connection*, watched> m_connections;
    std::size_t m_requests = 0;  // requests received and not yet answered in full
    bool m_stopping = false;
    std::thread m_watchdog;
};

}  // namespace ambivox::cli
