#include "tools/ambivox/serve/ConfigFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <set>

#include "platform/base/CodePage.h"
#include "tools/ambivox/PrometheusWriter.h"

namespace ambivox::cli {

namespace {

// The longest line the reader takes: a devices file is written by people, not generated junk.
constexpr std::size_t max_line = 4096;
// Room for thousands of devices; anything longer was never written as a list of them.
constexpr std::size_t max_file = 1 << 20;

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// The words of a line; raises std::invalid_argument for an unterminated quote.
std::vector<std::string> words_of(std::string_view line) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (true) {
        while (at < line.size() && blank(line[at]))
            ++at;
        if (at == line.size() || line[at] == '#') return words;
        std::string word;
        while (at < line.size() && !blank(line[at])) {
            if (line[at] != '"') {
                word += line[at++];
                continue;
            }
            for (++at;; ++at) {
                if (at == line.size()) throw std::invalid_argument("a quote is not closed");
                if (line[at] == '"') break;
                if (line[at] == '\\' && at + 1 < line.size()) ++at;
                word += line[at];
            }
            ++at;
        }
        words.push_back(std::move(word));
    }
}

int com_of(std::string_view text) {
    if (text.size() > 3 && (text.substr(0, 3) == "COM" || text.substr(0, 3) == "com"))
        text.remove_prefix(3);
    int number = 0;
    auto const [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || number < 1 || number > 999)
        return 0;
    return number;
}

bool host_text(std::string_view text) {
    if (text.empty() || text.size() > 255) return false;
    for (char const c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != ':' &&
            c != '[' && c != ']' && c != '_')
            return false;
    return true;
}

// A name is a label value in the metrics, which Prometheus takes only as UTF-8.
std::string const& utf8_name(std::string const& value) {
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, value.data(),
                            static_cast<int>(value.size()), nullptr, 0) == 0)
        throw std::invalid_argument("name= is not UTF-8 text");
    return value;
}

ConfiguredDevice device_of(std::vector<std::string> const& words,
                           std::chrono::milliseconds defaultInterval) {
    ConfiguredDevice device;
    device.interval = defaultInterval;
    if (words[0] == "modelq") {
        device.target.kind = DeviceTarget::family::model_q;
    } else if (words[0] != "modeln") {
        throw std::invalid_argument("\"" + words[0] + "\" is not a device family: give modeln " +
                                    "or modelq");
    }
    if (words.size() < 2) throw std::invalid_argument("the device's address is missing");
    if (device.target.kind == DeviceTarget::family::model_q) {
        device.target.com = com_of(words[1]);
        if (device.target.com == 0)
            throw std::invalid_argument("\"" + words[1] +
                                        "\" is not a serial port: give COMn, n from 1 to 999");
    } else if (host_text(words[1])) {
        device.target.address = words[1];
    } else {
        throw std::invalid_argument("\"" + words[1] + "\" is not a HOST or HOST:PORT");
    }
    std::set<std::string> seen;
    for (std::size_t i = 2; i < words.size(); ++i) {
        std::size_t const equals = words[i].find('=');
        std::string const key = words[i].substr(0, equals);
        if (equals == std::string::npos || !seen.insert(key).second)
            throw std::invalid_argument("\"" + words[i] +
                                        "\" is not a new model=, name= or interval= setting");
        std::string const value = words[i].substr(equals + 1);
        if (key == "model" && device.target.kind == DeviceTarget::family::model_n)
            device.target.model = value;
        else if (key == "name" && !value.empty())
            device.target.name = utf8_name(value);
        else if (key == "interval")
            device.interval = ConfigFile::seconds(value, "interval=");
        else
            throw std::invalid_argument("\"" + words[i] + "\" is not a setting of a " + words[0] +
                                        " device");
    }
    device.label = PrometheusWriter::device_label(device.target);
    return device;
}

}  // namespace

std::chrono::milliseconds ConfigFile::seconds(std::string_view text, std::string_view what) {
    double value = 0;
    auto const [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !(value >= 0.05) ||
        value > 86400)
        throw std::invalid_argument(std::string(what) +
                                    " needs a number of seconds from 0.05 to 86400, not \"" +
                                    std::string(text) + "\"");
    return std::chrono::milliseconds(std::llround(value * 1000));
}

std::vector<ConfiguredDevice> ConfigFile::parse(std::string_view text, std::string const& path,
                                                std::chrono::milliseconds defaultInterval) {
    std::vector<ConfiguredDevice> devices;
    std::set<std::string> labels;
    int number = 0;
    while (!text.empty()) {
        ++number;
        std::size_t const end = text.find('\n');
        std::string_view const line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        std::string const where = path + ":" + std::to_string(number) + ": ";
        try {
            if (line.size() > max_line)
                throw std::invalid_argument("the line is longer than " + std::to_string(max_line) +
                                            " characters");
            auto const words = words_of(line);
            if (words.empty()) continue;
            ConfiguredDevice device = device_of(words, defaultInterval);
            if (!labels.insert(device.label).second)
                throw std::invalid_argument("a device named \"" + device.label +
                                            "\" is listed already; give each device its own "
                                            "name=");
            devices.push_back(std::move(device));
        } catch (std::invalid_argument const& error) {
            throw std::runtime_error(where + error.what());
        }
    }
    return devices;
}

std::vector<ConfiguredDevice> ConfigFile::read(std::string const& path,
                                               std::chrono::milliseconds defaultInterval) {
    auto const failed = [&](std::string const& why) {
        return std::runtime_error(path + ": the devices file cannot be read: " + why);
    };
    // Not blocking: opening a pipe would wait for a writer, and signals with it.
    int const fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd == -1) throw failed(std::strerror(errno));
    struct closing {
        int fd;
        ~closing() { ::close(fd); }
    } const closer{fd};
    struct stat status {};
    if (::fstat(fd, &status) != 0) throw failed(std::strerror(errno));
    if (!S_ISREG(status.st_mode)) throw failed("it is a folder, a device or a pipe, not a file");
    std::string text;
    char buffer[16384];
    while (true) {
        ssize_t const got = ::read(fd, buffer, sizeof buffer);
        if (got == 0) break;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw failed(std::strerror(errno));
        text.append(buffer, static_cast<std::size_t>(got));
        if (text.size() > max_file)
            throw failed("it is longer than " + std::to_string(max_file >> 20) + " MiB");
    }
    return parse(text, path, defaultInterval);
}

}  // namespace ambivox::cli
