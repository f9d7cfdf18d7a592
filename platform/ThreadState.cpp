#include "platform/ThreadState.h"

#include <cerrno>
#include <ctime>

namespace {
thread_local DWORD t_lastError = 0;
thread_local LCID t_locale = LOCALE_DEFAULT_ACTUAL;
}  // namespace

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
