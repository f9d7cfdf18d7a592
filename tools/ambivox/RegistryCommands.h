// RegistryCommands: `ambivox register|unregister [MODULE]`, `ambivox registry dump [KEY]`,
// `ambivox ports`, `ambivox ports map COMn DEVICE` and `ambivox ports unmap COMn`. Each answers
// the program's exit code after printing what it did, or why it could not.
#pragma once

#include <string>

namespace ambivox::cli {

class RegistryCommands {
public:
    // `ambivox --version`: the program's version, the module `register` would take, the module
    // the registry store names for the device classes, and the store itself.
    static int version();
    // An empty `module` takes the module beside the program.
    static int register_module(std::string const& module, bool unregister);
    // An empty `key` lists every root.
    static int dump(std::string const& key);
    static int list_ports();
    static int map_port(int com, std::string const& device);
    static int unmap_port(int com);
};

}  // namespace ambivox::cli
