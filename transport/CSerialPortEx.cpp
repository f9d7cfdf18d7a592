#include "transport/CSerialPortEx.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "platform/base/HResultBoundary.h"
#include "platform/base/ThreadState.h"

namespace ambivox {

void CSerialPortEx::ReadLine(std::string& line, int timeoutSeconds) {
    using namespace std::chrono;
    // The limit counts whole seconds of wall time from the second the read began, so it ends
    // where that second plus timeout + 1 begins; it is measured on the steady clock so that a
    // change of the wall clock cannot stretch it.
    auto const intoSecond = system_clock::now().time_since_epoch() % seconds(1);
    auto const deadline =
        steady_clock::now() - intoSecond + seconds(std::int64_t{timeoutSeconds} + 1);
    std::size_t const limit = line.size() + max_line_bytes;
    bool carriageReturn = false;
    bool lineFeed = false;
    for (;;) {
        char byte = 0;
        DWORD const got = Read(&byte, 1);
        if (got == 1) {
            if (byte == '\n') {
                lineFeed = true;
            } else if (byte == '\r') {
                carriageReturn = true;
            }
            line.push_back(byte);
            if ((carriageReturn && lineFeed) || line.size() >= limit) return;
        }
        auto const now = steady_clock::now();
        if (now >= deadline) return;
        if (got == 0) {
            auto const left = ceil<milliseconds>(deadline - now).count();
            if (!wait_comm_input(Handle(),
                                 static_cast<DWORD>(std::min<std::int64_t>(left, MAXDWORD - 1))) &&
                GetLastError() != ERROR_TIMEOUT) {
                throw_last_error();
            }
        }
    }
}

}  // namespace ambivox
