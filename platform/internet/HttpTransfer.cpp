#include "platform/internet/HttpTransfer.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <mutex>

#include "platform/internet/HttpLimits.h"

namespace ambivox {

namespace {

using clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

void global_init() noexcept {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpTransfer::failure classify(CURLcode code) noexcept {
    using enum HttpTransfer::failure;
    switch (code) {
        case CURLE_URL_MALFORMAT:
            return invalid_url;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return unsupported_protocol;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return name_not_resolved;
        case CURLE_COULDNT_CONNECT:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
            return cannot_connect;
        case CURLE_OPERATION_TIMEDOUT:
            return timed_out;
        case CURLE_HTTP_RETURNED_ERROR:
            return error_status;
        case CURLE_FILESIZE_EXCEEDED:
            return too_large;
        case CURLE_OUT_OF_MEMORY:
            return out_of_memory;
        default:
            return broken_off;
    }
}

bool is_success(long status) noexcept {
    return status >= 200 && status < 300;
}

// One easy handle driven through a multi handle: libcurl's own low-speed limit averages over a
// window of seconds, so a few bytes and then silence would outlast the no-progress time-out by
// that window. Driving the transfer ourselves times the silence to the millisecond.
//
// Each thread keeps its pair between transfers: the multi handle holds the connections and
// addresses of the last few hosts, so the next request to a device that keeps its connection
// open (HTTP/1.1 keep-alive) reuses it, and one that closes it costs a new connection as
// before. A transfer started from inside another's sink on the same thread gets a pair of its
// own. Options never outlive a transfer: the easy handle is reset before and after each.
struct curl_handles {
    curl_handles() noexcept : easy(curl_easy_init()), multi(curl_multi_init()) {
        if (multi != nullptr) curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, max_idle_connections);
    }
    ~curl_handles() {
        if (multi != nullptr) curl_multi_cleanup(multi);
        if (easy != nullptr) curl_easy_cleanup(easy);
    }
    curl_handles(curl_handles const&) = delete;
    curl_handles& operator=(curl_handles const&) = delete;

    static constexpr long max_idle_connections = 4;
    CURL* easy;
    CURLM* multi;
    bool busy = false;
};

// The calling thread's pair for the length of one transfer.
class handles_in_use {
public:
    handles_in_use() {
        thread_local std::unique_ptr<curl_handles> kept;
        if (!kept) kept = std::make_unique<curl_handles>();
        m_handles = kept.get();
        if (m_handles->busy) {
            m_own = std::make_unique<curl_handles>();
            m_handles = m_own.get();
        }
        m_handles->busy = true;
    }
    ~handles_in_use() {
        if (m_added) curl_multi_remove_handle(m_handles->multi, m_handles->easy);
        if (m_handles->easy != nullptr) curl_easy_reset(m_handles->easy);
        m_handles->busy = false;
    }
    handles_in_use(handles_in_use const&) = delete;
    handles_in_use& operator=(handles_in_use const&) = delete;

    CURL* easy() const noexcept { return m_handles->easy; }
    CURLM* multi() const noexcept { return m_handles->multi; }
    bool add() noexcept {
        m_added = curl_multi_add_handle(m_handles->multi, m_handles->easy) == CURLM_OK;
        return m_added;
    }

private:
    curl_handles* m_handles;
    std::unique_ptr<curl_handles> m_own;
    bool m_added = false;
};

// "10 s" for whole seconds, else "300 ms": the limits are set in whole seconds, tests shorten them.
std::string duration_text(milliseconds span) {
    return span.count() % 1000 == 0 ? std::to_string(span.count() / 1000) + " s"
                                    : std::to_string(span.count()) + " ms";
}

std::string size_text(std::size_t bytes) {
    constexpr std::size_t mebibyte = 1u << 20;
    return bytes % mebibyte == 0 ? std::to_string(bytes / mebibyte) + " MiB"
                                 : std::to_string(bytes) + " bytes";
}

// libcurl's own texts name its internals ("Couldn't connect to server"); a person reading a
// failed poll wants to know what the network did.
std::string connect_failure_text(CURL* easy) {
    long os_error = 0;
    curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &os_error);
    switch (os_error) {
        case ECONNREFUSED:
            return "connection refused";
        case EHOSTUNREACH:
            return "host unreachable";
        case ENETUNREACH:
            return "network unreachable";
        default:
            return "cannot connect";
    }
}

}  // namespace

// What libcurl's callbacks see of a running transfer.
struct HttpTransfer::progress {
    options const& settings;
    sink const& deliver;
    http_limits const limits;
    CURL* easy;
    clock::time_point const started = clock::now();
    clock::time_point last_byte = started;
    std::size_t received = 0;
    bool status_checked = false;
    std::string status_text{};
    failure reason = failure::none;  // decided by a callback

    // The one place the transfer's clocks are read: how long it may still wait for its next
    // byte, or zero when it has waited too long or the whole document is overdue.
    milliseconds patience() const noexcept {
        auto const now = clock::now();
        auto const left = std::min(limits.stall_timeout - (now - last_byte),
                                   limits.document_timeout - (now - started));
        return left.count() > 0 ? std::chrono::duration_cast<milliseconds>(left) + milliseconds(1)
                                : milliseconds(0);
    }

    bool overdue() const noexcept { return clock::now() - started >= limits.document_timeout; }

    static std::size_t on_header(char* data, std::size_t size, std::size_t count,
                                 void* user) noexcept {
        auto& p = *static_cast<progress*>(user);
        p.last_byte = clock::now();
        std::string_view line(data, size * count);
        // "HTTP/1.1 404 Not Found": the phrase after the code. A redirect's status line is
        // replaced by the next response's.
        if (line.starts_with("HTTP/")) {
            auto const code = line.find(' ');
            auto const phrase = code == line.npos ? line.npos : line.find(' ', code + 1);
            line = phrase == line.npos ? std::string_view() : line.substr(phrase + 1);
            while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
                line.remove_suffix(1);
            try {
                p.status_text.assign(line);
            } catch (...) {
                p.status_text.clear();
            }
        }
        return size * count;
    }

    // Anything but the number of bytes offered makes libcurl abandon the transfer.
    static std::size_t on_body(char* data, std::size_t size, std::size_t count,
                               void* user) noexcept {
        auto& p = *static_cast<progress*>(user);
        std::size_t const bytes = size * count;
        p.last_byte = clock::now();
        if (p.settings.refuse_error_status && !p.status_checked) {
            long status = 0;
            curl_easy_getinfo(p.easy, CURLINFO_RESPONSE_CODE, &status);
            if (!is_success(status)) {
                p.reason = failure::error_status;
                return 0;
            }
            p.status_checked = true;
        }
        if (bytes > p.limits.max_document_bytes - p.received) {
            p.reason = failure::too_large;
            return 0;
        }
        p.received += bytes;
        if (bytes == 0) return 0;
        bool accepted = false;
        try {
            accepted = p.deliver(std::string_view(data, bytes));
        } catch (...) {
        }
        if (accepted) return bytes;
        p.reason = failure::stopped;
        return 0;
    }
};

HttpTransfer::outcome HttpTransfer::run(sink const& deliver) const noexcept {
    outcome out;
    try {
        global_init();
        handles_in_use curl;
        if (curl.easy() == nullptr || curl.multi() == nullptr) {
            out.reason = failure::out_of_memory;
            out.detail = "out of memory";
            return out;
        }
        CURL* const e = curl.easy();
        progress p{m_options, deliver, current_http_limits(), e};
        char error_text[CURL_ERROR_SIZE] = {};

        curl_easy_setopt(e, CURLOPT_URL, m_options.url.c_str());
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        if (m_options.max_redirects > 0) {
            curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
            curl_easy_setopt(e, CURLOPT_MAXREDIRS, m_options.max_redirects);
            curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        }
        if (m_options.method != "GET")
            curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, m_options.method.c_str());
        bool const head = m_options.method == "HEAD";
        if (head) curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
        if (m_options.http10) curl_easy_setopt(e, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
        if (m_options.path_as_is) curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L);
        if (m_options.refuse_error_status) curl_easy_setopt(e, CURLOPT_FAILONERROR, 1L);
        curl_easy_setopt(e, CURLOPT_USERAGENT, m_options.user_agent.c_str());
        if (m_options.proxy) curl_easy_setopt(e, CURLOPT_PROXY, m_options.proxy->c_str());
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(p.limits.connect_timeout.count()));
        // A body announced over the cap fails before any of it arrives.
        if (!head)
            curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE,
                             static_cast<curl_off_t>(p.limits.max_document_bytes));
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_ERRORBUFFER, error_text);
        curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &progress::on_header);
        curl_easy_setopt(e, CURLOPT_HEADERDATA, &p);
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &progress::on_body);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &p);

        if (!curl.add()) {
            out.reason = failure::broken_off;
            out.detail = "the transfer could not start";
            return out;
        }

        bool stalled = false;
        bool multi_failed = false;
        for (;;) {
            int running = 0;
            if (curl_multi_perform(curl.multi(), &running) != CURLM_OK) {
                multi_failed = true;
                break;
            }
            if (running == 0) break;
            milliseconds const wait = p.patience();
            if (wait.count() == 0) {
                stalled = true;
                break;
            }
            // A socket that wakes the poll has bytes for libcurl: any byte is progress, also one
            // of a header line that libcurl hands on only when the line is complete.
            int woken = 0;
            if (curl_multi_poll(curl.multi(), nullptr, 0,
                                static_cast<int>(std::min<long long>(wait.count(), 1000)),
                                &woken) != CURLM_OK) {
                multi_failed = true;
                break;
            }
            if (woken > 0) p.last_byte = clock::now();
        }

        CURLcode result = CURLE_OK;
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(curl.multi(), &left))
            if (message->msg == CURLMSG_DONE) result = message->data.result;
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &out.status);
        out.status_text = p.status_text;
        std::string const status_line =
            "HTTP " + std::to_string(out.status) +
            (out.status_text.empty() ? std::string() : " " + out.status_text);

        if (stalled) {
            out.reason = failure::timed_out;
            out.detail = p.overdue()
                             ? "the document did not arrive within " +
                                   duration_text(p.limits.document_timeout)
                             : "no data arrived for " + duration_text(p.limits.stall_timeout);
        } else if (multi_failed) {
            out.reason = failure::broken_off;
            out.detail = "the transfer failed";
        } else if (p.reason == failure::error_status) {
            out.reason = p.reason;
            out.detail = status_line;
        } else if (p.reason == failure::too_large) {
            out.reason = p.reason;
            out.detail = "larger than " + size_text(p.limits.max_document_bytes);
        } else if (p.reason == failure::stopped) {
            out.reason = p.reason;
            out.detail = "the receiver stopped the transfer";
        } else if (result != CURLE_OK) {
            out.reason = classify(result);
            switch (out.reason) {
                case failure::name_not_resolved:
                    out.detail = "host name not found";
                    break;
                case failure::cannot_connect:
                    out.detail = connect_failure_text(e);
                    break;
                case failure::timed_out:
                    out.detail = "no answer within " + duration_text(p.limits.connect_timeout);
                    break;
                case failure::too_large:
                    out.detail = "larger than " + size_text(p.limits.max_document_bytes);
                    break;
                case failure::error_status:
                    out.detail = status_line;
                    break;
                case failure::broken_off:
                    if (out.status != 0) {
                        out.detail = "document cut off";
                        break;
                    }
                    [[fallthrough]];
                default:
                    out.detail = error_text[0] != '\0' ? error_text : curl_easy_strerror(result);
            }
        } else if (m_options.refuse_error_status && !is_success(out.status)) {
            out.reason = failure::error_status;
            out.detail = status_line;
        }
        return out;
    } catch (...) {
        out.reason = failure::out_of_memory;
        out.detail = "out of memory";
        return out;
    }
}

}  // namespace ambivox
