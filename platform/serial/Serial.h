// The serial communications functions of the platform, over the Linux terminal interface.
//
// Ports are named "\\.\COMn" (any n >= 1) or "COMn" (n from 1 to 9), letter case aside, with no
// leading zeros. COMn is the device whose path is the name of a REG_SZ value with the data
// "COMn" under HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM (the first such value in
// enumeration order); without one it is /dev/ttyS{n-1}. A name that resolves to no device gives
// ERROR_FILE_NOT_FOUND. A port is opened exclusively: a port open elsewhere gives
// ERROR_ACCESS_DENIED.
//
// Handles are looked up in a table and never dereferenced: a closed, made-up or foreign handle
// gives ERROR_INVALID_HANDLE. Every function answers TRUE on success; on failure it answers FALSE
// (CreateFileW: INVALID_HANDLE_VALUE, CreateEventW: null) and sets the thread's last error.
// Unless a function says otherwise, a failure leaves its out-parameters untouched. Out-parameters
// are records owned by the caller. The functions are safe to call from any thread.
//
// Settings the Linux driver cannot apply fail with a Win32 error (ERROR_NOT_SUPPORTED, or
// ERROR_INVALID_PARAMETER for a value no driver accepts) and leave the port as it was. On
// pseudo-terminals, which have no modem lines, the DTR, RTS and modem-status operations succeed
// and do nothing. Overlapped I/O is not available: FILE_FLAG_OVERLAPPED and a non-null OVERLAPPED
// record give ERROR_NOT_SUPPORTED.
#pragma once

#include "platform/base/Errors.h"
#include "platform/base/Types.h"

constexpr DWORD MAXDWORD = 0xFFFFFFFFu;

// CreateFileW
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080u;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000u;

// DCB::Parity
constexpr BYTE NOPARITY = 0;
constexpr BYTE ODDPARITY = 1;
constexpr BYTE EVENPARITY = 2;
constexpr BYTE MARKPARITY = 3;
constexpr BYTE SPACEPARITY = 4;
// DCB::StopBits
constexpr BYTE ONESTOPBIT = 0;
constexpr BYTE ONE5STOPBITS = 1;
constexpr BYTE TWOSTOPBITS = 2;
// DCB::fDtrControl
constexpr DWORD DTR_CONTROL_DISABLE = 0;
constexpr DWORD DTR_CONTROL_ENABLE = 1;
constexpr DWORD DTR_CONTROL_HANDSHAKE = 2;
// DCB::fRtsControl
constexpr DWORD RTS_CONTROL_DISABLE = 0;
constexpr DWORD RTS_CONTROL_ENABLE = 1;
constexpr DWORD RTS_CONTROL_HANDSHAKE = 2;
constexpr DWORD RTS_CONTROL_TOGGLE = 3;

// PurgeComm
constexpr DWORD PURGE_TXABORT = 0x0001;
constexpr DWORD PURGE_RXABORT = 0x0002;
constexpr DWORD PURGE_TXCLEAR = 0x0004;
constexpr DWORD PURGE_RXCLEAR = 0x0008;

// EscapeCommFunction
constexpr DWORD SETXOFF = 1;
constexpr DWORD SETXON = 2;
constexpr DWORD SETRTS = 3;
constexpr DWORD CLRRTS = 4;
constexpr DWORD SETDTR = 5;
constexpr DWORD CLRDTR = 6;
constexpr DWORD RESETDEV = 7;
constexpr DWORD SETBREAK = 8;
constexpr DWORD CLRBREAK = 9;

// ClearCommError
constexpr DWORD CE_RXOVER = 0x0001;
constexpr DWORD CE_OVERRUN = 0x0002;
constexpr DWORD CE_RXPARITY = 0x0004;
constexpr DWORD CE_FRAME = 0x0008;
constexpr DWORD CE_BREAK = 0x0010;

// GetCommModemStatus
constexpr DWORD MS_CTS_ON = 0x0010;
constexpr DWORD MS_DSR_ON = 0x0020;
constexpr DWORD MS_RING_ON = 0x0040;
constexpr DWORD MS_RLSD_ON = 0x0080;

// COMMPROP
constexpr DWORD SP_SERIALCOMM = 0x00000001;
constexpr DWORD PST_RS232 = 0x00000001;
constexpr DWORD PCF_DTRDSR = 0x0001;
constexpr DWORD PCF_RTSCTS = 0x0002;
constexpr DWORD PCF_RLSD = 0x0004;
constexpr DWORD PCF_PARITY_CHECK = 0x0008;
constexpr DWORD PCF_XONXOFF = 0x0010;
constexpr DWORD PCF_SETXCHAR = 0x0020;
constexpr DWORD PCF_TOTALTIMEOUTS = 0x0040;
constexpr DWORD PCF_INTTIMEOUTS = 0x0080;
constexpr DWORD SP_PARITY = 0x0001;
constexpr DWORD SP_BAUD = 0x0002;
constexpr DWORD SP_DATABITS = 0x0004;
constexpr DWORD SP_STOPBITS = 0x0008;
constexpr DWORD SP_HANDSHAKING = 0x0010;
constexpr DWORD SP_PARITY_CHECK = 0x0020;
constexpr DWORD SP_RLSD = 0x0040;
constexpr DWORD BAUD_075 = 0x00000001;
constexpr DWORD BAUD_110 = 0x00000002;
constexpr DWORD BAUD_134_5 = 0x00000004;
constexpr DWORD BAUD_150 = 0x00000008;
constexpr DWORD BAUD_300 = 0x00000010;
constexpr DWORD BAUD_600 = 0x00000020;
constexpr DWORD BAUD_1200 = 0x00000040;
constexpr DWORD BAUD_1800 = 0x00000080;
constexpr DWORD BAUD_2400 = 0x00000100;
constexpr DWORD BAUD_4800 = 0x00000200;
constexpr DWORD BAUD_7200 = 0x00000400;
constexpr DWORD BAUD_9600 = 0x00000800;
constexpr DWORD BAUD_14400 = 0x00001000;
constexpr DWORD BAUD_19200 = 0x00002000;
constexpr DWORD BAUD_38400 = 0x00004000;
constexpr DWORD BAUD_56K = 0x00008000;
constexpr DWORD BAUD_128K = 0x00010000;
constexpr DWORD BAUD_115200 = 0x00020000;
constexpr DWORD BAUD_57600 = 0x00040000;
constexpr DWORD BAUD_USER = 0x10000000;
constexpr WORD DATABITS_5 = 0x0001;
constexpr WORD DATABITS_6 = 0x0002;
constexpr WORD DATABITS_7 = 0x0004;
constexpr WORD DATABITS_8 = 0x0008;
constexpr WORD STOPBITS_10 = 0x0001;
constexpr WORD STOPBITS_15 = 0x0002;
constexpr WORD STOPBITS_20 = 0x0004;
constexpr WORD PARITY_NONE = 0x0100;
constexpr WORD PARITY_ODD = 0x0200;
constexpr WORD PARITY_EVEN = 0x0400;
constexpr WORD PARITY_MARK = 0x0800;
constexpr WORD PARITY_SPACE = 0x1000;

// Line settings. Baud rates are those of the Linux terminal interface (50 to 4000000 in its
// fixed steps, 134 standing for 134.5); others give ERROR_INVALID_PARAMETER.
struct DCB {
    DWORD DCBlength;  // 28; not checked by SetCommState
    DWORD BaudRate;
    DWORD fBinary : 1;            // must be TRUE
    DWORD fParity : 1;            // check the parity of received bytes
    DWORD fOutxCtsFlow : 1;       // only together with fRtsControl == RTS_CONTROL_HANDSHAKE
    DWORD fOutxDsrFlow : 1;       // not supported
    DWORD fDtrControl : 2;        // DTR_CONTROL_HANDSHAKE not supported
    DWORD fDsrSensitivity : 1;    // not supported
    DWORD fTXContinueOnXoff : 1;  // FALSE not supported while fInX is set
    DWORD fOutX : 1;
    DWORD fInX : 1;
    DWORD fErrorChar : 1;     // not supported
    DWORD fNull : 1;          // not supported
    DWORD fRtsControl : 2;    // RTS_CONTROL_TOGGLE not supported
    DWORD fAbortOnError : 1;  // not supported
    DWORD fDummy2 : 17;
    WORD wReserved;
    // The kernel throttles at thresholds of its own; the limits are checked against the input
    // queue size and kept for reading back.
    WORD XonLim;
    WORD XoffLim;
    BYTE ByteSize;  // 5 to 8
    BYTE Parity;
    BYTE StopBits;  // ONE5STOPBITS only with 5 data bits, TWOSTOPBITS only with more
    char XonChar;
    char XoffChar;
    char ErrorChar;  // kept for reading back
    char EofChar;    // kept for reading back
    char EvtChar;    // kept for reading back
    WORD wReserved1;
};
static_assert(sizeof(DCB) == 28);

// Read time-outs, in milliseconds: an interval of MAXDWORD with both totals 0 reads what is
// buffered and returns at once; interval and multiplier MAXDWORD with a constant between 0 and
// MAXDWORD waits up to the constant for the first byte. Otherwise the total limit is
// multiplier * count + constant and the interval limit runs between bytes; 0 means no limit.
// The interval limit starts with the first byte. A read or write that no limit bounds (all 0,
// or an interval limit before the first byte) still gives up once no byte has moved for 30
// seconds: it fails with ERROR_TIMEOUT, its count telling what was moved. A read or write that
// meets a limit it was given succeeds with the bytes it moved so far.
struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout;
    DWORD ReadTotalTimeoutMultiplier;
    DWORD ReadTotalTimeoutConstant;
    DWORD WriteTotalTimeoutMultiplier;
    DWORD WriteTotalTimeoutConstant;
};
static_assert(sizeof(COMMTIMEOUTS) == 20);

struct COMSTAT {
    DWORD fCtsHold : 1;
    DWORD fDsrHold : 1;
    DWORD fRlsdHold : 1;
    DWORD fXoffHold : 1;
    DWORD fXoffSent : 1;
    DWORD fEof : 1;
    DWORD fTxim : 1;
    DWORD fReserved : 25;
    DWORD cbInQue;   // bytes waiting to be read
    DWORD cbOutQue;  // bytes waiting to be sent
};
static_assert(sizeof(COMSTAT) == 12);

struct COMMPROP {
    WORD wPacketLength;
    WORD wPacketVersion;
    DWORD dwServiceMask;
    DWORD dwReserved1;
    DWORD dwMaxTxQueue;
    DWORD dwMaxRxQueue;
    DWORD dwMaxBaud;
    DWORD dwProvSubType;
    DWORD dwProvCapabilities;
    DWORD dwSettableParams;
    DWORD dwSettableBaud;
    WORD wSettableData;
    WORD wSettableStopParity;
    DWORD dwCurrentTxQueue;  // as last given to SetupComm
    DWORD dwCurrentRxQueue;
    DWORD dwProvSpec1;
    DWORD dwProvSpec2;
    WCHAR wcProvChar[1];
};
static_assert(sizeof(COMMPROP) == 64);

struct COMMCONFIG {
    DWORD dwSize;  // 52
    WORD wVersion;
    WORD wReserved;
    DCB dcb;
    DWORD dwProviderSubType;
    DWORD dwProviderOffset;
    DWORD dwProviderSize;  // no provider data: 0
    WCHAR wcProviderData[1];
};
static_assert(sizeof(COMMCONFIG) == 52);

struct OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};

// Opens a port for reading and/or writing (other access bits are ignored). `share` must be 0,
// `disposition` OPEN_EXISTING and `templateFile` null (ERROR_INVALID_PARAMETER otherwise);
// `security` and attribute flags are ignored. The line is put into raw binary mode and keeps
// its other settings. Answers a new handle the caller closes with CloseHandle, or
// INVALID_HANDLE_VALUE.
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, void* security, DWORD disposition,
                   DWORD flags, HANDLE templateFile) noexcept;
// Closes a port or an event handle.
BOOL CloseHandle(HANDLE object) noexcept;

// Reads up to `count` bytes as the port's time-outs direct; *read receives the count, also when
// the read fails part-way (the bytes are in the buffer then). Needs GENERIC_READ
// (ERROR_ACCESS_DENIED). A line that has hung up or failed gives ERROR_GEN_FAILURE.
BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read, OVERLAPPED* overlapped) noexcept;
// Writes `count` bytes as the port's write time-outs direct; *written as for ReadFile. Needs
// GENERIC_WRITE.
BOOL WriteFile(HANDLE file, void const* buffer, DWORD count, DWORD* written,
               OVERLAPPED* overlapped) noexcept;

// The line settings. DCBlength receives 28.
BOOL GetCommState(HANDLE file, DCB* dcb) noexcept;
// Applies every field or none; see DCB for what is refused.
BOOL SetCommState(HANDLE file, DCB const* dcb) noexcept;
// A new port has all time-outs 0.
BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) noexcept;
// Interval, multiplier and constant all MAXDWORD give ERROR_INVALID_PARAMETER.
BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS const* timeouts) noexcept;
// PURGE_TXCLEAR and PURGE_RXCLEAR discard the output and input queues. PURGE_TXABORT and
// PURGE_RXABORT end outstanding overlapped requests, of which there are none. Other bits give
// ERROR_INVALID_PARAMETER.
BOOL PurgeComm(HANDLE file, DWORD flags) noexcept;
// SETRTS/CLRRTS while RTS is under handshake, SETDTR/CLRDTR while DTR is, and RESETDEV fail.
BOOL EscapeCommFunction(HANDLE file, DWORD function) noexcept;
BOOL SetCommBreak(HANDLE file) noexcept;
BOOL ClearCommBreak(HANDLE file) noexcept;
// *errors (optional) receives the CE_ flags of the line errors counted since the last call
// (none where the driver counts none); *status (optional) the queue counts.
BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* status) noexcept;
BOOL GetCommModemStatus(HANDLE file, DWORD* status) noexcept;
BOOL GetCommProperties(HANDLE file, COMMPROP* properties) noexcept;
// Recommended queue sizes: the kernel's queues are fixed, the sizes bound XonLim and XoffLim
// and are reported by GetCommProperties. A new port has 4096 for both; 0 keeps a size.
BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) noexcept;

// *size holds the record's size; below 52 gives ERROR_INSUFFICIENT_BUFFER with *size set to 52.
// On success *size receives 52.
BOOL GetCommConfig(HANDLE file, COMMCONFIG* config, DWORD* size) noexcept;
// `size` below 52 gives ERROR_INVALID_PARAMETER, provider data ERROR_NOT_SUPPORTED; the DCB is
// applied as by SetCommState.
BOOL SetCommConfig(HANDLE file, COMMCONFIG const* config, DWORD size) noexcept;
// The configuration a port starts from (9600 baud, 8 data bits, no parity, one stop bit, no flow
// control, DTR and RTS on) for a name "COMn" that resolves to a device; sizes as GetCommConfig.
BOOL GetDefaultCommConfigW(LPCWSTR name, COMMCONFIG* config, DWORD* size) noexcept;

// The device path a port name "COMn" stands for ("/dev/ttyUSB0"), whether or not a device is
// there, as a list of one path ended by two zero characters. Answers the characters stored, both
// zeros included; 0 on failure: ERROR_FILE_NOT_FOUND for a name that is no port name,
// ERROR_INSUFFICIENT_BUFFER when `max` characters cannot hold the list.
DWORD QueryDosDeviceW(LPCWSTR name, LPWSTR target, DWORD max) noexcept;

// An unnamed event; a name gives ERROR_NOT_SUPPORTED. Answers a handle the caller closes with
// CloseHandle, or null.
HANDLE CreateEventW(void* security, BOOL manualReset, BOOL initialState, LPCWSTR name) noexcept;

namespace ambivox {

// Waits up to `milliseconds` until the port has input to read. Answers TRUE when a read would
// find bytes, or when the line has hung up or failed (the read then reports it); FALSE with
// ERROR_TIMEOUT when the time passed, or with the failure.
BOOL wait_comm_input(HANDLE file, DWORD milliseconds) noexcept;

}  // namespace ambivox
