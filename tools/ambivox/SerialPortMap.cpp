#include "tools/ambivox/SerialPortMap.h"

#include <algorithm>
#include <cstring>

#include "platform/base/CodePage.h"
#include "platform/registry/UniqueHkey.h"
#include "tools/ambivox/CommandLine.h"
#include "tools/ambivox/RegistryError.h"
#include "tools/ambivox/RegistryValues.h"

namespace ambivox::cli {

namespace {

constexpr char16_t serial_map[] = u"HARDWARE\\DEVICEMAP\\SERIALCOMM";

struct raw_mapping {
    std::u16string name;  // the device path as stored
    int com = 0;
};

std::vector<raw_mapping> read_all() {
    std::vector<raw_mapping> found;
    unique_hkey key;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, serial_map, 0, KEY_READ, key.put());
    if (status == ERROR_FILE_NOT_FOUND) return found;
    if (status != ERROR_SUCCESS) throw RegistryError("cannot open the serial port map", status);
    for (auto const& v : RegistryValues::read(key.get(), "cannot read the serial port map")) {
        if (v.type != REG_SZ) continue;
        std::u16string value(v.data.size() / 2, u'\0');
        std::memcpy(value.data(), v.data.data(), value.size() * 2);
        while (!value.empty() && value.back() == u'\0')
            value.pop_back();
        int const com = CommandLine::com_number(narrow(value, CP_UTF8));
        // A bare number is no port name in the map.
        if (com == 0 || value.size() < 4) continue;
        found.push_back({v.name, com});
    }
    return found;
}

}  // namespace

std::vector<PortMapping> SerialPortMap::list() {
    std::vector<PortMapping> mappings;
    for (raw_mapping const& raw : read_all())
        mappings.push_back({raw.com, narrow(raw.name, CP_UTF8)});
    std::stable_sort(mappings.begin(), mappings.end(),
                     [](PortMapping const& a, PortMapping const& b) { return a.com < b.com; });
    return mappings;
}

std::optional<std::string> SerialPortMap::device_of(int com) {
    for (PortMapping const& mapping : list())
        if (mapping.com == com) return mapping.device;
    return std::nullopt;
}

void SerialPortMap::map(int com, std::string const& device) {
    unmap(com);
    std::u16string const data = u"COM" + widen(std::to_string(com), CP_UTF8);
    LSTATUS const status =
        reg_set_string(HKEY_LOCAL_MACHINE, serial_map, widen(device, CP_UTF8), data);
    if (status != ERROR_SUCCESS) throw RegistryError("cannot write the serial port map", status);
}

int SerialPortMap::unmap(int com) {
    int removed = 0;
    std::vector<raw_mapping> const all = read_all();
    if (std::none_of(all.begin(), all.end(), [com](raw_mapping const& m) { return m.com == com; }))
        return 0;
    unique_hkey key;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, serial_map, 0, KEY_SET_VALUE, key.put());
    if (status != ERROR_SUCCESS) throw RegistryError("cannot open the serial port map", status);
    for (raw_mapping const& mapping : all) {
        if (mapping.com != com) continue;
        status = RegDeleteValueW(key.get(), mapping.name.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            throw RegistryError("cannot change the serial port map", status);
        ++removed;
    }
    return removed;
}

int SerialPortMap::first_free() {
    std::vector<PortMapping> const mappings = list();
    int com = 1;
    while (std::any_of(mappings.begin(), mappings.end(),
                       [com](PortMapping const& m) { return m.com == com; }))
        ++com;
    return com;
}

}  // namespace ambivox::cli
