// default_module_path: where the command-line tools find the component module when they are not
// told. Header-only so that ambivox-regsvr, a program of its own, shares it with the ambivox
// program without linking any of it; each tool's build defines AMBIVOX_INSTALLED_MODULE.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#ifndef AMBIVOX_INSTALLED_MODULE
#error "the tool's build must define AMBIVOX_INSTALLED_MODULE, the installed module's path"
#endif

namespace ambivox::tools {

// AmbivoxSDK.so beside the running program (a build tree), else in ../lib/ambivox beside it (an
// installation under any prefix), else the module installed where the build said.
inline std::string default_module_path() {
    namespace fs = std::filesystem;
    constexpr char module_name[] = "AmbivoxSDK.so";
    std::error_code error;
    fs::path const self = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        for (fs::path const& candidate :
             {self.parent_path() / module_name,
              self.parent_path().parent_path() / "lib" / "ambivox" / module_name}) {
            if (fs::exists(candidate, error)) return candidate.string();
        }
    }
    return AMBIVOX_INSTALLED_MODULE;
}

}  // namespace ambivox::tools
