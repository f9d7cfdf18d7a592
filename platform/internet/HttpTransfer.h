// HttpTransfer: the platform's one HTTP transfer, on libcurl. The internet client and the SAX
// reader's parseURL both fetch through it, so every request observes the same limits
// (platform/internet/HttpLimits.h) and fails in the same few ways.
//
// A transfer runs on the calling thread and hands the body to the caller's sink as it arrives.
// It ends when the body is complete or with the first of:
//   - no connection within the connect time-out, no byte at all (headers count) for the
//     no-progress time-out, or not the whole document within the document time-out: timed_out;
//   - a body announced or counted over the size cap: too_large (an announced one before any
//     of it is delivered, a counted one after the pieces that fit under the cap);
//   - the sink asking to stop: stopped;
//   - anything libcurl reports, classified below.
// Proxies come from the standard proxy environment variables unless the options name one.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace ambivox {

class HttpTransfer {
public:
    // Why a transfer ended early; each caller turns it into its own codes.
    enum class failure {
        none,
        invalid_url,           // a URL libcurl cannot parse
        unsupported_protocol,  // a scheme, or a redirect to a scheme, other than http and https
        name_not_resolved,     // the host or the proxy has no address
        cannot_connect,        // refused, unreachable, or the secure handshake failed
        timed_out,             // the connect or the no-progress time-out passed
        error_status,          // a status outside 200-299 where refuse_error_status is set
        too_large,             // the body is over the size cap
        out_of_memory,
        stopped,     // the sink refused bytes
        broken_off,  // any other failure: cut off, too many redirects, ...
    };

    struct options {
        std::string url;
        std::string method = "GET";  // sent as given; HEAD asks for no body
        bool http10 = false;         // otherwise libcurl's default version
        bool path_as_is = false;     // send "/../" and "/./" as written
        long max_redirects = 0;      // redirects followed, to http and https only
        // An error page is not the body: it never reaches the sink and ends the transfer.
        bool refuse_error_status = false;
        std::string user_agent;
        // Empty: no proxy at all; a value: that proxy; none: the proxy environment variables.
        std::optional<std::string> proxy;
    };

    struct outcome {
        failure reason = failure::none;
        long status = 0;          // the last response's status; 0 when no response began
        std::string status_text;  // that status line's reason phrase, as the server sent it
        std::string detail;       // why, in words a person can act on, when reason is not none
    };

    // Takes each run of body bytes in order; false stops the transfer. It must not throw (an
    // exception stops the transfer as false would).
    using sink = std::function<bool(std::string_view bytes)>;

    explicit HttpTransfer(options settings) noexcept : m_options(std::move(settings)) {}

    // Performs the transfer once, delivering the body to `deliver`. On a failure the bytes
    // delivered so far stay delivered; the outcome says why no more came.
    outcome run(sink const& deliver) const noexcept;

private:
    struct progress;

    options m_options;
};

}  // namespace ambivox
