// InternetClient: the handle table and the requests behind the internet client functions of
// WinInet.h; each request is sent as one HttpTransfer.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/internet/WinInet.h"

namespace ambivox {

class InternetClient {
public:
    static InternetClient& instance() noexcept;

    struct session {
        std::string agent;
        DWORD access_type = INTERNET_OPEN_TYPE_PRECONFIG;
        std::string proxy;
    };
    struct connection {
        std::shared_ptr<session const> owner;
        std::u16string server;
        INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
    };
    struct request {
        std::shared_ptr<connection const> owner;
        std::string verb;
        std::string path;
        bool http10 = false;
        bool sent = false;
        long status = 0;
        std::string status_text;
        std::string body;
        std::size_t read_offset = 0;
        DWORD cut_error = ERROR_SUCCESS;  // why the body ended early, if it did
        std::string cut_detail;           // and in words
    };

    HINTERNET add(std::shared_ptr<void> object, int kind);
    // The object behind a handle of that kind, or null (the last error then tells why).
    template <class T>
    std::shared_ptr<T> find(HINTERNET handle) noexcept;
    bool remove(HINTERNET handle) noexcept;

    // Performs the request's transfer; false with the last error set when nothing was received.
    static bool send(request& r) noexcept;

    // The thread's last failure in words, for InternetGetLastResponseInfoW.
    static void set_last_response_info(DWORD error, std::string_view detail) noexcept;

    enum kinds { session_kind = 1, connection_kind = 2, request_kind = 3 };

private:
    struct entry {
        int kind;
        std::shared_ptr<void> object;
    };
    std::shared_ptr<void> lookup(HINTERNET handle, int kind) noexcept;

    std::mutex m_mutex;
    std::unordered_map<std::uintptr_t, entry> m_handles;
    std::uintptr_t m_next = 0xCC0000;
};

template <class T>
std::shared_ptr<T> InternetClient::find(HINTERNET handle) noexcept {
    int kind = std::is_same_v<T, session>      ? session_kind
               : std::is_same_v<T, connection> ? connection_kind
                                               : request_kind;
    return std::static_pointer_cast<T>(lookup(handle, kind));
}

}  // namespace ambivox
