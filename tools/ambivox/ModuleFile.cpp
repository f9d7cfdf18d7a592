#include "tools/ambivox/ModuleFile.h"

#include <dlfcn.h>

#include <filesystem>

#include "platform/base/Errors.h"
#include "tools/DefaultModulePath.h"

namespace ambivox::cli {

namespace fs = std::filesystem;

std::string ModuleFile::default_path() {
    return tools::default_module_path();
}

ModuleFile::ModuleFile(std::string const& path) {
    std::error_code error;
    m_path = fs::absolute(path, error).string();
    if (error) m_path = path;
    m_handle = dlopen(m_path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr) {
        char const* why = dlerror();
        m_error = why != nullptr ? why : "the file cannot be loaded";
    }
}

ModuleFile::~ModuleFile() {
    if (m_handle != nullptr) dlclose(m_handle);
}

HRESULT ModuleFile::register_server() {
    return call("DllRegisterServer");
}

HRESULT ModuleFile::unregister_server() {
    return call("DllUnregisterServer");
}

HRESULT ModuleFile::call(char const* entry) {
    if (m_handle == nullptr) return E_FAIL;
    auto const function = reinterpret_cast<HRESULT (*)()>(dlsym(m_handle, entry));
    if (function == nullptr) {
        m_error = m_path + " does not export " + entry + ": it is not a component module";
        return E_FAIL;
    }
    return function();
}

}  // namespace ambivox::cli
