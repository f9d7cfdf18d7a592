#include "platform/internet/InternetClient.h"

#include <arpa/inet.h>
#include <strings.h>
#include <cstring>
#include <string_view>

#include "platform/base/CodePage.h"
#include "platform/base/ThreadState.h"
#include "platform/internet/HttpTransfer.h"

namespace ambivox {

namespace {

std::string utf8(LPCWSTR text) {
    return text == nullptr ? std::string() : narrow(text, CP_UTF8);
}

bool is_label_char(char c) noexcept {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

// A host name (labels of letters, digits, '-' and '_' between dots, and one trailing dot when it
// is written fully qualified) or an IPv4 or IPv6 address. Anything else, a ":port" suffix
// included, names no host.
bool is_host(std::string const& name) {
    in6_addr v6;
    if (inet_pton(AF_INET6, name.c_str(), &v6) == 1) return true;
    std::string_view labels = name;
    // The root's label is empty by nature; a lone "." is no name, though.
    if (labels.size() > 1 && labels.back() == '.') labels.remove_suffix(1);
    if (labels.empty() || labels.size() > 253) return false;
    std::size_t label = 0;
    for (char c : labels) {
        if (c == '.') {
            if (label == 0) return false;
            label = 0;
        } else if (is_label_char(c) && ++label <= 63) {
            continue;
        } else {
            return false;
        }
    }
    return label > 0;
}

// A host as the request's URL writes it. Names under "localhost" are the loopback's however they
// are written, but libcurl releases before late 2024 know them as such only without the root's
// dot. Other names keep theirs: it tells the resolver the name is absolute, not one to try its
// search list on.
std::string url_host(std::string const& host) {
    in6_addr v6;
    if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) return "[" + host + "]";
    constexpr std::string_view localhost = "localhost.";
    std::size_t const size = host.size();
    bool const under_localhost =
        size >= localhost.size() &&
        strcasecmp(host.c_str() + size - localhost.size(), localhost.data()) == 0 &&
        (size == localhost.size() || host[size - localhost.size() - 1] == '.');
    return under_localhost ? host.substr(0, size - 1) : host;
}

// The last error a request's send or read leaves for each way its transfer can end early.
DWORD last_error_for(HttpTransfer::failure reason) noexcept {
    using enum HttpTransfer::failure;
    switch (reason) {
        case name_not_resolved:
            return ERROR_INTERNET_NAME_NOT_RESOLVED;
        case cannot_connect:
            return ERROR_INTERNET_CANNOT_CONNECT;
        case timed_out:
            return ERROR_INTERNET_TIMEOUT;
        case out_of_memory:
            return ERROR_NOT_ENOUGH_MEMORY;
        case invalid_url:
            return ERROR_INTERNET_INVALID_URL;
        default:
            return ERROR_INTERNET_CONNECTION_ABORTED;
    }
}

struct response_info {
    DWORD error = ERROR_SUCCESS;
    std::u16string text;
};

response_info& last_response_info() noexcept {
    thread_local response_info info;
    return info;
}

}  // namespace

void InternetClient::set_last_response_info(DWORD error, std::string_view detail) noexcept {
    response_info& info = last_response_info();
    info.error = error;
    try {
        info.text = widen(detail, CP_UTF8);
    } catch (...) {
        info.text.clear();
    }
}

InternetClient& InternetClient::instance() noexcept {
    static InternetClient client;
    return client;
}

HINTERNET InternetClient::add(std::shared_ptr<void> object, int kind) {
    std::lock_guard lock(m_mutex);
    std::uintptr_t const value = (m_next += 4);
    m_handles.emplace(value, entry{kind, std::move(object)});
    return reinterpret_cast<HINTERNET>(value);
}

std::shared_ptr<void> InternetClient::lookup(HINTERNET handle, int kind) noexcept {
    std::lock_guard lock(m_mutex);
    auto const found = m_handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == m_handles.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (found->second.kind != kind) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return nullptr;
    }
    return found->second.object;
}

bool InternetClient::remove(HINTERNET handle) noexcept {
    std::shared_ptr<void> released;  // destroyed outside the lock
    std::lock_guard lock(m_mutex);
    auto const found = m_handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == m_handles.end()) return false;
    released = std::move(found->second.object);
    m_handles.erase(found);
    return true;
}

bool InternetClient::send(request& r) noexcept {
    try {
        std::string const host = utf8(r.owner->server.c_str());
        if (!is_host(host)) {
            set_last_response_info(ERROR_INTERNET_NAME_NOT_RESOLVED, "not a host name or address");
            SetLastError(ERROR_INTERNET_NAME_NOT_RESOLVED);
            return false;
        }
        HttpTransfer::options settings;
        settings.url = "http://" + url_host(host) + ":" + std::to_string(r.owner->port) + r.path;
        session const& owner = *r.owner->owner;
        settings.method = r.verb;
        settings.http10 = r.http10;
        settings.path_as_is = true;
        settings.user_agent = owner.agent;
        if (owner.access_type == INTERNET_OPEN_TYPE_DIRECT)
            settings.proxy.emplace();
        else if (owner.access_type == INTERNET_OPEN_TYPE_PROXY)
            settings.proxy = owner.proxy;

        r.body.clear();
        r.read_offset = 0;
        r.cut_error = ERROR_SUCCESS;
        r.cut_detail.clear();
        HttpTransfer::outcome const got =
            HttpTransfer(std::move(settings)).run([&r](std::string_view bytes) {
                try {
                    r.body.append(bytes);
                    return true;
                } catch (...) {
                    return false;
                }
            });

        r.status = got.status;
        r.status_text = got.status_text;
        r.sent = got.status != 0;
        if (got.reason == HttpTransfer::failure::none) return true;
        DWORD const error = last_error_for(got.reason);
        if (!r.sent) {
            set_last_response_info(error, got.detail);
            SetLastError(error);
            return false;
        }
        // The response began: the body up to the cut is handed out, then reading fails.
        r.cut_error = error;
        r.cut_detail = got.detail;
        return true;
    } catch (...) {
        set_last_response_info(ERROR_NOT_ENOUGH_MEMORY, "out of memory");
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
}

}  // namespace ambivox

using ambivox::InternetClient;

HINTERNET InternetOpenW(LPCWSTR agent, DWORD accessType, LPCWSTR proxy, LPCWSTR, DWORD) noexcept {
    try {
        auto s = std::make_shared<InternetClient::session>();
        s->agent = ambivox::utf8(agent);
        s->access_type = accessType;
        s->proxy = ambivox::utf8(proxy);
        return InternetClient::instance().add(std::move(s), InternetClient::session_kind);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

HINTERNET InternetConnectW(HINTERNET session, LPCWSTR server, INTERNET_PORT port, LPCWSTR, LPCWSTR,
                           DWORD service, DWORD, DWORD_PTR) noexcept {
    auto owner = InternetClient::instance().find<InternetClient::session>(session);
    if (!owner) return nullptr;
    if (server == nullptr || *server == u'\0' || service != INTERNET_SERVICE_HTTP) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        auto c = std::make_shared<InternetClient::connection>();
        c->owner = std::move(owner);
        c->server = server;
        c->port = port == 0 ? INTERNET_DEFAULT_HTTP_PORT : port;
        return InternetClient::instance().add(std::move(c), InternetClient::connection_kind);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

HINTERNET HttpOpenRequestW(HINTERNET connection, LPCWSTR verb, LPCWSTR object, LPCWSTR version,
                           LPCWSTR, LPCWSTR*, DWORD, DWORD_PTR) noexcept {
    auto owner = InternetClient::instance().find<InternetClient::connection>(connection);
    if (!owner) return nullptr;
    try {
        auto r = std::make_shared<InternetClient::request>();
        r->owner = std::move(owner);
        r->verb = verb == nullptr || *verb == u'\0' ? "GET" : ambivox::utf8(verb);
        r->path = object == nullptr || *object == u'\0' ? "/" : ambivox::utf8(object);
        r->http10 = version != nullptr && std::u16string_view(version) == u"HTTP/1.0";
        // A path is sent as it is, but a request line cannot carry white space or controls,
        // nor a fragment, which libcurl would cut off and so fetch another document.
        for (char c : r->path) {
            if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F || c == '#') {
                SetLastError(ERROR_INTERNET_INVALID_URL);
                return nullptr;
            }
        }
        return InternetClient::instance().add(std::move(r), InternetClient::request_kind);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

BOOL HttpSendRequestW(HINTERNET request, LPCWSTR, DWORD, void*, DWORD) noexcept {
    auto r = InternetClient::instance().find<InternetClient::request>(request);
    if (!r) return FALSE;
    return InternetClient::send(*r) ? TRUE : FALSE;
}

BOOL InternetReadFile(HINTERNET file, void* buffer, DWORD toRead, DWORD* read) noexcept {
    if (read == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *read = 0;
    auto r = InternetClient::instance().find<InternetClient::request>(file);
    if (!r) return FALSE;
    if (!r->sent) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return FALSE;
    }
    if (buffer == nullptr && toRead > 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::size_t const left = r->body.size() - r->read_offset;
    if (left == 0 && r->cut_error != ERROR_SUCCESS) {
        InternetClient::set_last_response_info(r->cut_error, r->cut_detail);
        SetLastError(r->cut_error);
        return FALSE;
    }
    std::size_t const count = std::min<std::size_t>(left, toRead);
    if (count > 0) std::memcpy(buffer, r->body.data() + r->read_offset, count);
    r->read_offset += count;
    *read = static_cast<DWORD>(count);
    return TRUE;
}

BOOL HttpQueryInfoW(HINTERNET request, DWORD infoLevel, void* buffer, DWORD* bufferLength,
                    DWORD*) noexcept {
    auto r = InternetClient::instance().find<InternetClient::request>(request);
    if (!r) return FALSE;
    DWORD const level = infoLevel & 0xFFFF;
    if ((level != HTTP_QUERY_STATUS_CODE && level != HTTP_QUERY_STATUS_TEXT) ||
        bufferLength == nullptr) {
        SetLastError(ERROR_HTTP_INVALID_QUERY_REQUEST);
        return FALSE;
    }
    if (!r->sent) {
        SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
        return FALSE;
    }
    if (level == HTTP_QUERY_STATUS_CODE && (infoLevel & HTTP_QUERY_FLAG_NUMBER) != 0) {
        if (buffer == nullptr || *bufferLength < sizeof(DWORD)) {
            *bufferLength = sizeof(DWORD);
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        DWORD const status = static_cast<DWORD>(r->status);
        std::memcpy(buffer, &status, sizeof status);
        *bufferLength = sizeof status;
        return TRUE;
    }
    std::u16string text;
    try {
        text = ambivox::widen(
            level == HTTP_QUERY_STATUS_TEXT ? r->status_text : std::to_string(r->status), CP_UTF8);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    DWORD const needed = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
    if (buffer == nullptr || *bufferLength < needed) {
        *bufferLength = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto* out = static_cast<char16_t*>(buffer);
    std::memcpy(out, text.data(), text.size() * sizeof(char16_t));
    out[text.size()] = u'\0';
    *bufferLength = static_cast<DWORD>(text.size() * sizeof(char16_t));
    return TRUE;
}

BOOL InternetCloseHandle(HINTERNET handle) noexcept {
    if (InternetClient::instance().remove(handle)) return TRUE;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL InternetGetLastResponseInfoW(DWORD* error, LPWSTR buffer, DWORD* length) noexcept {
    if (error == nullptr || length == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto const& info = ambivox::last_response_info();
    *error = info.error;
    auto const size = static_cast<DWORD>(info.text.size());
    if (buffer == nullptr || *length <= size) {
        *length = size + 1;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, info.text.data(), info.text.size() * sizeof(char16_t));
    buffer[size] = u'\0';
    *length = size;
    return TRUE;
}
