// CSerialPortEx: a serial port that also reads one line within a time limit.
#pragma once

#include <cstddef>
#include <string>

#include "transport/CSerialPort.h"

namespace ambivox {

class CSerialPortEx : public CSerialPort {
public:
    // A line never grows past this many bytes: a device that streams without end costs bounded
    // memory and time.
    static constexpr std::size_t max_line_bytes = 65536;

    // Appends bytes read one at a time to `line` (terminators included, nothing decoded) and
    // returns as soon as both a carriage return and a line feed have come, in either order and
    // not necessarily together. Otherwise it returns at the first whole second of wall time
    // more than `timeoutSeconds` after the second it started in, that is between timeout and
    // timeout + 1 seconds later, with whatever came; or once the line holds max_line_bytes.
    // Between reads it sleeps until input arrives. It expects reads that return at once (the
    // no-wait read time-outs); a failing read raises, leaving in `line` what came before.
    void ReadLine(std::string& line, int timeoutSeconds);
};

}  // namespace ambivox
