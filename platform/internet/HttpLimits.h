// The limits every HTTP transfer of the platform observes, so that no request blocks forever or
// grows memory without bound.
#pragma once

#include <chrono>
#include <cstddef>

namespace ambivox {

struct http_limits {
    std::chrono::milliseconds connect_timeout{10'000};   // to establish the connection
    std::chrono::milliseconds stall_timeout{30'000};     // with no byte arriving
    std::chrono::milliseconds document_timeout{60'000};  // for the whole document, from the start
    std::size_t max_document_bytes = 16u << 20;          // a larger document fails
};

http_limits current_http_limits() noexcept;

// Tests shorten the time-outs; a default-constructed value restores the defaults.
void set_http_limits_for_testing(http_limits const& limits) noexcept;

}  // namespace ambivox
