// ModuleFile: the component module file itself, loaded directly to call its registration entry
// points, as a registration tool does. Everything else reaches the module through the runtime.
#pragma once

#include <string>

#include "platform/base/Types.h"

namespace ambivox::cli {

class ModuleFile {
public:
    // AmbivoxSDK.so beside this program, else in ../lib/ambivox beside it, else the installed one.
    static std::string default_path();

    // Loads the module at `path` (a relative path names a file, not a library search).
    explicit ModuleFile(std::string const& path);
    ~ModuleFile();
    ModuleFile(ModuleFile const&) = delete;
    ModuleFile& operator=(ModuleFile const&) = delete;

    std::string const& path() const noexcept { return m_path; }
    bool loaded() const noexcept { return m_handle != nullptr; }
    // Why the module could not be loaded; empty when it was.
    std::string const& load_error() const noexcept { return m_error; }

    // The answer of DllRegisterServer or DllUnregisterServer; E_FAIL when the module is not
    // loaded or lacks the entry point (load_error() then says so).
    HRESULT register_server();
    HRESULT unregister_server();

private:
    HRESULT call(char const* entry);

    std::string m_path;
    void* m_handle = nullptr;
    std::string m_error;
};

}  // namespace ambivox::cli
