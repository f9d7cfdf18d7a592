// SerialIoctl: the serial functions' only road to the kernel. Every terminal, ioctl, poll and
// descriptor call they make goes through the installed instance, so a test can install a
// subclass that overrides one call to fail (EINTR, EAGAIN, EIO, ENOENT, EBUSY...) or to stand
// in for a UART, and delegate the rest to this class.
//
// Each call answers like the system call it wraps: -1 with errno set on failure.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <cstddef>

#include "platform/base/Types.h"

namespace ambivox {

// The error counters of a UART.
struct line_error_counts {
    int frame = 0;
    int overrun = 0;
    int parity = 0;
    int brk = 0;
    int buffer_overrun = 0;
};

class SerialIoctl {
public:
    virtual ~SerialIoctl() = default;

    // Read and write, no controlling terminal, non-blocking, closed on exec.
    virtual int open(char const* path) noexcept;
    virtual int close(int fd) noexcept;
    virtual ssize_t read(int fd, void* buffer, std::size_t count) noexcept;
    virtual ssize_t write(int fd, void const* buffer, std::size_t count) noexcept;
    // Waits up to timeout_ms (>= 0) for `events`: 0 on time-out, 1 with `revents` filled.
    virtual int poll(int fd, short events, int timeout_ms, short& revents) noexcept;

    virtual int get_attributes(int fd, termios& attributes) noexcept;
    virtual int set_attributes(int fd, termios const& attributes) noexcept;  // at once
    virtual int flush(int fd, int queue) noexcept;                           // TCIFLUSH...
    virtual int flow(int fd, int action) noexcept;                           // TCOOFF...
    virtual int get_modem_lines(int fd, int& lines) noexcept;                // TIOCM_ bits
    virtual int set_modem_lines(int fd, int lines) noexcept;
    virtual int clear_modem_lines(int fd, int lines) noexcept;
    virtual int set_break(int fd, bool on) noexcept;
    virtual int input_queued(int fd, int& bytes) noexcept;
    virtual int output_queued(int fd, int& bytes) noexcept;
    virtual int error_counts(int fd, line_error_counts& counts) noexcept;
    // Takes the port for this descriptor alone (an advisory lock on the device and the
    // terminal's exclusive mode): EWOULDBLOCK or EBUSY when someone holds it.
    virtual int lock(int fd) noexcept;
    // Leaves exclusive mode, which would otherwise outlive the descriptor on a terminal that
    // stays open elsewhere; the advisory lock goes with the descriptor.
    virtual int unlock(int fd) noexcept;

    virtual bool is_pseudo_terminal(int fd) noexcept;
    virtual bool is_character_device(char const* path) noexcept;

    // How long a read or write given no time limit waits for a byte to move before it gives up.
    virtual unsigned idle_limit_ms() noexcept { return 30000; }

    // Helpers on a termios record; they touch no device.
    static speed_t speed_code(DWORD rate) noexcept;              // B0 when the rate has no code
    static DWORD baud_rate(termios const& attributes) noexcept;  // 0 when unknown or split
    static void set_speed(termios& attributes, speed_t code) noexcept;
    // Binary input and output, no echo or signals, reads that never block for a byte.
    static void make_raw(termios& attributes) noexcept;

    // The instance in use: the installed one, else the system's.
    static SerialIoctl& current() noexcept;
    // Installs `calls` (null: the system's again) and answers the one it replaces (null for the
    // system's). The caller keeps ownership and keeps `calls` alive while installed.
    static SerialIoctl* install(SerialIoctl* calls) noexcept;
};

}  // namespace ambivox
