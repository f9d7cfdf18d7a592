// Runs the built ambivox program as a child process, as a user would, with the test's
// environment (so AMBIVOX_REGISTRY names the test's private store) and its standard output and
// error captured. Every wait is bounded: a child that outlives its limit is killed and the test
// fails.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/TempRegistry.h"

extern char** environ;

namespace ambivox::testing {

class AmbivoxProgram {
public:
    using clock = std::chrono::steady_clock;

    // Starts `ambivox ARGS...`; with `terminal`, its standard error is a pseudo-terminal.
    explicit AmbivoxProgram(std::vector<std::string> const& args, bool terminal = false)
        : AmbivoxProgram(AMBIVOX_PROGRAM_PATH, args, terminal) {}

    // Starts another program the same way (a peer such as a Prometheus server).
    AmbivoxProgram(std::string const& program, std::vector<std::string> const& args,
                   bool terminal = false) {
        int out[2];
        int err[2] = {-1, -1};
        if (::pipe2(out, O_CLOEXEC) != 0 ||
            (terminal ? !open_terminal(err) : ::pipe2(err, O_CLOEXEC) != 0)) {
            ADD_FAILURE() << "no pipes";
            return;
        }
        std::vector<std::string> words{program};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            ADD_FAILURE() << "cannot start " << argv[0];
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        m_out = out[0];
        m_err = err[0];
    }

    ~AmbivoxProgram() {
        if (m_pid > 0 && !m_reaped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out != -1) ::close(m_out);
        if (m_err != -1) ::close(m_err);
    }

    AmbivoxProgram(AmbivoxProgram const&) = delete;
    AmbivoxProgram& operator=(AmbivoxProgram const&) = delete;

    // Reads output until standard output holds `text` (counting from the start) `times` times;
    // false when the limit passes or the program closes its output first.
    bool wait_for_output(std::string_view text, std::chrono::milliseconds limit, int times = 1) {
        auto const deadline = clock::now() + limit;
        while (occurrences(m_stdout, text) < times) {
            if (clock::now() >= deadline || !read_some(deadline)) return false;
        }
        return true;
    }

    void signal(int number) {
        if (m_pid > 0) ::kill(m_pid, number);
    }

    // Reads everything and answers the exit code (128 + N after signal N). A program still
    // running after `limit` is killed and fails the test.
    int wait(std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        if (m_pid <= 0) return -1;
        auto const deadline = clock::now() + limit;
        while (read_some(deadline)) {
        }
        if (m_out != -1 || m_err != -1) {
            ADD_FAILURE() << "still running after its time; killed. Output so far:\n"
                          << m_stdout << "\n"
                          << m_stderr;
            ::kill(m_pid, SIGKILL);
        }
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_reaped = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::string const& out() const noexcept { return m_stdout; }
    std::string const& err() const noexcept { return m_stderr; }

    static int occurrences(std::string_view haystack, std::string_view needle) {
        int count = 0;
        for (std::size_t at = haystack.find(needle); at != std::string_view::npos;
             at = haystack.find(needle, at + needle.size()))
            ++count;
        return count;
    }

private:
    // err[0]: the master side, err[1]: the terminal itself.
    static bool open_terminal(int err[2]) {
        err[0] = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[64] = {};
        if (err[0] == -1 || ::grantpt(err[0]) != 0 || ::unlockpt(err[0]) != 0 ||
            ::ptsname_r(err[0], name, sizeof name) != 0)
            return false;
        err[1] = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        return err[1] != -1;
    }

    // Reads whatever arrives before the deadline; false once both streams have ended or the
    // deadline has passed.
    bool read_some(clock::time_point deadline) {
        if (m_out == -1 && m_err == -1) return false;
        auto const left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
        if (left.count() <= 0) return false;
        pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
        if (::poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), 100))) <= 0)
            return true;
        drain(m_out, fds[0].revents, m_stdout);
        drain(m_err, fds[1].revents, m_stderr);
        return true;
    }

    static void drain(int& fd, short revents, std::string& into) {
        if (fd == -1 || revents == 0) return;
        char buffer[4096];
        ssize_t const n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
        } else {
            ::close(fd);
            fd = -1;
        }
    }

    pid_t m_pid = -1;
    bool m_reaped = false;
    int m_out = -1;
    int m_err = -1;
    std::string m_stdout;
    std::string m_stderr;
};

struct Outcome {
    int code;
    std::string out;
    std::string err;
};

// Runs `ambivox ARGS...` to its end.
inline Outcome ambivox(std::vector<std::string> const& args,
                       std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    AmbivoxProgram program(args);
    int const code = program.wait(limit);
    return {code, program.out(), program.err()};
}

// What `promtool check metrics` says of an exposition, written to a file in `folder`; code 0
// when it accepts it.
inline Outcome promtool(std::string const& exposition, std::string const& folder) {
    std::string const path = folder + "/exposition.prom";
    if (FILE* file = std::fopen(path.c_str(), "w")) {
        std::fwrite(exposition.data(), 1, exposition.size(), file);
        std::fclose(file);
    }
    Outcome outcome{-1, {}, {}};
    if (FILE* pipe = ::popen(("promtool check metrics < '" + path + "' 2>&1").c_str(), "r")) {
        char buffer[512];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
            outcome.out.append(buffer, n);
        int const status = ::pclose(pipe);
        outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return outcome;
}

// A test with a registry store of its own into which `ambivox register` put the module.
class AmbivoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        Outcome const registered = ambivox({"register"});
        ASSERT_EQ(registered.code, 0) << registered.out << registered.err;
    }

    // The lines of a text, without their line ends.
    static std::vector<std::string> lines(std::string_view text) {
        std::vector<std::string> result;
        while (!text.empty()) {
            std::size_t const end = text.find('\n');
            result.emplace_back(text.substr(0, end));
            if (end == std::string_view::npos) break;
            text.remove_prefix(end + 1);
        }
        return result;
    }

    TempRegistry registry;
};

}  // namespace ambivox::testing
