#include "tools/ambivox/RegistryCommands.h"

#include <filesystem>
#include <iostream>

#include "ambivox/AmbivoxIds.h"
#include "platform/base/CodePage.h"
#include "platform/base/Errors.h"
#include "platform/base/Guid.h"
#include "platform/registry/Registry.h"
#include "tools/ambivox/ExitCode.h"
#include "tools/ambivox/HResultText.h"
#include "tools/ambivox/ModuleFile.h"
#include "tools/ambivox/RegistryError.h"
#include "tools/ambivox/RegistryListing.h"
#include "tools/ambivox/SerialPortMap.h"

namespace ambivox::cli {

namespace {

int registry_failure(RegistryError const& error) {
    std::cerr << "ambivox: " << error.what() << " in the registry store " << registry_path() << ": "
              << describe_hresult(HRESULT_FROM_WIN32(static_cast<DWORD>(error.status()))) << "\n";
    return exit_setup;
}

bool exists(std::string const& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

}  // namespace

int RegistryCommands::version() {
    OLECHAR clsid[64] = {};
    StringFromGUID2(CLSID_AmbivoxModelN, clsid, 64);
    std::u16string registered;
    LSTATUS const status =
        reg_get_string(HKEY_CLASSES_ROOT, u"CLSID\\" + std::u16string(clsid) + u"\\InprocServer32",
                       u"", registered);
    std::cout << "ambivox " << AMBIVOX_VERSION << "\n"
              << "registry store:    " << registry_path() << "\n"
              << "registered module: "
              << (status == ERROR_SUCCESS ? narrow(registered, CP_UTF8)
                  : status == ERROR_FILE_NOT_FOUND
                      ? std::string("none (run 'ambivox register')")
                      : "unreadable: " +
                            describe_hresult(HRESULT_FROM_WIN32(static_cast<DWORD>(status))))
              << "\n"
              << "module to register: " << ModuleFile::default_path() << "\n";
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? exit_ok : exit_setup;
}

int RegistryCommands::register_module(std::string const& module, bool unregister) {
    ModuleFile file(module.empty() ? ModuleFile::default_path() : module);
    char const* const entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    if (!file.loaded()) {
        std::cerr << "ambivox: cannot load the module " << file.path() << ": " << file.load_error()
                  << "\n";
        return exit_setup;
    }
    HRESULT const hr = unregister ? file.unregister_server() : file.register_server();
    if (FAILED(hr)) {
        if (!file.load_error().empty())
            std::cerr << "ambivox: " << file.load_error() << "\n";
        else
            std::cerr << "ambivox: " << entry << " of " << file.path()
                      << " failed: " << describe_hresult(hr) << "\n";
        return exit_setup;
    }
    std::cout << (unregister ? "Unregistered " : "Registered ") << file.path()
              << (unregister ? " from" : " in") << " the registry store " << registry_path()
              << ".\n";
    return exit_ok;
}

int RegistryCommands::dump(std::string const& key) {
    std::vector<RegistryListing::key_path> keys;
    if (key.empty()) {
        for (char const* root : {"HKEY_CLASSES_ROOT", "HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"}) {
            RegistryListing::key_path path;
            RegistryListing::parse(root, path);
            keys.push_back(path);
        }
    } else {
        RegistryListing::key_path path;
        if (!RegistryListing::parse(key, path)) {
            std::cerr << "ambivox: \"" << key
                      << "\" is under no registry root: start it with HKEY_CLASSES_ROOT, "
                         "HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER (or HKCR, HKLM, HKCU)\n";
            return exit_usage;
        }
        keys.push_back(path);
    }
    std::string listing = "; ambivox registry store: " + registry_path() + "\n\n";
    try {
        for (RegistryListing::key_path const& path : keys)
            listing += RegistryListing::dump(path);
    } catch (RegistryError const& error) {
        if (error.status() == ERROR_FILE_NOT_FOUND) {
            std::cerr << "ambivox: there is no key " << key << " in the registry store "
                      << registry_path() << "\n";
            return exit_failed;
        }
        return registry_failure(error);
    }
    std::cout << listing;
    return exit_ok;
}

int RegistryCommands::list_ports() {
    try {
        std::vector<PortMapping> const mappings = SerialPortMap::list();
        if (mappings.empty()) {
            std::cout << "No serial port is mapped in the registry store " << registry_path()
                      << "; COMn stands for /dev/ttyS<n-1>.\n";
            return exit_ok;
        }
        for (PortMapping const& mapping : mappings) {
            std::string const port = "COM" + std::to_string(mapping.com);
            std::cout << port << std::string(port.size() < 8 ? 8 - port.size() : 1, ' ')
                      << mapping.device << (exists(mapping.device) ? "" : "  (missing)") << "\n";
        }
    } catch (RegistryError const& error) {
        return registry_failure(error);
    }
    return exit_ok;
}

int RegistryCommands::map_port(int com, std::string const& device) {
    std::string const port = "COM" + std::to_string(com);
    try {
        SerialPortMap::map(com, device);
    } catch (RegistryError const& error) {
        return registry_failure(error);
    }
    std::cout << port << " now stands for " << device << ".\n";
    if (!exists(device))
        std::cerr << "ambivox: note: " << device << " does not exist (yet); polls of " << port
                  << " fail until it does.\n";
    return exit_ok;
}

int RegistryCommands::unmap_port(int com) {
    std::string const port = "COM" + std::to_string(com);
    try {
        if (SerialPortMap::unmap(com) == 0) {
            std::cerr << "ambivox: " << port << " is not mapped in the registry store "
                      << registry_path() << "\n";
            return exit_failed;
        }
    } catch (RegistryError const& error) {
        return registry_failure(error);
    }
    std::cout << port << " is no longer mapped; it stands for /dev/ttyS" << com - 1 << " again.\n";
    return exit_ok;
}

}  // namespace ambivox::cli
