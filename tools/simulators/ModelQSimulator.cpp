#include "tools/simulators/ModelQSimulator.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

#include "platform/base/CodePage.h"
#include "platform/registry/Registry.h"

namespace ambivox::simulation {

namespace {

constexpr char16_t kSerialMap[] = u"HARDWARE\\DEVICEMAP\\SERIALCOMM";
// A flood stops after this much, or when the port has read nothing for a second.
constexpr std::size_t kFloodBytes = 1 << 20;
constexpr int kStallMs = 1000;

[[noreturn]] void fail(char const* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

void close_fd(int& fd) noexcept {
    if (fd != -1) ::close(fd);
    fd = -1;
}

}  // namespace

ModelQSimulator::ModelQSimulator(options settings) : settings_(std::move(settings)) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ == -1) fail("posix_openpt");
    char name[64] = {};
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        int const error = errno;
        close_fd(master_);
        errno = error;
        fail("ptsname");
    }
    path_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave_ == -1 || ::pipe2(wake_, O_CLOEXEC) != 0) {
        int const error = errno;
        close_fd(slave_);
        close_fd(master_);
        errno = error;
        fail("open");
    }
    // Raw from the start, so bytes sent before the port configures the line arrive unchanged.
    termios raw{};
    ::tcgetattr(slave_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave_, TCSANOW, &raw);
    thread_ = std::thread([this] { run(); });
}

ModelQSimulator::~ModelQSimulator() {
    stopping_ = true;
    char const wake = 1;
    [[maybe_unused]] auto const ignored = ::write(wake_[1], &wake, 1);
    thread_.join();
    if (!mappedName_.empty() && ambivox::registry_path() == mappedStore_) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialMap, 0, KEY_SET_VALUE, &key) ==
            ERROR_SUCCESS) {
            RegDeleteValueW(key, mappedName_.c_str());
            RegCloseKey(key);
        }
    }
    close_fd(master_);
    close_fd(slave_);
    close_fd(wake_[0]);
    close_fd(wake_[1]);
}

void ModelQSimulator::map_to(int port) {
    mappedName_ = ambivox::widen(path_, CP_UTF8);
    mappedStore_ = ambivox::registry_path();
    std::u16string const data = u"COM" + ambivox::widen(std::to_string(port), CP_UTF8);
    if (ambivox::reg_set_string(HKEY_LOCAL_MACHINE, kSerialMap, mappedName_, data) !=
        ERROR_SUCCESS) {
        throw std::runtime_error("cannot map the simulated port");
    }
}

void ModelQSimulator::send(std::string_view bytes) {
    write_all(bytes);
}

std::string ModelQSimulator::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

bool ModelQSimulator::wait_for_queries(int count, std::chrono::milliseconds limit) const {
    auto const deadline = std::chrono::steady_clock::now() + limit;
    while (queries_.load() < count) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool ModelQSimulator::pause(std::chrono::milliseconds delay) const {
    pollfd wake{wake_[0], POLLIN, 0};
    return ::poll(&wake, 1, static_cast<int>(delay.count())) == 0 && !stopping_;
}

bool ModelQSimulator::write_all(std::string_view bytes) {
    std::lock_guard lock(mutex_);
    while (!bytes.empty()) {
        if (master_ == -1 || stopping_) return false;
        ssize_t const put = ::write(master_, bytes.data(), bytes.size());
        if (put > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(put));
            continue;
        }
        if (put == -1 && errno != EAGAIN && errno != EINTR) return false;
        pollfd fds[2] = {{master_, POLLOUT, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(fds, 2, kStallMs) <= 0 || fds[1].revents != 0) return false;
    }
    return true;
}

void ModelQSimulator::hang_up() {
    std::lock_guard lock(mutex_);
    close_fd(master_);
    close_fd(slave_);
}

void ModelQSimulator::answer() {
    auto const& s = settings_;
    std::string const crlf = "\r\n";
    std::string const lines = s.probe1 + crlf + s.probe2 + crlf + s.battery + crlf;
    switch (queries_.load() < s.faulty_queries ? s.behaviour : mode::answering) {
        case mode::answering:
            write_all(lines);
            break;
        case mode::silent:
            break;
        case mode::slow:
            for (char const c : lines) {
                if (!write_all(std::string_view(&c, 1)) || !pause(s.byte_delay)) return;
            }
            break;
        case mode::lf_only:
            write_all(s.probe1 + "\n" + s.probe2 + "\n" + s.battery + "\n");
            break;
        case mode::noisy:
            write_all(s.noise + lines);
            break;
        case mode::disconnecting:
            if (write_all(s.probe1 + crlf) && pause(s.cut_after) &&
                write_all(s.probe2.substr(0, s.probe2.size() / 2))) {
                hang_up();
            }
            break;
        case mode::flooding: {
            std::string const chunk(4096, 'x');
            for (std::size_t sent = 0; sent < kFloodBytes; sent += chunk.size()) {
                if (!write_all(chunk)) break;
            }
            break;
        }
        case mode::late:
            if (pause(s.delay)) write_all(lines);
            break;
        case mode::pausing: {
            std::size_t const half = s.probe1.size() / 2;
            if (write_all(lines.substr(0, half)) && pause(s.delay)) write_all(lines.substr(half));
            break;
        }
    }
}

void ModelQSimulator::run() {
    char buffer[256];
    while (!stopping_) {
        int fd = -1;
        {
            std::lock_guard lock(mutex_);
            fd = master_;
        }
        if (fd == -1) return;  // hung up
        pollfd fds[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) == -1 && errno != EINTR) return;
        if (fds[1].revents != 0) return;
        if ((fds[0].revents & POLLIN) == 0) {
            // Nobody on the slave side (cannot happen while the simulator holds it): do not spin.
            if (!pause(std::chrono::milliseconds(10))) return;
            continue;
        }
        ssize_t const got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) continue;
        int asked = 0;
        {
            std::lock_guard lock(mutex_);
            received_.append(buffer, static_cast<std::size_t>(got));
        }
        for (ssize_t i = 0; i < got; ++i) {
            if (buffer[i] == '*') ++asked;
        }
        for (; asked > 0 && !stopping_; --asked) {
            answer();
            ++queries_;
        }
    }
}

}  // namespace ambivox::simulation
