#include "tools/ambivox/ProgressLine.h"

#include <unistd.h>

#include <cstdio>

namespace ambivox::cli {

ProgressLine::ProgressLine() noexcept : m_enabled(::isatty(STDERR_FILENO) == 1) {}

void ProgressLine::show(std::string const& text) noexcept {
    if (!m_enabled) return;
    // Carriage return, the text, then erase what a longer earlier text left behind.
    std::fprintf(stderr, "\r%s\033[K", text.c_str());
    std::fflush(stderr);
    m_shown = true;
}

void ProgressLine::clear() noexcept {
    if (!m_shown) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    m_shown = false;
}

}  // namespace ambivox::cli
