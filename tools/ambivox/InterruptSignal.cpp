#include "tools/ambivox/InterruptSignal.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace ambivox::cli {

namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

extern "C" void raise_flag(int) {
    interrupted.store(true);
}

}  // namespace

void InterruptSignal::install() noexcept {
    struct sigaction action {};
    action.sa_handler = raise_flag;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool InterruptSignal::raised() noexcept {
    return interrupted.load();
}

bool InterruptSignal::sleep_for(std::chrono::milliseconds duration) noexcept {
    return sleep_until(std::chrono::steady_clock::now() + duration);
}

bool InterruptSignal::sleep_until(std::chrono::steady_clock::time_point until) noexcept {
    using namespace std::chrono_literals;
    while (!raised()) {
        auto const left = until - std::chrono::steady_clock::now();
        if (left <= 0ms) return true;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(50)));
    }
    return false;
}

}  // namespace ambivox::cli
