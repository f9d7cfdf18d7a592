#include "platform/internet/HttpLimits.h"

#include <mutex>

namespace ambivox {

namespace {
std::mutex g_mutex;
http_limits g_limits;
}  // namespace

http_limits current_http_limits() noexcept {
    std::lock_guard lock(g_mutex);
    return g_limits;
}

void set_http_limits_for_testing(http_limits const& limits) noexcept {
    std::lock_guard lock(g_mutex);
    g_limits = limits;
}

}  // namespace ambivox
