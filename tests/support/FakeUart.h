// FakeUart: the serial calls of a real UART, played over a pseudo-terminal's descriptor. Line
// settings live in memory and take whatever is asked (a pseudo-terminal keeps 8 data bits and no
// parity), the modem lines are a bit set the test can read and change, and the error counters
// are the test's to bump. I/O still flows through the terminal.
#pragma once

#include <sys/ioctl.h>
#include <termios.h>

#include "platform/serial/SerialIoctl.h"

namespace ambivox::testing {

class FakeUart : public SerialIoctl {
public:
    FakeUart() noexcept {
        ::cfmakeraw(&attributes);
        attributes.c_cflag |= CS8 | CREAD | CLOCAL;
        attributes.c_cc[VSTART] = 0x11;
        attributes.c_cc[VSTOP] = 0x13;
        SerialIoctl::set_speed(attributes, B9600);
    }

    termios attributes{};
    int lines = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR;
    line_error_counts errors;

    int get_attributes(int, termios& out) noexcept override {
        out = attributes;
        return 0;
    }
    int set_attributes(int, termios const& in) noexcept override {
        attributes = in;
        return 0;
    }
    int get_modem_lines(int, int& out) noexcept override {
        out = lines;
        return 0;
    }
    int set_modem_lines(int, int bits) noexcept override {
        lines |= bits;
        return 0;
    }
    int clear_modem_lines(int, int bits) noexcept override {
        lines &= ~bits;
        return 0;
    }
    int error_counts(int, line_error_counts& out) noexcept override {
        out = errors;
        return 0;
    }
    bool is_pseudo_terminal(int) noexcept override { return false; }
};

}  // namespace ambivox::testing
