#include "platform/base/ThreadState.h"

#include <atomic>
#include <cerrno>
#include <ctime>

namespace {
thread_local DWORD t_lastError = 0;
thread_local LCID t_locale = LOCALE_DEFAULT_ACTUAL;
std::atomic<ambivox::locale_listener> g_localeListener{nullptr};
}  // namespace

void ambivox::set_locale_listener(locale_listener listener) noexcept {
    g_localeListener.store(listener);
}

DWORD GetLastError() noexcept {
    return t_lastError;
}
void SetLastError(DWORD code) noexcept {
    t_lastError = code;
}

LCID GetThreadLocale() noexcept {
    return t_locale;
}

BOOL SetThreadLocale(LCID locale) noexcept {
    t_locale = locale;
    if (auto listener = g_localeListener.load()) listener(locale);
    return TRUE;
}

LCID GetUserDefaultLCID() noexcept {
    return LOCALE_DEFAULT_ACTUAL;
}
LCID GetSystemDefaultLCID() noexcept {
    return LOCALE_DEFAULT_ACTUAL;
}

void Sleep(DWORD milliseconds) noexcept {
    timespec remaining{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
    }
}
