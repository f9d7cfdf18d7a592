// PythonHttpServer: python3's http.server serving a private folder on a loopback port, as a
// second, independent HTTP peer for the tests. The folder and the server go away with it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

namespace ambivox::testing {

class PythonHttpServer {
public:
    // The python3 on PATH, or empty when there is none (tests then skip).
    static std::string find_python();
    // Whether something accepts connections on the loopback port.
    static bool answers(std::uint16_t port);

    // Creates the folder; the server starts with start().
    PythonHttpServer();
    ~PythonHttpServer();
    PythonHttpServer(PythonHttpServer const&) = delete;
    PythonHttpServer& operator=(PythonHttpServer const&) = delete;

    std::filesystem::path const& folder() const noexcept { return m_folder; }
    // Writes a file the server will serve.
    void put(std::string const& name, std::string const& bytes) const;
    // Starts serving the folder on 127.0.0.1:port and waits until it answers; false when it did
    // not start within `limit`.
    bool start(std::string const& python, std::uint16_t port,
               std::chrono::milliseconds limit = std::chrono::seconds(15));

private:
    std::filesystem::path m_folder;
    pid_t m_pid = 0;
};

}  // namespace ambivox::testing
