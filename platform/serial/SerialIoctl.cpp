#include "platform/serial/SerialIoctl.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>

namespace ambivox {

namespace {

std::atomic<SerialIoctl*> g_installed{nullptr};

// Unix98 pseudo-terminal slaves.
constexpr unsigned pty_slave_major_first = 136;
constexpr unsigned pty_slave_major_last = 143;

struct speed_entry {
    DWORD rate;
    speed_t code;
};
constexpr speed_entry speeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

}  // namespace

int SerialIoctl::open(char const* path) noexcept {
    return ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

int SerialIoctl::close(int fd) noexcept {
    return ::close(fd);
}

ssize_t SerialIoctl::read(int fd, void* buffer, std::size_t count) noexcept {
    return ::read(fd, buffer, count);
}

ssize_t SerialIoctl::write(int fd, void const* buffer, std::size_t count) noexcept {
    return ::write(fd, buffer, count);
}

int SerialIoctl::poll(int fd, short events, int timeout_ms, short& revents) noexcept {
    pollfd entry{fd, events, 0};
    int const rc = ::poll(&entry, 1, timeout_ms);
    revents = entry.revents;
    return rc;
}

int SerialIoctl::get_attributes(int fd, termios& attributes) noexcept {
    return ::tcgetattr(fd, &attributes);
}

int SerialIoctl::set_attributes(int fd, termios const& attributes) noexcept {
    return ::tcsetattr(fd, TCSANOW, &attributes);
}

int SerialIoctl::flush(int fd, int queue) noexcept {
    return ::tcflush(fd, queue);
}

int SerialIoctl::flow(int fd, int action) noexcept {
    return ::tcflow(fd, action);
}

int SerialIoctl::get_modem_lines(int fd, int& lines) noexcept {
    return ::ioctl(fd, TIOCMGET, &lines);
}

int SerialIoctl::set_modem_lines(int fd, int lines) noexcept {
    return ::ioctl(fd, TIOCMBIS, &lines);
}

int SerialIoctl::clear_modem_lines(int fd, int lines) noexcept {
    return ::ioctl(fd, TIOCMBIC, &lines);
}

int SerialIoctl::set_break(int fd, bool on) noexcept {
    return ::ioctl(fd, on ? TIOCSBRK : TIOCCBRK);
}

int SerialIoctl::input_queued(int fd, int& bytes) noexcept {
    return ::ioctl(fd, FIONREAD, &bytes);
}

int SerialIoctl::output_queued(int fd, int& bytes) noexcept {
    return ::ioctl(fd, TIOCOUTQ, &bytes);
}

int SerialIoctl::error_counts(int fd, line_error_counts& counts) noexcept {
    serial_icounter_struct raw{};
    if (::ioctl(fd, TIOCGICOUNT, &raw) == -1) return -1;
    counts = {raw.frame, raw.overrun, raw.parity, raw.brk, raw.buf_overrun};
    return 0;
}

int SerialIoctl::lock(int fd) noexcept {
    // The advisory lock also holds against privileged processes, which exclusive mode lets in.
    if (::flock(fd, LOCK_EX | LOCK_NB) == -1) return -1;
    if (::ioctl(fd, TIOCEXCL) == -1) {
        int const error = errno;
        ::flock(fd, LOCK_UN);
        errno = error;
        return -1;
    }
    return 0;
}

int SerialIoctl::unlock(int fd) noexcept {
    return ::ioctl(fd, TIOCNXCL);
}

bool SerialIoctl::is_pseudo_terminal(int fd) noexcept {
    struct stat info {};
    if (::fstat(fd, &info) == -1 || !S_ISCHR(info.st_mode)) return false;
    unsigned const device_major = major(info.st_rdev);
    return device_major >= pty_slave_major_first && device_major <= pty_slave_major_last;
}

bool SerialIoctl::is_character_device(char const* path) noexcept {
    struct stat info {};
    return ::stat(path, &info) == 0 && S_ISCHR(info.st_mode);
}

speed_t SerialIoctl::speed_code(DWORD rate) noexcept {
    for (auto const& entry : speeds) {
        if (entry.rate == rate) return entry.code;
    }
    return B0;
}

DWORD SerialIoctl::baud_rate(termios const& attributes) noexcept {
    speed_t const code = ::cfgetospeed(&attributes);
    speed_t const input = ::cfgetispeed(&attributes);
    if (input != code && input != B0) return 0;  // split speeds have no single rate
    for (auto const& entry : speeds) {
        if (entry.code == code) return entry.rate;
    }
    return 0;
}

void SerialIoctl::set_speed(termios& attributes, speed_t code) noexcept {
    ::cfsetospeed(&attributes, code);
    ::cfsetispeed(&attributes, code);
}

void SerialIoctl::make_raw(termios& attributes) noexcept {
    attributes.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | IGNPAR | PARMRK | ISTRIP |
                                                 INLCR | IGNCR | ICRNL | IXANY | IMAXBEL | IUCLC);
    attributes.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    attributes.c_lflag &=
        ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN | TOSTOP);
    attributes.c_cflag |= CREAD | CLOCAL;
    // At least one byte per read: an empty read then means the line hung up, and a
    // non-blocking descriptor answers EAGAIN when nothing is buffered.
    attributes.c_cc[VMIN] = 1;
    attributes.c_cc[VTIME] = 0;
}

SerialIoctl& SerialIoctl::current() noexcept {
    static SerialIoctl system;
    SerialIoctl* installed = g_installed.load();
    return installed != nullptr ? *installed : system;
}

SerialIoctl* SerialIoctl::install(SerialIoctl* calls) noexcept {
    return g_installed.exchange(calls);
}

}  // namespace ambivox
