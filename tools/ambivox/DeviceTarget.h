// DeviceTarget: one device the user asked to poll, as the command line or a devices file gave it.
#pragma once

#include <string>

namespace ambivox::cli {

struct DeviceTarget {
    enum class family { model_n, model_q };

    family kind = family::model_n;
    std::string address;  // Model N: "HOST" or "HOST:PORT"
    int com = 0;          // Model Q: the COM port number
    std::string path;     // Model Q given by device path: mapped to `com` for the run only
    std::string model;    // Model N: "N3", "N7", "N15" or "NX2"; empty leaves the device's own
    std::string name;     // empty leaves the device's own

    bool operator==(DeviceTarget const&) const = default;

    // How reports name the device: its address, its device path, or "COMn".
    std::string label() const {
        if (kind == family::model_n) return address;
        return path.empty() ? "COM" + std::to_string(com) : path;
    }
    char const* family_name() const noexcept {
        return kind == family::model_q ? "modelq" : "modeln";
    }
};

}  // namespace ambivox::cli
