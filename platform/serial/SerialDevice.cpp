#include "platform/serial/SerialDevice.h"

#include <poll.h>
#include <sys/ioctl.h>  // the TIOCM_ line bits

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <new>
#include <optional>

namespace ambivox {

namespace {

using steady = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A signal that keeps interrupting the same call gives up after this many tries.
constexpr int max_interruptions = 64;
// Longest time limit a request computes (about 35 years); it keeps the clock arithmetic finite.
constexpr std::uint64_t longest_limit_ms = std::uint64_t{1} << 40;

template <class Call>
auto retry(Call&& call) noexcept {
    auto rc = call();
    for (int tries = 0; rc == -1 && errno == EINTR && tries < max_interruptions; ++tries) {
        rc = call();
    }
    return rc;
}

// A failed call on an open port.
DWORD io_error(int error) noexcept {
    switch (error) {
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case ENOTTY:
            return ERROR_NOT_SUPPORTED;
        case EACCES:
        case EPERM:
            return ERROR_ACCESS_DENIED;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case EINTR:
            return ERROR_OPERATION_ABORTED;
        default:  // EIO, ENXIO, ENODEV: the device failed or went away
            return ERROR_GEN_FAILURE;
    }
}

// A failed open: a node without a device behind it (EIO, ENXIO) counts as no device.
DWORD open_error(int error) noexcept {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
        case ENXIO:
        case ENODEV:
        case EIO:
        case ENOTTY:
        case ENAMETOOLONG:
        case ELOOP:
            return ERROR_FILE_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EBUSY:
        case EAGAIN:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case ENOMEM:
        case EMFILE:
        case ENFILE:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_GEN_FAILURE;
    }
}

milliseconds limit_ms(std::uint64_t value) noexcept {
    return milliseconds(static_cast<milliseconds::rep>(std::min(value, longest_limit_ms)));
}

int poll_ms(steady::duration left) noexcept {
    auto const ms = std::chrono::ceil<milliseconds>(left).count();
    return static_cast<int>(std::clamp<milliseconds::rep>(ms, 0, INT_MAX));
}

// One bounded wait for `events`. A time-out or an interrupting signal is no failure: the caller
// looks at the clock again. `trouble` tells that the line reported a hang-up or an error.
DWORD wait_for(SerialIoctl& os, int fd, short events, steady::duration left,
               bool& trouble) noexcept {
    short revents = 0;
    int const rc = os.poll(fd, events, poll_ms(left), revents);
    if (rc == -1) return errno == EINTR ? ERROR_SUCCESS : io_error(errno);
    if (rc > 0 && (revents & POLLNVAL) != 0) return ERROR_INVALID_HANDLE;
    trouble = rc > 0 && (revents & (POLLHUP | POLLERR)) != 0;
    return ERROR_SUCCESS;
}

constexpr tcflag_t line_bits = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS | CREAD | CLOCAL;
constexpr tcflag_t input_bits = INPCK | IXON | IXOFF;

bool same_settings(termios const& a, termios const& b) noexcept {
    return (a.c_cflag & line_bits) == (b.c_cflag & line_bits) &&
           (a.c_iflag & input_bits) == (b.c_iflag & input_bits) &&
           a.c_cc[VSTART] == b.c_cc[VSTART] && a.c_cc[VSTOP] == b.c_cc[VSTOP] &&
           SerialIoctl::baud_rate(a) == SerialIoctl::baud_rate(b);
}

// Why a DCB cannot be applied, or ERROR_SUCCESS.
DWORD check_state(DCB const& dcb, DWORD in_queue) noexcept {
    if (SerialIoctl::speed_code(dcb.BaudRate) == B0) return ERROR_INVALID_PARAMETER;
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8) return ERROR_INVALID_PARAMETER;
    if (dcb.Parity > SPACEPARITY) return ERROR_INVALID_PARAMETER;
    switch (dcb.StopBits) {
        case ONESTOPBIT:
            break;
        case ONE5STOPBITS:
            if (dcb.ByteSize != 5) return ERROR_INVALID_PARAMETER;
            break;
        case TWOSTOPBITS:
            if (dcb.ByteSize == 5) return ERROR_INVALID_PARAMETER;
            break;
        default:
            return ERROR_INVALID_PARAMETER;
    }
    if (!dcb.fBinary || dcb.fDtrControl > DTR_CONTROL_HANDSHAKE) return ERROR_INVALID_PARAMETER;
    if ((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar) return ERROR_INVALID_PARAMETER;
    if (dcb.XonLim > in_queue || dcb.XoffLim > in_queue) return ERROR_INVALID_PARAMETER;
    // The terminal interface has no DSR or DTR handshake, handshakes RTS and CTS only together,
    // and has no place for the remaining Windows-only switches. An RTS handshake asked for
    // without CTS flow (what "no flow control" leaves on a port that had RTS/CTS) is applied as
    // RTS raised: the one input handshake Linux cannot keep alone.
    if (dcb.fOutxDsrFlow || dcb.fDtrControl == DTR_CONTROL_HANDSHAKE || dcb.fDsrSensitivity ||
        dcb.fRtsControl == RTS_CONTROL_TOGGLE ||
        (dcb.fOutxCtsFlow != 0 && dcb.fRtsControl != RTS_CONTROL_HANDSHAKE) ||
        (dcb.fInX && !dcb.fTXContinueOnXoff) || dcb.fErrorChar || dcb.fNull || dcb.fAbortOnError) {
        return ERROR_NOT_SUPPORTED;
    }
    return ERROR_SUCCESS;
}

void apply_state(DCB const& dcb, termios& attributes) noexcept {
    SerialIoctl::make_raw(attributes);
    tcflag_t& c = attributes.c_cflag;
    c &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    static constexpr tcflag_t byte_sizes[] = {CS5, CS6, CS7, CS8};
    c |= byte_sizes[dcb.ByteSize - 5];
    if (dcb.StopBits != ONESTOPBIT) c |= CSTOPB;
    switch (dcb.Parity) {
        case ODDPARITY:
            c |= PARENB | PARODD;
            break;
        case EVENPARITY:
            c |= PARENB;
            break;
        case MARKPARITY:
            c |= PARENB | CMSPAR | PARODD;
            break;
        case SPACEPARITY:
            c |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    if (dcb.fOutxCtsFlow) c |= CRTSCTS;
    tcflag_t& i = attributes.c_iflag;
    i &= ~input_bits;
    if (dcb.fParity) i |= INPCK;
    if (dcb.fOutX) i |= IXON;
    if (dcb.fInX) i |= IXOFF;
    attributes.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    attributes.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    SerialIoctl::set_speed(attributes, SerialIoctl::speed_code(dcb.BaudRate));
}

}  // namespace

DWORD SerialDevice::open(std::string const& path, DWORD access,
                         std::shared_ptr<SerialDevice>& device) {
    SerialIoctl& os = SerialIoctl::current();
    int const fd = retry([&] { return os.open(path.c_str()); });
    if (fd == -1) return open_error(errno);
    auto fail = [&](DWORD code, bool locked) {
        if (locked) os.unlock(fd);
        os.close(fd);
        return code;
    };
    termios attributes{};
    if (retry([&] { return os.get_attributes(fd, attributes); }) == -1) {
        return fail(open_error(errno), false);
    }
    // Take the port before touching its settings, so a busy port keeps its owner's.
    if (retry([&] { return os.lock(fd); }) == -1) return fail(open_error(errno), false);
    SerialIoctl::make_raw(attributes);
    if (retry([&] { return os.set_attributes(fd, attributes); }) == -1) {
        return fail(io_error(errno), true);
    }
    std::shared_ptr<SerialDevice> opened;
    try {
        opened = std::make_shared<SerialDevice>(fd, access, os.is_pseudo_terminal(fd));
    } catch (std::bad_alloc const&) {
        return fail(ERROR_NOT_ENOUGH_MEMORY, true);
    }
    opened->m_counts_errors = os.error_counts(fd, opened->m_errors_seen) == 0;
    device = std::move(opened);
    return ERROR_SUCCESS;
}

SerialDevice::SerialDevice(int fd, DWORD access, bool pseudo_terminal) noexcept
    : m_fd(fd), m_access(access), m_pseudo_terminal(pseudo_terminal) {}

SerialDevice::~SerialDevice() {
    SerialIoctl& os = SerialIoctl::current();
    os.unlock(m_fd);
    os.close(m_fd);  // not retried: the descriptor is gone even when close reports EINTR
}

DWORD SerialDevice::read(BYTE* buffer, DWORD count, DWORD& done) noexcept {
    done = 0;
    if ((m_access & GENERIC_READ) == 0) return ERROR_ACCESS_DENIED;
    if (count == 0) return ERROR_SUCCESS;
    COMMTIMEOUTS limits;
    {
        std::lock_guard lock(m_mutex);
        limits = m_timeouts;
    }
    SerialIoctl& os = SerialIoctl::current();
    auto const start = steady::now();
    bool const no_wait = limits.ReadIntervalTimeout == MAXDWORD &&
                         limits.ReadTotalTimeoutMultiplier == 0 &&
                         limits.ReadTotalTimeoutConstant == 0;
    bool const first_byte =
        limits.ReadIntervalTimeout == MAXDWORD && limits.ReadTotalTimeoutMultiplier == MAXDWORD &&
        limits.ReadTotalTimeoutConstant != 0 && limits.ReadTotalTimeoutConstant != MAXDWORD;
    std::optional<steady::time_point> total;
    std::optional<milliseconds> interval;
    if (first_byte) {
        total = start + limit_ms(limits.ReadTotalTimeoutConstant);
    } else if (!no_wait) {
        if (limits.ReadTotalTimeoutMultiplier != 0 || limits.ReadTotalTimeoutConstant != 0) {
            total = start + limit_ms(std::uint64_t{limits.ReadTotalTimeoutMultiplier} * count +
                                     limits.ReadTotalTimeoutConstant);
        }
        if (limits.ReadIntervalTimeout != 0 && limits.ReadIntervalTimeout != MAXDWORD) {
            interval = limit_ms(limits.ReadIntervalTimeout);
        }
    }
    milliseconds const idle(os.idle_limit_ms());
    auto last_move = start;
    bool trouble = false;
    for (;;) {
        ssize_t const got = retry([&] { return os.read(m_fd, buffer + done, count - done); });
        if (got == 0 || got > static_cast<ssize_t>(count - done)) return ERROR_GEN_FAILURE;
        if (got < 0) {
            if (errno != EAGAIN) return io_error(errno);
            if (trouble) return ERROR_GEN_FAILURE;  // the line reported trouble, yet has nothing
        } else {
            done += static_cast<DWORD>(got);
            last_move = steady::now();
        }
        if (done == count || no_wait || (first_byte && done > 0)) return ERROR_SUCCESS;

        std::optional<steady::time_point> until = total;
        if (interval && done > 0) {
            until = std::min(until.value_or(steady::time_point::max()), last_move + *interval);
        }
        bool const limited = until.has_value();
        if (!limited) until = last_move + idle;
        auto const now = steady::now();
        if (now >= *until) return limited ? ERROR_SUCCESS : ERROR_TIMEOUT;
        if (DWORD rc = wait_for(os, m_fd, POLLIN, *until - now, trouble); rc != ERROR_SUCCESS) {
            return rc;
        }
    }
}

DWORD SerialDevice::write(BYTE const* buffer, DWORD count, DWORD& done) noexcept {
    done = 0;
    if ((m_access & GENERIC_WRITE) == 0) return ERROR_ACCESS_DENIED;
    if (count == 0) return ERROR_SUCCESS;
    COMMTIMEOUTS limits;
    {
        std::lock_guard lock(m_mutex);
        limits = m_timeouts;
    }
    SerialIoctl& os = SerialIoctl::current();
    auto const start = steady::now();
    std::optional<steady::time_point> total;
    if (limits.WriteTotalTimeoutMultiplier != 0 || limits.WriteTotalTimeoutConstant != 0) {
        total = start + limit_ms(std::uint64_t{limits.WriteTotalTimeoutMultiplier} * count +
                                 limits.WriteTotalTimeoutConstant);
    }
    milliseconds const idle(os.idle_limit_ms());
    auto last_move = start;
    bool trouble = false;
    for (;;) {
        ssize_t const put = retry([&] { return os.write(m_fd, buffer + done, count - done); });
        if (put > static_cast<ssize_t>(count - done)) return ERROR_GEN_FAILURE;
        if (put > 0) {
            done += static_cast<DWORD>(put);
            last_move = steady::now();
            if (done == count) return ERROR_SUCCESS;
        } else if (put < 0 && errno != EAGAIN) {
            return io_error(errno);
        } else if (trouble) {
            return ERROR_GEN_FAILURE;
        }
        steady::time_point const until = total.value_or(last_move + idle);
        auto const now = steady::now();
        if (now >= until) return total ? ERROR_SUCCESS : ERROR_TIMEOUT;
        if (DWORD rc = wait_for(os, m_fd, POLLOUT, until - now, trouble); rc != ERROR_SUCCESS) {
            return rc;
        }
    }
}

DWORD SerialDevice::wait_input(DWORD milliseconds) noexcept {
    SerialIoctl& os = SerialIoctl::current();
    auto const deadline = steady::now() + limit_ms(milliseconds);
    for (;;) {
        short revents = 0;
        int const rc = os.poll(m_fd, POLLIN, poll_ms(deadline - steady::now()), revents);
        if (rc > 0) return (revents & POLLNVAL) != 0 ? ERROR_INVALID_HANDLE : ERROR_SUCCESS;
        if (rc == -1 && errno != EINTR) return io_error(errno);
        if (steady::now() >= deadline) return ERROR_TIMEOUT;
    }
}

DWORD SerialDevice::get_state(DCB& dcb) noexcept {
    termios attributes{};
    if (retry([&] { return SerialIoctl::current().get_attributes(m_fd, attributes); }) == -1) {
        return io_error(errno);
    }
    tcflag_t const c = attributes.c_cflag;
    tcflag_t const i = attributes.c_iflag;
    bool const handshake = (c & CRTSCTS) != 0;
    DCB state{};
    state.DCBlength = sizeof(DCB);
    state.BaudRate = SerialIoctl::baud_rate(attributes);
    state.fBinary = 1;
    state.fParity = (i & INPCK) != 0;
    state.fOutxCtsFlow = handshake;
    state.fOutX = (i & IXON) != 0;
    state.fInX = (i & IXOFF) != 0;
    switch (c & CSIZE) {
        case CS5:
            state.ByteSize = 5;
            break;
        case CS6:
            state.ByteSize = 6;
            break;
        case CS7:
            state.ByteSize = 7;
            break;
        default:
            state.ByteSize = 8;
            break;
    }
    if ((c & PARENB) == 0) {
        state.Parity = NOPARITY;
    } else if ((c & CMSPAR) != 0) {
        state.Parity = (c & PARODD) != 0 ? MARKPARITY : SPACEPARITY;
    } else {
        state.Parity = (c & PARODD) != 0 ? ODDPARITY : EVENPARITY;
    }
    if ((c & CSTOPB) == 0) {
        state.StopBits = ONESTOPBIT;
    } else {
        state.StopBits = state.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    }
    state.XonChar = static_cast<char>(attributes.c_cc[VSTART]);
    state.XoffChar = static_cast<char>(attributes.c_cc[VSTOP]);
    std::lock_guard lock(m_mutex);
    state.fDtrControl = m_dtr_control;
    state.fRtsControl = handshake ? RTS_CONTROL_HANDSHAKE : m_rts_control;
    state.fTXContinueOnXoff = m_tx_continue_on_xoff;
    state.XonLim = m_xon_limit;
    state.XoffLim = m_xoff_limit;
    state.ErrorChar = m_error_char;
    state.EofChar = m_eof_char;
    state.EvtChar = m_event_char;
    dcb = state;
    return ERROR_SUCCESS;
}

DWORD SerialDevice::set_state(DCB const& dcb) noexcept {
    std::lock_guard lock(m_mutex);
    if (DWORD rc = check_state(dcb, m_in_queue); rc != ERROR_SUCCESS) return rc;
    SerialIoctl& os = SerialIoctl::current();
    termios before{};
    if (retry([&] { return os.get_attributes(m_fd, before); }) == -1) return io_error(errno);
    termios wanted = before;
    apply_state(dcb, wanted);
    // The kernel answers success when it applied any part of the request (a pseudo-terminal,
    // for one, keeps 8 data bits without parity), so read back what it took. The C library
    // notices some of that itself and answers EINVAL, after the kernel applied the rest: the
    // values passed the checks above, so EINVAL means this driver cannot apply them.
    termios applied{};
    DWORD rc = ERROR_SUCCESS;
    if (retry([&] { return os.set_attributes(m_fd, wanted); }) == -1) {
        rc = errno == EINVAL ? ERROR_NOT_SUPPORTED : io_error(errno);
    } else if (retry([&] { return os.get_attributes(m_fd, applied); }) == -1) {
        rc = io_error(errno);
    } else if (!same_settings(wanted, applied)) {
        rc = ERROR_NOT_SUPPORTED;
    } else if (!m_pseudo_terminal) {
        rc = modem_lines(TIOCM_DTR, dcb.fDtrControl == DTR_CONTROL_ENABLE);
        if (rc == ERROR_SUCCESS && !dcb.fOutxCtsFlow) {
            rc = modem_lines(TIOCM_RTS, dcb.fRtsControl != RTS_CONTROL_DISABLE);
        }
    }
    if (rc != ERROR_SUCCESS) {
        retry([&] { return os.set_attributes(m_fd, before); });
        return rc;
    }
    m_dtr_control = dcb.fDtrControl;
    if (!dcb.fOutxCtsFlow)
        m_rts_control =
            dcb.fRtsControl == RTS_CONTROL_HANDSHAKE ? DWORD{RTS_CONTROL_ENABLE} : dcb.fRtsControl;
    m_tx_continue_on_xoff = dcb.fTXContinueOnXoff;
    m_xon_limit = dcb.XonLim;
    m_xoff_limit = dcb.XoffLim;
    m_error_char = dcb.ErrorChar;
    m_eof_char = dcb.EofChar;
    m_event_char = dcb.EvtChar;
    return ERROR_SUCCESS;
}

DWORD SerialDevice::get_timeouts(COMMTIMEOUTS& timeouts) noexcept {
    std::lock_guard lock(m_mutex);
    timeouts = m_timeouts;
    return ERROR_SUCCESS;
}

DWORD SerialDevice::set_timeouts(COMMTIMEOUTS const& timeouts) noexcept {
    if (timeouts.ReadIntervalTimeout == MAXDWORD &&
        timeouts.ReadTotalTimeoutMultiplier == MAXDWORD &&
        timeouts.ReadTotalTimeoutConstant == MAXDWORD) {
        return ERROR_INVALID_PARAMETER;
    }
    std::lock_guard lock(m_mutex);
    m_timeouts = timeouts;
    return ERROR_SUCCESS;
}

DWORD SerialDevice::purge(DWORD flags) noexcept {
    if ((flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    // Requests are synchronous, so there is never an overlapped one to abort.
    SerialIoctl& os = SerialIoctl::current();
    if ((flags & PURGE_TXCLEAR) != 0 && retry([&] { return os.flush(m_fd, TCOFLUSH); }) == -1) {
        return io_error(errno);
    }
    if ((flags & PURGE_RXCLEAR) != 0 && retry([&] { return os.flush(m_fd, TCIFLUSH); }) == -1) {
        return io_error(errno);
    }
    return ERROR_SUCCESS;
}

DWORD SerialDevice::modem_lines(int lines, bool raise) noexcept {
    SerialIoctl& os = SerialIoctl::current();
    int const rc = retry([&] {
        return raise ? os.set_modem_lines(m_fd, lines) : os.clear_modem_lines(m_fd, lines);
    });
    return rc == -1 ? io_error(errno) : ERROR_SUCCESS;
}

DWORD SerialDevice::escape(DWORD function) noexcept {
    SerialIoctl& os = SerialIoctl::current();
    switch (function) {
        case SETXOFF:
        case SETXON: {
            int const action = function == SETXOFF ? TCOOFF : TCOON;
            return retry([&] { return os.flow(m_fd, action); }) == -1 ? io_error(errno)
                                                                      : ERROR_SUCCESS;
        }
        case SETRTS:
        case CLRRTS: {
            if (m_pseudo_terminal) return ERROR_SUCCESS;
            termios attributes{};
            if (retry([&] { return os.get_attributes(m_fd, attributes); }) == -1) {
                return io_error(errno);
            }
            if ((attributes.c_cflag & CRTSCTS) != 0) return ERROR_INVALID_PARAMETER;
            return modem_lines(TIOCM_RTS, function == SETRTS);
        }
        case SETDTR:
        case CLRDTR:
            // DTR is never under handshake here: SetCommState refuses it.
            if (m_pseudo_terminal) return ERROR_SUCCESS;
            return modem_lines(TIOCM_DTR, function == SETDTR);
        case SETBREAK:
        case CLRBREAK:
            return retry([&] { return os.set_break(m_fd, function == SETBREAK); }) == -1
                       ? io_error(errno)
                       : ERROR_SUCCESS;
        case RESETDEV:
            return ERROR_NOT_SUPPORTED;
        default:
            return ERROR_INVALID_PARAMETER;
    }
}

DWORD SerialDevice::clear_error(DWORD* errors, COMSTAT* status) noexcept {
    SerialIoctl& os = SerialIoctl::current();
    DWORD flags = 0;
    {
        std::lock_guard lock(m_mutex);
        line_error_counts now;
        if (m_counts_errors && retry([&] { return os.error_counts(m_fd, now); }) == 0) {
            if (now.buffer_overrun != m_errors_seen.buffer_overrun) flags |= CE_RXOVER;
            if (now.overrun != m_errors_seen.overrun) flags |= CE_OVERRUN;
            if (now.parity != m_errors_seen.parity) flags |= CE_RXPARITY;
            if (now.frame != m_errors_seen.frame) flags |= CE_FRAME;
            if (now.brk != m_errors_seen.brk) flags |= CE_BREAK;
            m_errors_seen = now;
        }
    }
    if (status != nullptr) {
        int input = 0;
        int output = 0;
        if (retry([&] { return os.input_queued(m_fd, input); }) == -1 ||
            retry([&] { return os.output_queued(m_fd, output); }) == -1) {
            return io_error(errno);
        }
        COMSTAT queues{};
        queues.cbInQue = static_cast<DWORD>(std::max(input, 0));
        queues.cbOutQue = static_cast<DWORD>(std::max(output, 0));
        termios attributes{};
        int lines = 0;
        if (!m_pseudo_terminal && os.get_attributes(m_fd, attributes) == 0 &&
            (attributes.c_cflag & CRTSCTS) != 0 && os.get_modem_lines(m_fd, lines) == 0) {
            queues.fCtsHold = (lines & TIOCM_CTS) == 0;
        }
        *status = queues;
    }
    if (errors != nullptr) *errors = flags;
    return ERROR_SUCCESS;
}

DWORD SerialDevice::modem_status(DWORD& status) noexcept {
    if (m_pseudo_terminal) {
        status = 0;
        return ERROR_SUCCESS;
    }
    int lines = 0;
    if (retry([&] { return SerialIoctl::current().get_modem_lines(m_fd, lines); }) == -1) {
        return io_error(errno);
    }
    DWORD flags = 0;
    if ((lines & TIOCM_CTS) != 0) flags |= MS_CTS_ON;
    if ((lines & TIOCM_DSR) != 0) flags |= MS_DSR_ON;
    if ((lines & TIOCM_RI) != 0) flags |= MS_RING_ON;
    if ((lines & TIOCM_CD) != 0) flags |= MS_RLSD_ON;
    status = flags;
    return ERROR_SUCCESS;
}

DWORD SerialDevice::properties(COMMPROP& properties) noexcept {
    COMMPROP p{};
    p.wPacketLength = sizeof(COMMPROP);
    p.wPacketVersion = 2;
    p.dwServiceMask = SP_SERIALCOMM;
    p.dwMaxBaud = BAUD_USER;
    p.dwProvSubType = PST_RS232;
    p.dwProvCapabilities = PCF_RTSCTS | PCF_PARITY_CHECK | PCF_XONXOFF | PCF_SETXCHAR |
                           PCF_TOTALTIMEOUTS | PCF_INTTIMEOUTS;
    p.dwSettableParams =
        SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING | SP_PARITY_CHECK;
    p.dwSettableBaud = BAUD_075 | BAUD_110 | BAUD_134_5 | BAUD_150 | BAUD_300 | BAUD_600 |
                       BAUD_1200 | BAUD_1800 | BAUD_2400 | BAUD_4800 | BAUD_9600 | BAUD_19200 |
                       BAUD_38400 | BAUD_57600 | BAUD_115200 | BAUD_USER;
    p.wSettableData = DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8;
    p.wSettableStopParity = STOPBITS_10 | STOPBITS_15 | STOPBITS_20 | PARITY_NONE | PARITY_ODD |
                            PARITY_EVEN | PARITY_MARK | PARITY_SPACE;
    std::lock_guard lock(m_mutex);
    p.dwCurrentTxQueue = m_out_queue;
    p.dwCurrentRxQueue = m_in_queue;
    properties = p;
    return ERROR_SUCCESS;
}

DWORD SerialDevice::setup(DWORD in_queue, DWORD out_queue) noexcept {
    std::lock_guard lock(m_mutex);
    // 0 keeps the current size.
    if (in_queue != 0) m_in_queue = in_queue;
    if (out_queue != 0) m_out_queue = out_queue;
    return ERROR_SUCCESS;
}

DCB SerialDevice::default_state() noexcept {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = 9600;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fTXContinueOnXoff = 1;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

}  // namespace ambivox
