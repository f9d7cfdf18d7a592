#include "devices/CModelQHelper.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <string_view>

#include "platform/base/CodePage.h"
#include "platform/base/HResultBoundary.h"
#include "platform/base/ThreadState.h"

namespace ambivox {

namespace {

constexpr DWORD kBaudRate = 9600;
constexpr DWORD kQueueBytes = 10000;
constexpr DWORD kDtrSettleMs = 500;
constexpr DWORD kReplyWaitMs = 1000;
constexpr int kLineTimeoutSeconds = 2;
constexpr char kQuery = '*';

void remove_first(std::string& text, char c) {
    if (auto const at = text.find(c); at != std::string::npos) text.erase(at, 1);
}

// ReadLine returns as soon as both terminators are in; a line without both ran out of time or
// room.
bool ended(std::string const& line) noexcept {
    return line.find('\r') != std::string::npos && line.find('\n') != std::string::npos;
}

std::u16string_view trim_spaces(std::u16string_view text) noexcept {
    auto const first = text.find_first_not_of(u' ');
    if (first == std::u16string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(u' ') - first + 1);
}

std::u16string code_text(HRESULT hr) {
    if (SUCCEEDED(hr)) return {};
    std::array<char, 16> digits{};
    std::snprintf(digits.data(), digits.size(), "%08X", static_cast<unsigned>(hr));
    return u" (error 0x" + widen(digits.data(), CP_UTF8) + u")";
}

}  // namespace

CModelQHelper::~CModelQHelper() {
    Close();
    m_port.reset();  // also a port whose wind-down failed part-way
}

namespace {

std::u16string port_name(int port) {
    return u"COM" + widen(std::to_string(port), CP_UTF8);
}

// The device file the port name stands for; empty when it maps to none.
std::u16string device_path(int port) {
    std::array<char16_t, 1024> path{};
    if (QueryDosDeviceW(port_name(port).c_str(), path.data(), static_cast<DWORD>(path.size())) == 0)
        return {};
    return path.data();
}

}  // namespace

std::u16string CModelQHelper::PortText() const {
    std::u16string const path = device_path(m_portNumber);
    return path.empty() ? port_name(m_portNumber) : port_name(m_portNumber) + u" (" + path + u")";
}

std::u16string CModelQHelper::FailureText(HRESULT readFailure) const {
    std::u16string const port = PortText();
    if (FAILED(m_openFailure)) {
        if (m_openFailure == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
            return port + u": no such device (see 'ambivox ports')";
        if (m_openFailure == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)) {
            // The platform answers both alike; the device node's permissions tell them apart.
            std::u16string const path = device_path(m_portNumber);
            bool const permitted =
                path.empty() || access(narrow(path, CP_UTF8).c_str(), R_OK | W_OK) == 0;
            return permitted ? port + u": in use by another program"
                             : port + u": permission denied (add the user to the dialout group)";
        }
        return port + u": " + m_step + u" failed" + code_text(m_openFailure);
    }
    // A line that hangs up or fails mid-reply, a device unplugged, all look the same here.
    if (readFailure == HRESULT_FROM_WIN32(ERROR_GEN_FAILURE))
        return port + u": the device went away while " + m_step;
    return port + u": " + m_step + u" failed" + code_text(readFailure);
}

bool CModelQHelper::Open(int port) noexcept {
    m_portNumber = port;
    m_openFailure = S_OK;
    m_step = u"opening the port";
    try {
        CSerialPort::GetDefaultConfig(port, m_config);
        m_port = std::make_unique<CSerialPortEx>();
        m_port->Open(port, kBaudRate, CSerialPort::NoParity, 8, CSerialPort::OneStopBit,
                     CSerialPort::NoFlowControl, false);
        HANDLE const handle = m_port->Detach();
        m_port->Attach(handle, false);
        DWORD modemStatus = 0;
        m_port->GetModemStatus(modemStatus);
        DCB dcb{};
        dcb.DCBlength = sizeof(DCB);
        m_port->GetState(dcb);
        dcb.BaudRate = kBaudRate;
        m_port->SetState(dcb);
        DWORD errors = 0;
        m_port->ClearError(errors);
        m_port->SetBreak();
        m_port->ClearBreak();
        COMSTAT status{};
        m_port->GetStatus(status);
        COMMTIMEOUTS timeouts{};
        m_port->GetTimeouts(timeouts);
        m_port->Setup(kQueueBytes, kQueueBytes);
        m_port->GetConfig(m_config);
        m_config.dcb.BaudRate = kBaudRate;
        m_port->SetConfig(m_config);
        m_port->ClearWriteTimeouts();
        m_port->SetNoWaitReadTimeouts();
        return true;
    } catch (hresult_error const& error) {
        m_openFailure = error.code();
        return false;
    } catch (...) {
        m_openFailure = E_OUTOFMEMORY;
        return false;
    }
}

void CModelQHelper::Read(std::u16string& scratch) {
    if (!m_port) return;
    m_step = u"sending the query";
    m_port->SetDtr();
    Sleep(kDtrSettleMs);
    // The tail of an earlier reply that came too late would otherwise be read as this answer.
    m_port->PurgeReceiveBuffer();
    m_port->Write(&kQuery, 1);
    m_step = u"reading the reply";
    Sleep(kReplyWaitMs);
    std::u16string* const fields[] = {&m_probe1, &m_probe2, &m_battery};
    // Once one line has not ended in time, the lines after it cannot be told apart from the
    // rest of that one, so none of them is a reading.
    bool broken = false;
    for (std::size_t index = 0; index < 3; ++index) {
        std::string line;
        if (!broken) {
            m_port->ReadLine(line, kLineTimeoutSeconds);
            scratch += widen(line, CP_ACP);
            broken = !ended(line);
            if (broken) m_port->PurgeReceiveBuffer();
        }
        remove_first(line, '\r');
        remove_first(line, '\n');
        std::u16string& field = *fields[index];
        if (broken || line.empty()) {
            field = index < 2 ? u"-99.9" : u"Bat Ok";
        } else if (index < 2) {
            field = trim_spaces(widen(line, CP_ACP));
        } else {
            field = widen(line, CP_ACP);
        }
    }
}

void CModelQHelper::Close() noexcept {
    if (!m_port) return;
    try {
        if (m_port->IsOpen()) {
            m_port->PurgeTransmitAbort();
            m_port->SetNoWaitTimeouts();
            m_port->PurgeReceiveAbort();
            m_port->ClearDtr();
            m_port->ClearRts();
            COMMPROP properties{};
            m_port->GetProperties(properties);
            m_port->PurgeTransmitBuffer();
            m_port->PurgeReceiveBuffer();
            m_port->Close();
        }
        m_port.reset();
    } catch (...) {
        // The port object stays held; destruction releases it.
    }
}

}  // namespace ambivox
