#include "tests/support/TempRegistry.h"

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace ambivox::testing {

TempRegistry::TempRegistry() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ambivox-registry-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    path_ = folder_ + "/registry.db";
    if (char const* current = std::getenv("AMBIVOX_REGISTRY")) previous_ = current;
    ::setenv("AMBIVOX_REGISTRY", path_.c_str(), 1);
}

TempRegistry::~TempRegistry() {
    if (previous_) {
        ::setenv("AMBIVOX_REGISTRY", previous_->c_str(), 1);
    } else {
        ::unsetenv("AMBIVOX_REGISTRY");
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

}  // namespace ambivox::testing
