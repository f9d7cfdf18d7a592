#include "transport/CSerialPort.h"

#include <cstdint>
#include <string>

#include "platform/base/HResultBoundary.h"
#include "platform/base/ThreadState.h"
#include "platform/base/WideFormat.h"

namespace ambivox {

namespace {

void check(BOOL succeeded) {
    if (!succeeded) throw_last_error();
}

}  // namespace

CSerialPort::~CSerialPort() {
    Close();
}

void CSerialPort::Open(int port, DWORD baudRate, int parity, BYTE dataBits, int stopBits,
                       int flowControl, bool overlapped) {
    Close();
    std::u16string const name = wide_format(u"\\\\.\\COM%d", {std::int64_t{port}});
    HANDLE const opened =
        CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    if (opened == INVALID_HANDLE_VALUE) throw_last_error();
    m_port = opened;
    CreateEvent();
    m_overlapped = overlapped;

    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    check(GetCommState(m_port, &dcb));
    dcb.BaudRate = baudRate;
    switch (parity) {
        case EvenParity:
            dcb.Parity = EVENPARITY;
            break;
        case MarkParity:
            dcb.Parity = MARKPARITY;
            break;
        case NoParity:
            dcb.Parity = NOPARITY;
            break;
        case OddParity:
            dcb.Parity = ODDPARITY;
            break;
        case SpaceParity:
            dcb.Parity = SPACEPARITY;
            break;
        default:
            break;
    }
    dcb.ByteSize = dataBits;
    switch (stopBits) {
        case OneStopBit:
            dcb.StopBits = ONESTOPBIT;
            break;
        case OnePointFiveStopBits:
            dcb.StopBits = ONE5STOPBITS;
            break;
        case TwoStopBits:
            dcb.StopBits = TWOSTOPBITS;
            break;
        default:
            break;
    }
    dcb.fDsrSensitivity = FALSE;
    switch (flowControl) {
        case NoFlowControl:
            dcb.fOutxCtsFlow = FALSE;
            dcb.fOutxDsrFlow = FALSE;
            dcb.fOutX = FALSE;
            dcb.fInX = FALSE;
            break;
        case CtsRtsFlowControl:
        case CtsDtrFlowControl:
        case DsrRtsFlowControl:
        case DsrDtrFlowControl: {
            bool const cts = flowControl == CtsRtsFlowControl || flowControl == CtsDtrFlowControl;
            bool const rts = flowControl == CtsRtsFlowControl || flowControl == DsrRtsFlowControl;
            dcb.fOutxCtsFlow = cts;
            dcb.fOutxDsrFlow = !cts;
            if (rts) {
                dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
            } else {
                dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
            }
            dcb.fOutX = FALSE;
            dcb.fInX = FALSE;
            break;
        }
        case XonXoffFlowControl:
            dcb.fOutxCtsFlow = FALSE;
            dcb.fOutxDsrFlow = FALSE;
            dcb.fOutX = TRUE;
            dcb.fInX = TRUE;
            dcb.XonChar = 0x11;
            dcb.XoffChar = 0x13;
            dcb.XoffLim = 100;
            dcb.XonLim = 100;
            break;
        default:
            break;
    }
    check(SetCommState(m_port, &dcb));
}

void CSerialPort::Close() noexcept {
    if (!IsOpen() && m_event == nullptr) return;
    DWORD const error = GetLastError();  // closing must not hide why a call failed
    if (IsOpen()) {
        CloseHandle(m_port);
        m_port = INVALID_HANDLE_VALUE;
        m_overlapped = FALSE;
    }
    // An event can outlive the port only after Attach of the invalid handle; it goes too.
    if (m_event != nullptr) CloseHandle(m_event);
    m_event = nullptr;
    SetLastError(error);
}

void CSerialPort::Attach(HANDLE port, bool overlapped) {
    if (port != m_port) {
        Close();
        m_port = port;
    } else if (m_event != nullptr) {
        CloseHandle(m_event);
        m_event = nullptr;
    }
    m_overlapped = overlapped;
    CreateEvent();
}

HANDLE CSerialPort::Detach() noexcept {
    HANDLE const port = m_port;
    m_port = INVALID_HANDLE_VALUE;
    if (m_event != nullptr) {
        DWORD const error = GetLastError();
        CloseHandle(m_event);
        SetLastError(error);
    }
    m_event = nullptr;
    return port;
}

void CSerialPort::CreateEvent() {
    m_event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (m_event == nullptr) {
        Close();
        throw_last_error();
    }
}

DWORD CSerialPort::Read(void* buffer, DWORD count) {
    DWORD read = 0;
    check(ReadFile(m_port, buffer, count, &read, nullptr));
    return read;
}

DWORD CSerialPort::Write(void const* buffer, DWORD count) {
    DWORD written = 0;
    check(WriteFile(m_port, buffer, count, &written, nullptr));
    return written;
}

void CSerialPort::GetConfig(COMMCONFIG& config) {
    DWORD size = sizeof(COMMCONFIG);
    check(GetCommConfig(m_port, &config, &size));
}

void CSerialPort::SetConfig(COMMCONFIG const& config) {
    check(SetCommConfig(m_port, &config, sizeof(COMMCONFIG)));
}

void CSerialPort::SetBreak() {
    check(SetCommBreak(m_port));
}

void CSerialPort::ClearBreak() {
    check(ClearCommBreak(m_port));
}

void CSerialPort::ClearError(DWORD& errors) {
    check(ClearCommError(m_port, &errors, nullptr));
}

void CSerialPort::GetStatus(COMSTAT& status) {
    DWORD errors = 0;
    check(ClearCommError(m_port, &errors, &status));
}

void CSerialPort::GetState(DCB& dcb) {
    check(GetCommState(m_port, &dcb));
}

void CSerialPort::SetState(DCB const& dcb) {
    check(SetCommState(m_port, &dcb));
}

void CSerialPort::ClearDtr() {
    check(EscapeCommFunction(m_port, CLRDTR));
}

void CSerialPort::ClearRts() {
    check(EscapeCommFunction(m_port, CLRRTS));
}

void CSerialPort::SetDtr() {
    check(EscapeCommFunction(m_port, SETDTR));
}

void CSerialPort::GetProperties(COMMPROP& properties) {
    check(GetCommProperties(m_port, &properties));
}

void CSerialPort::GetModemStatus(DWORD& status) {
    check(GetCommModemStatus(m_port, &status));
}

void CSerialPort::PurgeTransmitAbort() {
    check(PurgeComm(m_port, PURGE_TXABORT));
}

void CSerialPort::PurgeReceiveAbort() {
    check(PurgeComm(m_port, PURGE_RXABORT));
}

void CSerialPort::PurgeTransmitBuffer() {
    check(PurgeComm(m_port, PURGE_TXCLEAR));
}

void CSerialPort::PurgeReceiveBuffer() {
    check(PurgeComm(m_port, PURGE_RXCLEAR));
}

void CSerialPort::Setup(DWORD inputQueue, DWORD outputQueue) {
    check(SetupComm(m_port, inputQueue, outputQueue));
}

void CSerialPort::GetTimeouts(COMMTIMEOUTS& timeouts) {
    check(GetCommTimeouts(m_port, &timeouts));
}

void CSerialPort::SetNoWaitTimeouts() {
    COMMTIMEOUTS const timeouts{MAXDWORD, 0, 0, 0, 0};
    check(SetCommTimeouts(m_port, &timeouts));
}

void CSerialPort::ClearWriteTimeouts() {
    COMMTIMEOUTS timeouts{};
    GetTimeouts(timeouts);
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    check(SetCommTimeouts(m_port, &timeouts));
}

void CSerialPort::SetNoWaitReadTimeouts() {
    COMMTIMEOUTS timeouts{};
    GetTimeouts(timeouts);
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    check(SetCommTimeouts(m_port, &timeouts));
}

void CSerialPort::GetDefaultConfig(int port, COMMCONFIG& config) {
    std::u16string const name = wide_format(u"COM%d", {std::int64_t{port}});
    DWORD size = sizeof(COMMCONFIG);
    check(GetDefaultCommConfigW(name.c_str(), &config, &size));
}

void CSerialPort::OnCompletion(DWORD /*error*/, DWORD /*bytes*/,
                               std::unique_ptr<OVERLAPPED> /*overlapped*/) noexcept {}

}  // namespace ambivox
