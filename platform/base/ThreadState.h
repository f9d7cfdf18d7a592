// Per-thread state of the platform: the last error code and the thread locale.
#pragma once

#include "platform/base/Types.h"

constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCID LOCALE_NEUTRAL = 0x0000;
constexpr LCID LOCALE_INVARIANT = 0x007F;
// What the two default pseudo-locales stand for on this platform.
constexpr LCID LOCALE_DEFAULT_ACTUAL = 0x0409;

DWORD GetLastError() noexcept;
void SetLastError(DWORD code) noexcept;

LCID GetThreadLocale() noexcept;  // starts as LOCALE_DEFAULT_ACTUAL on every thread
BOOL SetThreadLocale(LCID locale) noexcept;
LCID GetUserDefaultLCID() noexcept;
LCID GetSystemDefaultLCID() noexcept;

namespace ambivox {

// Told of every SetThreadLocale on any thread, so tests can see which locale code ran under.
using locale_listener = void (*)(LCID locale) noexcept;
void set_locale_listener(locale_listener listener) noexcept;

}  // namespace ambivox

// Blocks the calling thread; restarts after signals so the whole interval passes.
void Sleep(DWORD milliseconds) noexcept;
