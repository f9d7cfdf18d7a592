#include "tools/ambivox/PrivateRegistry.h"

#include <stdlib.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace ambivox::cli {

PrivateRegistry::PrivateRegistry() {
    std::error_code error;
    std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    if (error) temp = "/tmp";
    std::string pattern = (temp / "ambivox-demo-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::system_error(errno, std::generic_category(),
                                "cannot make a folder in " + temp.string());
    m_folder = pattern;
    m_path = m_folder + "/registry.db";
    if (char const* current = std::getenv("AMBIVOX_REGISTRY")) m_previous = current;
    ::setenv("AMBIVOX_REGISTRY", m_path.c_str(), 1);
}

PrivateRegistry::~PrivateRegistry() {
    if (m_previous)
        ::setenv("AMBIVOX_REGISTRY", m_previous->c_str(), 1);
    else
        ::unsetenv("AMBIVOX_REGISTRY");
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

}  // namespace ambivox::cli
