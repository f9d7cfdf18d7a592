// RecordingErrorHandler: a SAX error handler that keeps what the reader reports to it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/base/CodePage.h"
#include "platform/com/Implements.h"
#include "platform/xml/Sax.h"

namespace ambivox::testing {

class RecordingErrorHandler : public implements<RecordingErrorHandler, ISAXErrorHandler> {
public:
    struct report {
        std::string message;  // UTF-8
        HRESULT code;
        int line;  // from the locator, 0 when there was none
    };
    std::vector<report> fatal;
    std::size_t errors = 0;
    std::size_t warnings = 0;

    HRESULT error(ISAXLocator*, const OLECHAR*, HRESULT) noexcept override {
        ++errors;
        return S_OK;
    }
    HRESULT fatalError(ISAXLocator* locator, const OLECHAR* message,
                       HRESULT code) noexcept override {
        int line = 0;
        if (locator != nullptr) locator->getLineNumber(&line);
        fatal.push_back(
            {message != nullptr ? narrow(message, CP_UTF8) : std::string(), code, line});
        return S_OK;
    }
    HRESULT ignorableWarning(ISAXLocator*, const OLECHAR*, HRESULT) noexcept override {
        ++warnings;
        return S_OK;
    }
};

}  // namespace ambivox::testing
