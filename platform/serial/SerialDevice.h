// SerialDevice: one open serial port behind a handle. It turns the Win32 communication calls
// into terminal settings and descriptor I/O through SerialIoctl, and keeps what the terminal
// interface has no place for (time-outs, queue sizes, XON/XOFF limits, DTR and RTS modes).
//
// Members answer ERROR_SUCCESS or a Win32 error code and leave out-parameters untouched on
// failure unless they say otherwise. Reads and writes hold no lock while they wait, so one
// thread may change settings while another reads; the descriptor lives as long as the object.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/serial/Serial.h"
#include "platform/serial/SerialIoctl.h"

namespace ambivox {

class SerialDevice {
public:
    // Opens the terminal at `path` exclusively and puts it into raw binary mode. Errors:
    // ERROR_FILE_NOT_FOUND when there is no such terminal, ERROR_ACCESS_DENIED when it is taken
    // or forbidden. `device` is set only on success.
    static DWORD open(std::string const& path, DWORD access, std::shared_ptr<SerialDevice>& device);

    SerialDevice(int fd, DWORD access, bool pseudo_terminal) noexcept;
    ~SerialDevice();
    SerialDevice(SerialDevice const&) = delete;
    SerialDevice& operator=(SerialDevice const&) = delete;

    // `done` receives the bytes moved, also on failure.
    DWORD read(BYTE* buffer, DWORD count, DWORD& done) noexcept;
    DWORD write(BYTE const* buffer, DWORD count, DWORD& done) noexcept;
    // ERROR_SUCCESS when input (or a line condition a read reports) is there, ERROR_TIMEOUT.
    DWORD wait_input(DWORD milliseconds) noexcept;

    DWORD get_state(DCB& dcb) noexcept;
    DWORD set_state(DCB const& dcb) noexcept;
    DWORD get_timeouts(COMMTIMEOUTS& timeouts) noexcept;
    DWORD set_timeouts(COMMTIMEOUTS const& timeouts) noexcept;
    DWORD purge(DWORD flags) noexcept;
    DWORD escape(DWORD function) noexcept;
    DWORD clear_error(DWORD* errors, COMSTAT* status) noexcept;
    DWORD modem_status(DWORD& status) noexcept;
    DWORD properties(COMMPROP& properties) noexcept;
    DWORD setup(DWORD in_queue, DWORD out_queue) noexcept;

    // The settings GetDefaultCommConfigW reports.
    static DCB default_state() noexcept;

private:
    DWORD modem_lines(int lines, bool raise) noexcept;

    int const m_fd;
    DWORD const m_access;
    bool const m_pseudo_terminal;

    std::mutex m_mutex;  // guards the fields below
    COMMTIMEOUTS m_timeouts{};
    DWORD m_dtr_control = DTR_CONTROL_ENABLE;
    DWORD m_rts_control = RTS_CONTROL_ENABLE;  // when the line is not under RTS/CTS handshake
    bool m_tx_continue_on_xoff = true;
    WORD m_xon_limit = 2048;
    WORD m_xoff_limit = 512;
    char m_error_char = 0;
    char m_eof_char = 0;
    char m_event_char = 0;
    DWORD m_in_queue = 4096;
    DWORD m_out_queue = 4096;
    bool m_counts_errors = false;
    line_error_counts m_errors_seen;
};

}  // namespace ambivox
