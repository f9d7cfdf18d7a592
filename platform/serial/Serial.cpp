#include "platform/serial/Serial.h"

#include <algorithm>
#include <array>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/CodePage.h"
#include "platform/base/ThreadState.h"
#include "platform/registry/Registry.h"
#include "platform/serial/DeviceHandleTable.h"
#include "platform/serial/SerialDevice.h"

using ambivox::DeviceHandleTable;
using ambivox::SerialDevice;

namespace {

constexpr char16_t serial_map[] = u"HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr std::u16string_view device_namespace = u"\\\\.\\";
// Past this a number is no port: it keeps "COM" + digits within the registry data read below.
constexpr unsigned long max_port_number = 999999999;

BOOL fail(DWORD code) noexcept {
    SetLastError(code);
    return FALSE;
}

BOOL finish(DWORD code) noexcept {
    return code == ERROR_SUCCESS ? TRUE : fail(code);
}

char16_t fold(char16_t c) noexcept {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// The n of "COMn" (letter case aside, digits without a leading zero), or 0.
unsigned long com_number(std::u16string_view name) noexcept {
    if (name.size() < 4 || fold(name[0]) != u'C' || fold(name[1]) != u'O' ||
        fold(name[2]) != u'M') {
        return 0;
    }
    std::u16string_view const digits = name.substr(3);
    if (digits.size() > 9 || digits.front() == u'0') return 0;
    unsigned long number = 0;
    for (char16_t const c : digits) {
        if (c < u'0' || c > u'9') return 0;
        number = number * 10 + static_cast<unsigned long>(c - u'0');
    }
    return number <= max_port_number ? number : 0;
}

// The port a CreateFileW name opens: "\\.\COMn" for any n, plain "COMn" for 1 to 9 only.
unsigned long file_port_number(std::u16string_view name) noexcept {
    if (name.starts_with(device_namespace)) return com_number(name.substr(device_namespace.size()));
    unsigned long const number = com_number(name);
    return number <= 9 ? number : 0;
}

bool names_port(std::u16string_view data, std::u16string_view wanted) noexcept {
    while (!data.empty() && data.back() == u'\0')
        data.remove_suffix(1);
    if (data.size() != wanted.size()) return false;
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (fold(data[i]) != fold(wanted[i])) return false;
    }
    return true;
}

// The device path of COMn: the registry's mapping, else /dev/ttyS{n-1}. A registry that cannot
// be read fails the request rather than sending it to another device.
DWORD device_path(unsigned long number, std::string& path) {
    std::u16string const wanted = u"COM" + ambivox::widen(std::to_string(number), CP_UTF8);
    HKEY key = nullptr;
    LSTATUS rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, serial_map, 0, KEY_QUERY_VALUE, &key);
    if (rc == ERROR_SUCCESS) {
        std::vector<char16_t> name(16384);
        std::array<char16_t, 32> data{};
        for (DWORD index = 0;; ++index) {
            auto name_length = static_cast<DWORD>(name.size());
            DWORD type = REG_NONE;
            DWORD size = sizeof data;
            rc = RegEnumValueW(key, index, name.data(), &name_length, nullptr, &type,
                               reinterpret_cast<BYTE*>(data.data()), &size);
            if (rc == ERROR_MORE_DATA) continue;  // data too long to name a port
            if (rc != ERROR_SUCCESS) break;
            if (type == REG_SZ &&
                names_port(std::u16string_view(data.data(), size / sizeof(char16_t)), wanted)) {
                path = ambivox::narrow(std::u16string_view(name.data(), name_length), CP_UTF8);
                break;
            }
        }
        RegCloseKey(key);
        if (rc == ERROR_SUCCESS) return ERROR_SUCCESS;
    }
    if (rc != ERROR_FILE_NOT_FOUND && rc != ERROR_NO_MORE_ITEMS) return static_cast<DWORD>(rc);
    path = "/dev/ttyS" + std::to_string(number - 1);
    return ERROR_SUCCESS;
}

template <class Body>
BOOL with_device(HANDLE file, Body&& body) noexcept {
    std::shared_ptr<SerialDevice> const device = DeviceHandleTable::instance().device(file);
    if (!device) return fail(ERROR_INVALID_HANDLE);
    return finish(body(*device));
}

}  // namespace

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, void* /*security*/, DWORD disposition,
                   DWORD flags, HANDLE templateFile) noexcept {
    try {
        if (name == nullptr || share != 0 || disposition != OPEN_EXISTING ||
            templateFile != nullptr) {
            fail(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        if ((flags & FILE_FLAG_OVERLAPPED) != 0) {
            fail(ERROR_NOT_SUPPORTED);
            return INVALID_HANDLE_VALUE;
        }
        unsigned long const number = file_port_number(name);
        if (number == 0) {
            fail(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        std::string path;
        std::shared_ptr<SerialDevice> device;
        DWORD rc = device_path(number, path);
        if (rc == ERROR_SUCCESS) rc = SerialDevice::open(path, access, device);
        if (rc != ERROR_SUCCESS) {
            fail(rc);
            return INVALID_HANDLE_VALUE;
        }
        HANDLE const handle = DeviceHandleTable::instance().add(std::move(device));
        if (handle == nullptr) {
            fail(ERROR_NOT_ENOUGH_MEMORY);
            return INVALID_HANDLE_VALUE;
        }
        return handle;
    } catch (std::bad_alloc const&) {
        fail(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
}

BOOL CloseHandle(HANDLE object) noexcept {
    return DeviceHandleTable::instance().remove(object) ? TRUE : fail(ERROR_INVALID_HANDLE);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read,
              OVERLAPPED* overlapped) noexcept {
    return with_device(file, [&](SerialDevice& device) -> DWORD {
        if (overlapped != nullptr) return ERROR_NOT_SUPPORTED;
        if (read == nullptr) return ERROR_INVALID_PARAMETER;
        if (buffer == nullptr && count != 0) return ERROR_NOACCESS;
        DWORD done = 0;
        DWORD const rc = device.read(static_cast<BYTE*>(buffer), count, done);
        *read = done;
        return rc;
    });
}

BOOL WriteFile(HANDLE file, void const* buffer, DWORD count, DWORD* written,
               OVERLAPPED* overlapped) noexcept {
    return with_device(file, [&](SerialDevice& device) -> DWORD {
        if (overlapped != nullptr) return ERROR_NOT_SUPPORTED;
        if (written == nullptr) return ERROR_INVALID_PARAMETER;
        if (buffer == nullptr && count != 0) return ERROR_NOACCESS;
        DWORD done = 0;
        DWORD const rc = device.write(static_cast<BYTE const*>(buffer), count, done);
        *written = done;
        return rc;
    });
}

BOOL GetCommState(HANDLE file, DCB* dcb) noexcept {
    return with_device(file, [&](SerialDevice& device) {
        return dcb == nullptr ? ERROR_INVALID_PARAMETER : device.get_state(*dcb);
    });
}

BOOL SetCommState(HANDLE file, DCB const* dcb) noexcept {
    return with_device(file, [&](SerialDevice& device) {
        return dcb == nullptr ? ERROR_INVALID_PARAMETER : device.set_state(*dcb);
    });
}

BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) noexcept {
    return with_device(file, [&](SerialDevice& device) {
        return timeouts == nullptr ? ERROR_INVALID_PARAMETER : device.get_timeouts(*timeouts);
    });
}

BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS const* timeouts) noexcept {
    return with_device(file, [&](SerialDevice& device) {
        return timeouts == nullptr ? ERROR_INVALID_PARAMETER : device.set_timeouts(*timeouts);
    });
}

BOOL PurgeComm(HANDLE file, DWORD flags) noexcept {
    return with_device(file, [&](SerialDevice& device) { return device.purge(flags); });
}

BOOL EscapeCommFunction(HANDLE file, DWORD function) noexcept {
    return with_device(file, [&](SerialDevice& device) { return device.escape(function); });
}

BOOL SetCommBreak(HANDLE file) noexcept {
    return EscapeCommFunction(file, SETBREAK);
}

BOOL ClearCommBreak(HANDLE file) noexcept {
    return EscapeCommFunction(file, CLRBREAK);
}

BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* status) noexcept {
    return with_device(file,
                       [&](SerialDevice& device) { return device.clear_error(errors, status); });
}

BOOL GetCommModemStatus(HANDLE file, DWORD* status) noexcept {
    return with_device(file, [&](SerialDevice& device) {
        return status == nullptr ? ERROR_INVALID_PARAMETER : device.modem_status(*status);
    });
}

BOOL GetCommProperties(HANDLE file, COMMPROP* properties) noexcept {
    return with_device(file, [&](SerialDevice& device) {
        return properties == nullptr ? ERROR_INVALID_PARAMETER : device.properties(*properties);
    });
}

BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) noexcept {
    return with_device(file, [&](SerialDevice& device) { return device.setup(inQueue, outQueue); });
}

namespace {

// The size check shared by the configuration getters.
DWORD config_room(COMMCONFIG const* config, DWORD* size) noexcept {
    if (size == nullptr) return ERROR_INVALID_PARAMETER;
    if (*size < sizeof(COMMCONFIG)) {
        *size = sizeof(COMMCONFIG);
        return ERROR_INSUFFICIENT_BUFFER;
    }
    return config == nullptr ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}

void fill_config(COMMCONFIG& config, DCB const& dcb, DWORD& size) noexcept {
    COMMCONFIG filled{};
    filled.dwSize = sizeof(COMMCONFIG);
    filled.wVersion = 1;
    filled.dcb = dcb;
    filled.dwProviderSubType = PST_RS232;
    config = filled;
    size = sizeof(COMMCONFIG);
}

}  // namespace

BOOL GetCommConfig(HANDLE file, COMMCONFIG* config, DWORD* size) noexcept {
    return with_device(file, [&](SerialDevice& device) {
        if (DWORD rc = config_room(config, size); rc != ERROR_SUCCESS) return rc;
        DCB dcb{};
        if (DWORD rc = device.get_state(dcb); rc != ERROR_SUCCESS) return rc;
        fill_config(*config, dcb, *size);
        return ERROR_SUCCESS;
    });
}

BOOL SetCommConfig(HANDLE file, COMMCONFIG const* config, DWORD size) noexcept {
    return with_device(file, [&](SerialDevice& device) {
        if (config == nullptr || size < sizeof(COMMCONFIG)) return ERROR_INVALID_PARAMETER;
        if (config->dwProviderSize != 0) return ERROR_NOT_SUPPORTED;
        return device.set_state(config->dcb);
    });
}

DWORD QueryDosDeviceW(LPCWSTR name, LPWSTR target, DWORD max) noexcept {
    try {
        unsigned long const number = name == nullptr ? 0 : com_number(name);
        if (number == 0) {
            fail(ERROR_FILE_NOT_FOUND);
            return 0;
        }
        std::string path;
        if (DWORD rc = device_path(number, path); rc != ERROR_SUCCESS) {
            fail(rc);
            return 0;
        }
        std::u16string const wide = ambivox::widen(path, CP_UTF8);
        auto const needed = static_cast<DWORD>(wide.size() + 2);
        if (target == nullptr || max < needed) {
            fail(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        std::copy(wide.begin(), wide.end(), target);
        target[wide.size()] = u'\0';
        target[wide.size() + 1] = u'\0';
        return needed;
    } catch (std::bad_alloc const&) {
        fail(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

BOOL GetDefaultCommConfigW(LPCWSTR name, COMMCONFIG* config, DWORD* size) noexcept {
    try {
        if (name == nullptr) return fail(ERROR_INVALID_PARAMETER);
        if (DWORD rc = config_room(config, size); rc != ERROR_SUCCESS) return fail(rc);
        unsigned long const number = com_number(name);
        if (number == 0) return fail(ERROR_FILE_NOT_FOUND);
        std::string path;
        if (DWORD rc = device_path(number, path); rc != ERROR_SUCCESS) return fail(rc);
        if (!ambivox::SerialIoctl::current().is_character_device(path.c_str())) {
            return fail(ERROR_FILE_NOT_FOUND);
        }
        fill_config(*config, SerialDevice::default_state(), *size);
        return TRUE;
    } catch (std::bad_alloc const&) {
        return fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

HANDLE CreateEventW(void* /*security*/, BOOL manualReset, BOOL initialState,
                    LPCWSTR name) noexcept {
    if (name != nullptr && *name != u'\0') {
        fail(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    try {
        HANDLE const handle = DeviceHandleTable::instance().add(
            DeviceHandleTable::event_object{manualReset != FALSE, initialState != FALSE});
        if (handle == nullptr) fail(ERROR_NOT_ENOUGH_MEMORY);
        return handle;
    } catch (std::bad_alloc const&) {
        fail(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

namespace ambivox {

BOOL wait_comm_input(HANDLE file, DWORD milliseconds) noexcept {
    return with_device(file, [&](SerialDevice& device) { return device.wait_input(milliseconds); });
}

}  // namespace ambivox
