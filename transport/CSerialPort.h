// CSerialPort: one serial (COM) port of the platform's communication functions: opening a
// numbered port with line settings, the control and status calls, purges, queue sizes and
// time-outs, and synchronous reads and writes.
//
// Every failing platform call raises hresult_error carrying HRESULT_FROM_WIN32 of the thread's
// last error (E_FAIL when the platform left none); the port stays as the failing step left it.
// Close and Detach never raise. Out-parameters are the caller's records; a raise leaves them as
// the platform left them. One object must not be used from two threads at once.
#pragma once

#include <memory>

#include "platform/serial/Serial.h"

namespace ambivox {

class CSerialPort {
public:
    // The class's own line setting codes; Open takes any int, and keeps the port's current
    // setting for a code not listed.
    enum Parity : int {
        EvenParity = 0,
        MarkParity = 1,
        NoParity = 2,
        OddParity = 3,
        SpaceParity = 4
    };
    enum StopBits : int { OneStopBit = 0, OnePointFiveStopBits = 1, TwoStopBits = 2 };
    enum FlowControl : int {
        NoFlowControl = 0,
        CtsRtsFlowControl = 1,
        CtsDtrFlowControl = 2,
        DsrRtsFlowControl = 3,
        DsrDtrFlowControl = 4,
        XonXoffFlowControl = 5,
    };

    CSerialPort() noexcept = default;
    virtual ~CSerialPort();  // closes the port
    CSerialPort(CSerialPort const&) = delete;
    CSerialPort& operator=(CSerialPort const&) = delete;

    // Opens \\.\COM<port> for reading and writing and applies the settings. A raise after the
    // port was opened leaves it open in the object (Close or destruction releases it).
    void Open(int port, DWORD baudRate = 9600, int parity = NoParity, BYTE dataBits = 8,
              int stopBits = OneStopBit, int flowControl = NoFlowControl, bool overlapped = false);
    void Close() noexcept;
    // Adopts `port` (the object owns it from here) with a new event; Attach of the handle the
    // object already holds keeps the port open and only replaces the event. When no event can
    // be made the port is closed and the call raises.
    void Attach(HANDLE port, bool overlapped = false);
    // Hands the port out (the caller owns it from here) and leaves the object closed; the
    // overlapped flag keeps its value.
    HANDLE Detach() noexcept;

    bool IsOpen() const noexcept { return m_port != INVALID_HANDLE_VALUE; }
    HANDLE Handle() const noexcept { return m_port; }
    bool IsOverlapped() const noexcept { return m_overlapped; }

    // Synchronous even on an overlapped port; answer the bytes moved.
    DWORD Read(void* buffer, DWORD count);
    DWORD Write(void const* buffer, DWORD count);

    void GetConfig(COMMCONFIG& config);
    void SetConfig(COMMCONFIG const& config);
    void SetBreak();
    void ClearBreak();
    void ClearError(DWORD& errors);
    void GetStatus(COMSTAT& status);
    void GetState(DCB& dcb);
    void SetState(DCB const& dcb);
    void ClearDtr();
    void ClearRts();
    void SetDtr();
    void GetProperties(COMMPROP& properties);
    void GetModemStatus(DWORD& status);
    void PurgeTransmitAbort();
    void PurgeReceiveAbort();
    void PurgeTransmitBuffer();
    void PurgeReceiveBuffer();
    void Setup(DWORD inputQueue, DWORD outputQueue);
    void GetTimeouts(COMMTIMEOUTS& timeouts);
    // Reads return at once with what is buffered; writes have no time limit.
    void SetNoWaitTimeouts();
    // Writes without time limit; the read time-outs stay.
    void ClearWriteTimeouts();
    // Reads return at once with what is buffered; the write time-outs stay.
    void SetNoWaitReadTimeouts();

    // The default configuration of COM<port>.
    static void GetDefaultConfig(int port, COMMCONFIG& config);

protected:
    // Completion of an asynchronous request; it takes ownership of the record and releases it.
    // No operation of this class starts one.
    virtual void OnCompletion(DWORD error, DWORD bytes,
                              std::unique_ptr<OVERLAPPED> overlapped) noexcept;

private:
    void CreateEvent();

    HANDLE m_port = INVALID_HANDLE_VALUE;
    BOOL m_overlapped = FALSE;
    HANDLE m_event = nullptr;
};

}  // namespace ambivox
