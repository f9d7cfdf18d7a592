#include "tools/ambivox/serve/HttpServer.h"

#include <microhttpd.h>
#include <netdb.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <charconv>
#include <cstring>
#include <stdexcept>

namespace ambivox::cli {

namespace {

// Parses the listen address into a socket address.
sockaddr_storage socket_address(std::string const& listen, bool& v6) {
    std::size_t const colon = listen.rfind(':');
    if (colon == std::string::npos)
        throw std::runtime_error("--listen needs HOST:PORT, not \"" + listen + "\"");
    std::string host = listen.substr(0, colon);
    std::string const port = listen.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    unsigned number = 0;
    auto const [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (host.empty() || error != std::errc() || end != port.data() + port.size() || number > 65535)
        throw std::runtime_error("--listen needs HOST:PORT with a port from 0 to 65535, not \"" +
                                 listen + "\"");
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (int const failed = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); failed != 0)
        throw std::runtime_error("--listen " + listen + ": " + ::gai_strerror(failed));
    sockaddr_storage address{};
    std::memcpy(&address, found->ai_addr, found->ai_addrlen);
    v6 = found->ai_family == AF_INET6;
    ::freeaddrinfo(found);
    return address;
}

}  // namespace

struct HttpServer::callbacks {
    static MHD_Result access(void* self, MHD_Connection* connection, char const* url,
                             char const* method, char const*, char const*, std::size_t*,
                             void** context) {
        auto& server = *static_cast<HttpServer*>(self);
        if (*context == nullptr) {
            // The first call: the request line and headers are in. From here the handler's time
            // is its own business, not the client's.
            *context = &server;
            std::lock_guard lock(server.m_mutex);
            ++server.m_requests;
            auto const found = server.m_connections.find(connection);
            if (found != server.m_connections.end()) found->second.deadline.reset();
        }
        response answer;
        if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 &&
            std::strcmp(method, MHD_HTTP_METHOD_HEAD) != 0) {
            answer = {MHD_HTTP_METHOD_NOT_ALLOWED, "only GET and HEAD are served\n"};
        } else {
            try {
                answer = server.m_serve(request{url, connection});
            } catch (std::exception const& error) {
                answer = {MHD_HTTP_INTERNAL_SERVER_ERROR, std::string(error.what()) + "\n"};
            }
        }
        {
            std::lock_guard lock(server.m_mutex);
            auto const found = server.m_connections.find(connection);
            if (found != server.m_connections.end())
                found->second.deadline = clock::now() + server.m_limits.request_timeout;
        }
        MHD_Response* const reply = MHD_create_response_from_buffer(
            answer.body.size(), answer.body.data(), MHD_RESPMEM_MUST_COPY);
        if (!reply) return MHD_NO;
        MHD_add_response_header(reply, MHD_HTTP_HEADER_CONTENT_TYPE, answer.content_type.c_str());
        if (answer.status == MHD_HTTP_METHOD_NOT_ALLOWED)
            MHD_add_response_header(reply, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
        MHD_Result const queued = MHD_queue_response(connection, answer.status, reply);
        MHD_destroy_response(reply);
        return queued;
    }

    static void completed(void* self, MHD_Connection* connection, void** context,
                          MHD_RequestTerminationCode) {
        auto& server = *static_cast<HttpServer*>(self);
        std::lock_guard lock(server.m_mutex);
        if (*context != nullptr) --server.m_requests;
        *context = nullptr;
        auto const found = server.m_connections.find(connection);
        if (found != server.m_connections.end())
            found->second.deadline = clock::now() + server.m_limits.request_timeout;
        server.m_changed.notify_all();
    }

    static void connection(void* self, MHD_Connection* connection, void**,
                           MHD_ConnectionNotificationCode code) {
        auto& server = *static_cast<HttpServer*>(self);
        std::lock_guard lock(server.m_mutex);
        if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
            server.m_connections.erase(connection);
            return;
        }
        MHD_ConnectionInfo const* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        server.m_connections[connection] = {info ? info->connect_fd : -1,
                                            clock::now() + server.m_limits.request_timeout};
    }
};

std::optional<std::string> HttpServer::request::argument(char const* name) const {
    char const* value = nullptr;
    std::size_t size = 0;
    if (MHD_lookup_connection_value_n(connection, MHD_GET_ARGUMENT_KIND, name, std::strlen(name),
                                      &value, &size) != MHD_YES ||
        value == nullptr)
        return std::nullopt;
    return std::string(value, size);
}

std::size_t HttpServer::request::argument_count(char const* name) const {
    struct counting {
        char const* name;
        std::size_t found = 0;
    } counted{name};
    MHD_get_connection_values_n(
        connection, MHD_GET_ARGUMENT_KIND,
        [](void* context, MHD_ValueKind, char const* key, std::size_t, char const*,
           std::size_t) -> MHD_Result {
            auto& state = *static_cast<counting*>(context);
            if (key != nullptr && ::strcasecmp(key, state.name) == 0) ++state.found;
            return MHD_YES;
        },
        &counted);
    return counted.found;
}

std::optional<std::string> HttpServer::request::header(char const* name) const {
    char const* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

HttpServer::HttpServer(std::string const& listen, limits settings, handler serve)
    : m_limits(settings), m_serve(std::move(serve)) {
    bool v6 = false;
    sockaddr_storage const address = socket_address(listen, v6);
    auto const idle = static_cast<unsigned>(
        std::chrono::ceil<std::chrono::seconds>(m_limits.request_timeout).count());
    m_daemon = MHD_start_daemon(
        MHD_USE_THREAD_PER_CONNECTION | MHD_USE_POLL_INTERNAL_THREAD | MHD_USE_ITC |
            (v6 ? MHD_USE_IPv6 : 0),
        0, nullptr, nullptr, &callbacks::access, this, MHD_OPTION_SOCK_ADDR, &address,
        MHD_OPTION_CONNECTION_LIMIT, m_limits.connections, MHD_OPTION_CONNECTION_TIMEOUT, idle,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, m_limits.request_bytes, MHD_OPTION_NOTIFY_COMPLETED,
        &callbacks::completed, this, MHD_OPTION_NOTIFY_CONNECTION, &callbacks::connection, this,
        MHD_OPTION_END);
    if (!m_daemon)
        throw std::runtime_error("cannot listen on " + listen + ": " + std::strerror(errno));
    MHD_DaemonInfo const* info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    m_port = info ? info->port : 0;
    m_watchdog = std::thread([this] { watch(); });
}

HttpServer::~HttpServer() {
    stop(std::chrono::milliseconds(0));
}

void HttpServer::watch() {
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        auto const now = clock::now();
        for (auto& [connection, state] : m_connections) {
            if (!state.deadline || *state.deadline > now || state.fd == -1) continue;
            // The connection's thread sees the end of the stream and closes it; the socket stays
            // open until then, so the descriptor cannot name another connection meanwhile.
            ::shutdown(state.fd, SHUT_RDWR);
            state.deadline.reset();
        }
        m_changed.wait_for(lock, std::chrono::milliseconds(100));
    }
}

void HttpServer::stop(std::chrono::milliseconds grace) {
    if (!m_daemon) return;
    MHD_socket const listening = MHD_quiesce_daemon(m_daemon);
    if (listening != MHD_INVALID_SOCKET) ::close(listening);
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, grace, [this] { return m_requests == 0; });
        m_stopping = true;
        m_changed.notify_all();
    }
    if (m_watchdog.joinable()) m_watchdog.join();
    MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
}

}  // namespace ambivox::cli
