// ProgressLine: one line on standard error, rewritten in place while something runs, and only
// when standard error is a terminal, so pipes and log files never see it.
#pragma once

#include <string>

namespace ambivox::cli {

class ProgressLine {
public:
    ProgressLine() noexcept;
    ~ProgressLine() { clear(); }
    ProgressLine(ProgressLine const&) = delete;
    ProgressLine& operator=(ProgressLine const&) = delete;

    bool enabled() const noexcept { return m_enabled; }
    void show(std::string const& text) noexcept;
    // Erases the line, leaving the cursor at its start.
    void clear() noexcept;

private:
    bool m_enabled;
    bool m_shown = false;
};

}  // namespace ambivox::cli
