// RegistryError: a registry call that failed, with its Win32 status and what was being done.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/registry/Registry.h"

namespace ambivox::cli {

class RegistryError : public std::runtime_error {
public:
    RegistryError(std::string const& what, LSTATUS status)
        : std::runtime_error(what), m_status(status) {}
    LSTATUS status() const noexcept { return m_status; }

private:
    LSTATUS m_status;
};

}  // namespace ambivox::cli
