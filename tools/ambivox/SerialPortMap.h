// SerialPortMap: the registry's serial port names. Each value of
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM maps a device path (the value's name) to a port
// name ("COMn", its data); a port that no value names is /dev/ttyS<n-1>.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ambivox::cli {

struct PortMapping {
    int com = 0;
    std::string device;
};

class SerialPortMap {
public:
    // Every mapping, by port number; values whose data is no COM name are left out. Raises
    // RegistryError when the store cannot be read (a missing key is no mapping at all).
    static std::vector<PortMapping> list();
    // The device COMn stands for, if the registry names one.
    static std::optional<std::string> device_of(int com);
    // Lets COMn stand for `device`, replacing what it stood for before. Raises RegistryError.
    static void map(int com, std::string const& device);
    // Removes every mapping of COMn and answers how many there were. Raises RegistryError.
    static int unmap(int com);
    // The lowest port number from 1 up that no mapping uses.
    static int first_free();
};

}  // namespace ambivox::cli
