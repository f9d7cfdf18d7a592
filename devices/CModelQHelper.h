// CModelQHelper: the Model Q device's line protocol over a serial port. It opens and conditions
// the port (9600 baud, 8 data bits, no parity, one stop bit, no flow control), sends the one-byte
// query "*" and keeps the device's three reply lines as texts: probe 1 value, probe 2 value and
// battery status.
//
// Use: Open, and only when it answers true Read, then the three texts, then Close. Destroying
// the object releases whatever port it holds, also one whose Close failed part-way, so no port
// handle outlives the object.
#pragma once

#include <memory>
#include <string>

#include "platform/serial/Serial.h"
#include "transport/CSerialPortEx.h"

namespace ambivox {

class CModelQHelper {
public:
    CModelQHelper() = default;
    virtual ~CModelQHelper();
    CModelQHelper(CModelQHelper const&) = delete;
    CModelQHelper& operator=(CModelQHelper const&) = delete;

    // Opens COM<port> and conditions it; false when any step failed, leaving whatever was made
    // so far in the object (a port object, open or not, once the port is known).
    bool Open(int port) noexcept;
    // Queries the device once (at least 1.5 s, at most about 10.5 s) and replaces the three
    // texts; appends the raw reply lines, terminators included, to `scratch`. A line that has
    // not ended (CR and LF) within its limit is no reading: its text and those after it become
    // "-99.9" or "Bat Ok" as for an empty line, and the rest of that reply is not read but
    // discarded, as is anything waiting before the query. Without a port it changes nothing. A
    // failing purge, write or read raises hresult_error; the lines read before the failure have
    // replaced their texts.
    void Read(std::u16string& scratch);
    // Winds the port down and releases it. A step that fails ends the wind-down and keeps the
    // port object (destruction releases it).
    void Close() noexcept;

    // "COM3 (/dev/ttyUSB0)", the port as the last Open named it and the device it stands for.
    std::u16string PortText() const;
    // Why Open failed, or (given Read's failure code) why Read did, for a person to act on:
    // the port, the step and the cause.
    std::u16string FailureText(HRESULT readFailure = S_OK) const;

    std::u16string const& Probe1Value() const noexcept { return m_probe1; }
    std::u16string const& Probe2Value() const noexcept { return m_probe2; }
    std::u16string const& BatteryStatus() const noexcept { return m_battery; }
    // Whether a port object is held, and whether it is open.
    bool HoldsPort() const noexcept { return m_port != nullptr; }
    bool IsPortOpen() const noexcept { return m_port != nullptr && m_port->IsOpen(); }
    // The port object, owned by the helper, or null.
    CSerialPortEx* Port() noexcept { return m_port.get(); }
    // The port's configuration as Open last read or wrote it.
    COMMCONFIG const& PortConfig() const noexcept { return m_config; }

private:
    std::u16string m_probe1 = u"-99.9";
    std::u16string m_probe2 = u"-99.9";
    std::u16string m_battery = u" Bat Ok";
    std::unique_ptr<CSerialPortEx> m_port;
    COMMCONFIG m_config{};
    int m_portNumber = 0;
    HRESULT m_openFailure = S_OK;
    char16_t const* m_step = u"opening the port";
};

}  // namespace ambivox
