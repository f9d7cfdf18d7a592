#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/Registry.h"
#include "platform/registry/UniqueHkey.h"
#include "tests/support/RegistryDump.h"
#include "tests/support/SdkModule.h"
#include "tests/support/TempRegistry.h"

using ambivox::unique_hkey;

namespace {

class RegistryConcurrency : public ::testing::Test {
protected:
    ambivox::testing::TempRegistry registry;
};

std::u16string number(int value) {
    std::string const digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

// One key with two values, as three separate calls.
bool writeEntry(std::u16string const& path, int index) {
    unique_hkey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    std::u16string const payload(2000, static_cast<char16_t>(u'a' + index % 26));
    return ambivox::reg_set_dword(key.get(), u"", u"Index", static_cast<DWORD>(index)) ==
               ERROR_SUCCESS &&
           ambivox::reg_set_string(key.get(), u"", u"Payload", payload) == ERROR_SUCCESS;
}

bool entryIsWhole(std::u16string const& path, int index) {
    DWORD stored = 0;
    std::u16string payload;
    return ambivox::reg_get_dword(HKEY_CURRENT_USER, path, u"Index", stored) == ERROR_SUCCESS &&
           stored == static_cast<DWORD>(index) &&
           ambivox::reg_get_string(HKEY_CURRENT_USER, path, u"Payload", payload) == ERROR_SUCCESS &&
           payload == std::u16string(2000, static_cast<char16_t>(u'a' + index % 26));
}

bool readAll(int fd, void* buffer, std::size_t size) {
    auto* at = static_cast<char*>(buffer);
    while (size > 0) {
        ssize_t const got = ::read(fd, at, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        at += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

TEST_F(RegistryConcurrency, ThreadsWritingAtOnceAllLand) {
    constexpr int kThreads = 4;
    constexpr int kEntries = 40;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < kEntries; ++i) {
                if (!writeEntry(u"Threads\\T" + number(t) + u"\\E" + number(i), i)) ++failures[t];
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(failures[t], 0) << "thread " << t;
        for (int i = 0; i < kEntries; ++i) {
            EXPECT_TRUE(entryIsWhole(u"Threads\\T" + number(t) + u"\\E" + number(i), i));
        }
    }
}

TEST_F(RegistryConcurrency, TwoProcessesWritingAtOnceBothCommitFully) {
    constexpr int kEntries = 120;
    ASSERT_EQ(ambivox::reg_set_dword(HKEY_CURRENT_USER, u"Processes", u"Ready", 1), ERROR_SUCCESS)
        << "the store is open in the parent when it forks";
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        children[c] = ::fork();
        ASSERT_GE(children[c], 0);
        if (children[c] == 0) {
            ::close(start[1]);
            char go = 0;
            if (!readAll(start[0], &go, 1)) ::_exit(3);
            int failures = 0;
            for (int i = 0; i < kEntries; ++i) {
                if (!writeEntry(u"Processes\\P" + number(c) + u"\\E" + number(i), i)) ++failures;
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
    }
    ::close(start[0]);
    char const go[2] = {1, 1};
    ASSERT_EQ(::write(start[1], go, sizeof go), 2);
    ::close(start[1]);
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "every call in the child succeeded";
    }
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < kEntries; ++i) {
            EXPECT_TRUE(entryIsWhole(u"Processes\\P" + number(c) + u"\\E" + number(i), i))
                << "process " << c << " entry " << i;
        }
    }
}

// Registration tools run at once (their scripts force-remove keys the others are writing) all
// succeed, and the store ends up holding one whole registration.
TEST_F(RegistryConcurrency, ProcessesRegisteringAModuleAtOnceAllSucceed) {
    constexpr int kProcesses = 40;
    ambivox::testing::SdkModule module;
    int start[2];
    int results[2];
    ASSERT_EQ(::pipe(start), 0);
    ASSERT_EQ(::pipe(results), 0);
    std::vector<pid_t> children;
    for (int c = 0; c < kProcesses; ++c) {
        pid_t const child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(start[1]);
            char go = 0;
            if (!readAll(start[0], &go, 1)) ::_exit(1);
            HRESULT const hr = module.register_server();
            ::_exit(::write(results[1], &hr, sizeof hr) == sizeof hr ? 0 : 1);
        }
        children.push_back(child);
    }
    ::close(start[0]);
    ::close(results[1]);
    std::vector<char> const go(kProcesses, 1);
    ASSERT_EQ(::write(start[1], go.data(), go.size()), kProcesses);
    ::close(start[1]);
    for (int c = 0; c < kProcesses; ++c) {
        HRESULT hr = E_FAIL;
        ASSERT_TRUE(readAll(results[0], &hr, sizeof hr));
        EXPECT_EQ(hr, S_OK) << "registration " << c;
    }
    ::close(results[0]);
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto const together = ambivox::testing::registry_dump(HKEY_CLASSES_ROOT);
    ASSERT_EQ(module.register_server(), S_OK);
    EXPECT_EQ(ambivox::testing::registry_dump(HKEY_CLASSES_ROOT), together)
        << "a registration on its own adds nothing";
}

TEST_F(RegistryConcurrency, AWriterKilledMidRunLeavesEveryCommitItReported) {
    ASSERT_EQ(ambivox::reg_set_dword(HKEY_CURRENT_USER, u"Crash", u"Ready", 1), ERROR_SUCCESS);
    std::set<int> reported;
    int next = 0;
    // Several rounds, each killing the writer at a different point, on the same store.
    for (int const killAfter : {1, 17, 60}) {
        int progress[2];
        ASSERT_EQ(::pipe(progress), 0);
        pid_t const child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(progress[0]);
            for (int i = next;; ++i) {
                if (!writeEntry(u"Crash\\E" + number(i), i)) ::_exit(1);
                if (::write(progress[1], &i, sizeof i) != sizeof i) ::_exit(2);
            }
        }
        ::close(progress[1]);
        int received = 0;
        int index = 0;
        while (received < killAfter && readAll(progress[0], &index, sizeof index)) {
            reported.insert(index);
            ++received;
        }
        ASSERT_EQ(received, killAfter) << "the writer stopped on its own";
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status));
        while (readAll(progress[0], &index, sizeof index))
            reported.insert(index);
        ::close(progress[0]);
        next = *reported.rbegin() + 2;  // the next round writes fresh keys

        for (int i : reported)
            EXPECT_TRUE(entryIsWhole(u"Crash\\E" + number(i), i)) << i;
        std::vector<std::u16string> names;
        ASSERT_EQ(ambivox::reg_subkey_names(HKEY_CURRENT_USER, u"Crash", names), ERROR_SUCCESS);
        EXPECT_GE(names.size(), reported.size());
        ASSERT_EQ(ambivox::reg_set_dword(HKEY_CURRENT_USER, u"Crash", u"AfterKill", 1),
                  ERROR_SUCCESS)
            << "the store stays writable";
    }
}

}  // namespace
