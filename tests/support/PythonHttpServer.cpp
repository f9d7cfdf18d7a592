#include "tests/support/PythonHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace ambivox::testing {

std::string PythonHttpServer::find_python() {
    char const* env = std::getenv("PATH");
    std::string const path = env != nullptr ? env : "/usr/bin";
    for (std::size_t at = 0; at <= path.size();) {
        std::size_t const colon = std::min(path.find(':', at), path.size());
        std::string const candidate = path.substr(at, colon - at) + "/python3";
        if (colon > at && ::access(candidate.c_str(), X_OK) == 0) return candidate;
        at = colon + 1;
    }
    return {};
}

bool PythonHttpServer::answers(std::uint16_t port) {
    int const fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool const ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

PythonHttpServer::PythonHttpServer() {
    std::string folder = (std::filesystem::temp_directory_path() / "ambivox-http-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) throw std::runtime_error("no temporary folder");
    m_folder = folder;
}

PythonHttpServer::~PythonHttpServer() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

void PythonHttpServer::put(std::string const& name, std::string const& bytes) const {
    std::ofstream(m_folder / name, std::ios::binary) << bytes;
}

bool PythonHttpServer::start(std::string const& python, std::uint16_t port,
                             std::chrono::milliseconds limit) {
    std::string const portText = std::to_string(port);
    std::string const folderText = m_folder.string();
    char const* argv[] = {python.c_str(), "-m",        "http.server", portText.c_str(),
                          "--bind",       "127.0.0.1", "--directory", folderText.c_str(),
                          nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    int const spawned = ::posix_spawn(&m_pid, python.c_str(), &actions, nullptr,
                                      const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        m_pid = 0;
        return false;
    }
    auto const deadline = std::chrono::steady_clock::now() + limit;
    while (!answers(port) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return answers(port);
}

}  // namespace ambivox::testing
