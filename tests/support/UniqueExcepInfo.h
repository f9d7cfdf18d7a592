// unique_excepinfo: owns the strings of the EXCEPINFO a member's failure fills, and frees them.
#pragma once

#include "platform/automation/Dispatch.h"

namespace ambivox::testing {

class unique_excepinfo {
public:
    unique_excepinfo() noexcept = default;
    unique_excepinfo(unique_excepinfo const&) = delete;
    unique_excepinfo& operator=(unique_excepinfo const&) = delete;
    ~unique_excepinfo() { reset(); }

    // Frees what is held and hands out the empty slot for Invoke to fill.
    EXCEPINFO* put() noexcept {
        reset();
        return &m_value;
    }
    EXCEPINFO const* operator->() const noexcept { return &m_value; }

    void reset() noexcept {
        SysFreeString(m_value.bstrSource);
        SysFreeString(m_value.bstrDescription);
        SysFreeString(m_value.bstrHelpFile);
        m_value = EXCEPINFO{};
    }

private:
    EXCEPINFO m_value{};
};

}  // namespace ambivox::testing
