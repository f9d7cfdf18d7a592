// Gives a test a registry store of its own: points AMBIVOX_REGISTRY at a file in a fresh private
// folder for the owner's lifetime, then puts the variable back and removes the folder with the
// store and its journal files. Nests: an inner one switches stores, and its end switches back.
#pragma once

#include <optional>
#include <string>

namespace ambivox::testing {

class TempRegistry {
public:
    TempRegistry();
    ~TempRegistry();
    TempRegistry(TempRegistry const&) = delete;
    TempRegistry& operator=(TempRegistry const&) = delete;

    std::string const& path() const noexcept { return path_; }      // the store file
    std::string const& folder() const noexcept { return folder_; }  // holds only the store

private:
    std::string folder_;
    std::string path_;
    std::optional<std::string> previous_;
};

}  // namespace ambivox::testing
