#include "tools/simulators/HttpDeviceSimulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <system_error>

namespace ambivox::simulation {

namespace {

using clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int poll_ms = 50;
constexpr auto request_deadline = 5s;
constexpr auto response_deadline = 60s;
constexpr std::size_t max_request_head = 64 * 1024;
// Comfortably past the 16 MiB a client may accept.
constexpr std::size_t oversized_bytes = std::size_t{17} * 1024 * 1024;

bool iequals(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

char const* reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
    }
}

[[noreturn]] void throw_errno(char const* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

std::string HttpDeviceSimulator::request::header(std::string_view name) const {
    for (auto const& [key, value] : headers)
        if (iequals(key, name)) return value;
    return {};
}

HttpDeviceSimulator::HttpDeviceSimulator(std::uint16_t port, std::string address)
    : m_address(std::move(address)) {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_listener < 0) throw_errno("socket");
    int const yes = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    socklen_t length = sizeof addr;
    if (::inet_pton(AF_INET, m_address.c_str(), &addr.sin_addr) != 1) {
        ::close(m_listener);
        throw std::system_error(EINVAL, std::generic_category(), "address " + m_address);
    }
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
        int const error = errno;
        ::close(m_listener);
        throw std::system_error(error, std::generic_category(), "listen on " + m_address);
    }
    m_port = ntohs(addr.sin_port);
    m_thread = std::thread([this] { run(); });
}

HttpDeviceSimulator::~HttpDeviceSimulator() {
    stop();
}

void HttpDeviceSimulator::stop() noexcept {
    m_stopping = true;
    if (m_thread.joinable()) m_thread.join();
    if (m_listener >= 0) ::close(m_listener);
    m_listener = -1;
}

void HttpDeviceSimulator::serve(std::string path, std::string body, int status,
                                std::string contentType) {
    std::lock_guard lock(m_mutex);
    route& r = m_routes[std::move(path)];
    r = route{};
    r.body = std::move(body);
    r.status = status;
    r.contentType = std::move(contentType);
}

void HttpDeviceSimulator::set_fault(std::string const& path, fault mode) {
    std::lock_guard lock(m_mutex);
    auto [it, added] = m_routes.try_emplace(path);
    if (added) it->second.contentType = "text/xml";
    it->second.mode = mode;
}

void HttpDeviceSimulator::set_pacing(std::string const& path, std::size_t pieceBytes,
                                     std::chrono::milliseconds delay) {
    std::lock_guard lock(m_mutex);
    route& r = m_routes[path];
    r.pieceBytes = std::max<std::size_t>(pieceBytes, 1);
    r.delay = delay;
}

void HttpDeviceSimulator::redirect(std::string path, std::string location, int status) {
    std::lock_guard lock(m_mutex);
    route& r = m_routes[std::move(path)];
    r = route{};
    r.status = status;
    r.contentType = "text/plain";
    r.location = std::move(location);
}

std::string HttpDeviceSimulator::base_url() const {
    return "http://" + m_address + ":" + std::to_string(m_port);
}

std::vector<HttpDeviceSimulator::request> HttpDeviceSimulator::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::size_t HttpDeviceSimulator::request_count() const {
    std::lock_guard lock(m_mutex);
    return m_requests.size();
}

void HttpDeviceSimulator::run() noexcept {
    while (!m_stopping) {
        pollfd p{m_listener, POLLIN, 0};
        if (::poll(&p, 1, poll_ms) <= 0) continue;
        int const fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) continue;
        ++m_connections;
        try {
            while (handle(fd) && next_request_arrives(fd)) {
            }
        } catch (...) {
            // A failed response only loses that connection.
        }
        ::close(fd);
    }
}

bool HttpDeviceSimulator::next_request_arrives(int fd) {
    auto const deadline = clock::now() + request_deadline;
    while (!m_stopping && clock::now() < deadline) {
        pollfd p[2] = {{fd, POLLIN, 0}, {m_listener, POLLIN, 0}};
        if (::poll(p, 2, poll_ms) <= 0) continue;
        if (p[0].revents != 0) return true;
        if (p[1].revents != 0) return false;
    }
    return false;
}

bool HttpDeviceSimulator::handle(int fd) {
    request req;
    if (!read_request(fd, req)) return false;
    route r;
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(req);
        auto const it = m_routes.find(req.path);
        if (it != m_routes.end()) {
            r = it->second;
        } else {
            r.body = "not found\n";
            r.status = 404;
            r.contentType = "text/plain";
        }
    }
    std::string connection = req.header("Connection");
    std::transform(connection.begin(), connection.end(), connection.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    bool const keep =
        m_keepAlive && req.version == "HTTP/1.1" && connection != "close" && r.mode == fault::none;
    return respond(fd, req, r, keep);
}

bool HttpDeviceSimulator::read_request(int fd, request& out) {
    std::string head;
    auto const deadline = clock::now() + request_deadline;
    std::size_t end = std::string::npos;
    while (end == std::string::npos) {
        if (m_stopping || clock::now() > deadline || head.size() > max_request_head) return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, poll_ms) <= 0) continue;
        char buffer[4096];
        ssize_t const n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0) return false;
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            return false;
        }
        head.append(buffer, static_cast<std::size_t>(n));
        end = head.find("\r\n\r\n");
        if (end == std::string::npos) end = head.find("\n\n");
    }
    head.resize(end);

    std::string_view rest(head);
    auto next_line = [&rest] {
        auto const eol = rest.find('\n');
        std::string_view line = rest.substr(0, eol);
        rest = eol == std::string_view::npos ? std::string_view{} : rest.substr(eol + 1);
        return trim(line);
    };
    std::string_view const requestLine = next_line();
    auto const sp1 = requestLine.find(' ');
    auto const sp2 = requestLine.rfind(' ');
    if (sp1 == std::string_view::npos || sp2 == sp1) return false;
    out.method = requestLine.substr(0, sp1);
    out.target = trim(requestLine.substr(sp1 + 1, sp2 - sp1 - 1));
    out.version = requestLine.substr(sp2 + 1);
    out.path = out.target.substr(0, out.target.find('?'));
    while (!rest.empty()) {
        std::string_view const line = next_line();
        auto const colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        out.headers.emplace_back(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
    }
    return true;
}

bool HttpDeviceSimulator::respond(int fd, request const& req, route const& r, bool keep) {
    int status = r.status;
    if (r.mode == fault::not_found) status = 404;
    if (r.mode == fault::server_error) status = 500;
    std::string head = (req.version == "HTTP/1.0" ? "HTTP/1.0 " : "HTTP/1.1 ") +
                       std::to_string(status) + " " + reason(status) + "\r\n";
    head += "Content-Type: " + r.contentType + "\r\n";
    if (r.mode != fault::oversized)
        head += "Content-Length: " + std::to_string(r.body.size()) + "\r\n";
    if (!r.location.empty()) head += "Location: " + r.location + "\r\n";
    head += keep ? "\r\n" : "Connection: close\r\n\r\n";
    if (req.method == "HEAD") return send_all(fd, head) && keep;

    std::string_view const body(r.body);
    switch (r.mode) {
        case fault::cut_off:
            send_all(fd, head + std::string(body.substr(0, body.size() / 2)));
            return false;
        case fault::slow:
            if (!send_all(fd, head)) return false;
            for (std::size_t at = 0; at < body.size(); at += r.pieceBytes)
                if (!pause(r.delay) || !send_all(fd, body.substr(at, r.pieceBytes))) return false;
            return false;
        case fault::trickle: {
            std::string const response = head + std::string(body);
            for (std::size_t at = 0; at < response.size(); at += r.pieceBytes)
                if (!pause(r.delay) || !send_all(fd, response.substr(at, r.pieceBytes)))
                    return false;
            return false;
        }
        case fault::stall:
            if (send_all(fd, head + std::string(
                                        body.substr(0, std::min<std::size_t>(8, body.size() / 2)))))
                wait_for_client_to_leave(fd);
            return false;
        case fault::oversized: {
            if (!send_all(fd, head + "<?xml version=\"1.0\"?>\n<data>\n")) return false;
            std::string line = "<v>" + std::string(1000, 'a') + "</v>\n";
            std::string chunk;
            for (int i = 0; i < 64; ++i)
                chunk += line;
            for (std::size_t sent = 0; sent < oversized_bytes; sent += chunk.size())
                if (!send_all(fd, chunk)) return false;
            send_all(fd, "</data>\n");
            return false;
        }
        default:
            return send_all(fd, head + r.body) && keep;
    }
    return false;
}

bool HttpDeviceSimulator::send_all(int fd, std::string_view data) {
    auto const deadline = clock::now() + response_deadline;
    while (!data.empty()) {
        if (m_stopping || clock::now() > deadline) return false;
        ssize_t const n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, poll_ms);
    }
    return true;
}

bool HttpDeviceSimulator::pause(std::chrono::milliseconds duration) {
    auto const until = clock::now() + duration;
    while (clock::now() < until) {
        if (m_stopping) return false;
        auto const left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - clock::now());
        std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(left, 50ms));
    }
    return !m_stopping;
}

void HttpDeviceSimulator::wait_for_client_to_leave(int fd) {
    auto const deadline = clock::now() + response_deadline;
    while (!m_stopping && clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, poll_ms) <= 0) continue;
        char scratch[512];
        ssize_t const n = ::recv(fd, scratch, sizeof scratch, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return;
    }
}

}  // namespace ambivox::simulation
