// PrivateRegistry: a registry store of the process's own in a fresh temporary folder. While it
// lives AMBIVOX_REGISTRY names it (child processes inherit that); its end puts the variable back
// and removes the folder. Set it up before starting threads: it changes the environment.
#pragma once

#include <optional>
#include <string>

namespace ambivox::cli {

class PrivateRegistry {
public:
    // Raises std::runtime_error when no temporary folder can be made.
    PrivateRegistry();
    ~PrivateRegistry();
    PrivateRegistry(PrivateRegistry const&) = delete;
    PrivateRegistry& operator=(PrivateRegistry const&) = delete;

    std::string const& path() const noexcept { return m_path; }
    std::string const& folder() const noexcept { return m_folder; }

private:
    std::string m_folder;
    std::string m_path;
    std::optional<std::string> m_previous;
};

}  // namespace ambivox::cli
