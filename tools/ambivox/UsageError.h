// UsageError: a command line the program cannot understand; what() says what is wrong with it.
#pragma once

#include <stdexcept>
#include <string>

namespace ambivox::cli {

class UsageError : public std::runtime_error {
public:
    explicit UsageError(std::string const& what) : std::runtime_error(what) {}
};

}  // namespace ambivox::cli
