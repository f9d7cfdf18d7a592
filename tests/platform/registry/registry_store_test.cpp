#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry/Registry.h"
#include "platform/registry/UniqueHkey.h"
#include "tests/support/TempRegistry.h"

using ambivox::unique_hkey;
using ambivox::testing::TempRegistry;

namespace {

// Sets or clears an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(char const* name, char const* value) : name_(name) {
        if (char const* current = std::getenv(name)) previous_ = current;
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (previous_) {
            ::setenv(name_, previous_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedEnv(ScopedEnv const&) = delete;
    ScopedEnv& operator=(ScopedEnv const&) = delete;

private:
    char const* name_;
    std::optional<std::string> previous_;
};

void writeFile(std::string const& path, std::string const& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(std::string const& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Makes the store release `registry`'s file (it closes a connection when the variable moves),
// so the test can edit the file as a whole.
void releaseStore() {
    TempRegistry elsewhere;
    ASSERT_EQ(ambivox::reg_set_dword(HKEY_CURRENT_USER, u"", u"Elsewhere", 1), ERROR_SUCCESS);
}

TEST(RegistryStorePath, FollowsTheEnvironment) {
    TempRegistry scratch;  // a home of its own for the fallback paths
    {
        ScopedEnv chosen("AMBIVOX_REGISTRY", "/somewhere/registry.db");
        EXPECT_EQ(ambivox::registry_path(), "/somewhere/registry.db");
    }
    ScopedEnv noChoice("AMBIVOX_REGISTRY", nullptr);
    std::string const data = scratch.folder() + "/data";
    std::string const home = scratch.folder() + "/home";
    {
        ScopedEnv xdg("XDG_DATA_HOME", data.c_str());
        EXPECT_EQ(ambivox::registry_path(), data + "/ambivox/registry.db");
    }
    ScopedEnv homeVar("HOME", home.c_str());
    {
        ScopedEnv relative("XDG_DATA_HOME", "relative/data");
        EXPECT_EQ(ambivox::registry_path(), home + "/.local/share/ambivox/registry.db")
            << "a relative data folder is ignored";
    }
    ScopedEnv noXdg("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(ambivox::registry_path(), home + "/.local/share/ambivox/registry.db");
    {
        ScopedEnv empty("AMBIVOX_REGISTRY", "");
        EXPECT_EQ(ambivox::registry_path(), home + "/.local/share/ambivox/registry.db");
    }

    // The default folder is made on first use.
    ASSERT_EQ(ambivox::reg_set_dword(HKEY_CURRENT_USER, u"", u"Made", 1), ERROR_SUCCESS);
    EXPECT_TRUE(std::filesystem::is_regular_file(home + "/.local/share/ambivox/registry.db"));
}

TEST(RegistryStoreFile, ChangingTheVariableSwitchesStores) {
    TempRegistry first;
    ASSERT_EQ(ambivox::reg_set_string(HKEY_CURRENT_USER, u"Which", u"", u"first"), ERROR_SUCCESS);
    std::u16string text;
    {
        TempRegistry second;
        EXPECT_EQ(ambivox::registry_path(), second.path());
        EXPECT_EQ(ambivox::reg_get_string(HKEY_CURRENT_USER, u"Which", u"", text),
                  ERROR_FILE_NOT_FOUND);
        ASSERT_EQ(ambivox::reg_set_string(HKEY_CURRENT_USER, u"Which", u"", u"second"),
                  ERROR_SUCCESS);
    }
    EXPECT_EQ(ambivox::registry_path(), first.path());
    ASSERT_EQ(ambivox::reg_get_string(HKEY_CURRENT_USER, u"Which", u"", text), ERROR_SUCCESS);
    EXPECT_EQ(text, u"first");
    EXPECT_TRUE(std::filesystem::is_regular_file(first.path()));
}

TEST(RegistryStoreFile, AFileThatIsNoStoreGivesAnErrorCode) {
    TempRegistry registry;
    std::string garbage;
    for (int i = 0; i < 8192; ++i)
        garbage.push_back(static_cast<char>((i * 7919) >> 3));
    writeFile(registry.path(), garbage);

    unique_hkey key;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Any", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              key.put(), nullptr),
              ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Any", 0, KEY_READ, key.put()),
              ERROR_REGISTRY_CORRUPT);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(HKEY_CLASSES_ROOT, nullptr, nullptr, nullptr, nullptr, &size),
              ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(readFile(registry.path()), garbage) << "a foreign file is never written";

    writeFile(registry.path(), "short text, not a database\n");
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Any", 0, KEY_READ, key.put()),
              ERROR_REGISTRY_CORRUPT);

    // Mended by the next call once the file is fixed.
    std::filesystem::remove(registry.path());
    EXPECT_EQ(ambivox::reg_set_dword(HKEY_CURRENT_USER, u"", u"Fresh", 1), ERROR_SUCCESS);
}

TEST(RegistryStoreFile, ADamagedOrForeignDatabaseGivesAnErrorCode) {
    TempRegistry registry;
    for (int i = 0; i < 200; ++i) {
        std::u16string name = u"Key" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                              std::u16string(static_cast<std::size_t>(i), u'x');
        ASSERT_EQ(ambivox::reg_set_string(HKEY_CURRENT_USER, name, u"Data", name), ERROR_SUCCESS);
    }
    releaseStore();
    std::string const healthy = readFile(registry.path());
    ASSERT_GT(healthy.size(), 8192u) << "several pages";

    // Another program's SQLite database: same format, different owner mark (header offset 68).
    std::string foreign = healthy;
    foreign[68] = 'Z';
    writeFile(registry.path(), foreign);
    unique_hkey key;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"KeyA", 0, KEY_READ, key.put()),
              ERROR_REGISTRY_CORRUPT);
    releaseStore();

    // Every page after the header page overwritten.
    std::string damaged = healthy;
    for (std::size_t i = 4096; i < damaged.size(); ++i)
        damaged[i] = static_cast<char>(i * 31);
    writeFile(registry.path(), damaged);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"KeyA", 0, KEY_READ, key.put()),
              ERROR_REGISTRY_CORRUPT);
    std::vector<std::u16string> names;
    EXPECT_NE(ambivox::reg_subkey_names(HKEY_CURRENT_USER, u"", names), ERROR_SUCCESS);
    EXPECT_NE(ambivox::reg_set_dword(HKEY_CURRENT_USER, u"New", u"v", 1), ERROR_SUCCESS);
}

TEST(RegistryStoreFile, AStoreThatCannotBeOpenedSaysWhy) {
    TempRegistry registry;
    writeFile(registry.folder() + "/plain", "a file, not a folder\n");
    struct Case {
        std::string store;
        LSTATUS expected;
    };
    Case const cases[] = {
        {registry.folder() + "/no/such/folder/registry.db", ERROR_PATH_NOT_FOUND},
        {registry.folder() + "/plain/registry.db", ERROR_PATH_NOT_FOUND},
        {registry.folder(), ERROR_ACCESS_DENIED},
    };
    for (Case const& c : cases) {
        ScopedEnv store("AMBIVOX_REGISTRY", c.store.c_str());
        DWORD value = 0;
        EXPECT_EQ(ambivox::reg_get_dword(HKEY_CURRENT_USER, u"", u"v", value), c.expected)
            << c.store;
        EXPECT_EQ(ambivox::reg_set_dword(HKEY_CURRENT_USER, u"", u"v", 1), c.expected) << c.store;
    }
    EXPECT_FALSE(std::filesystem::exists(registry.folder() + "/no"))
        << "only the default location gets its folder made";
}

bool readByte(int fd, char& byte) {
    for (;;) {
        ssize_t const got = ::read(fd, &byte, 1);
        if (got == 1) return true;
        if (got < 0 && errno == EINTR) continue;
        return false;
    }
}

bool hasValue(char16_t const* name, DWORD expected) {
    DWORD value = 0;
    return ambivox::reg_get_dword(HKEY_CURRENT_USER, u"Store", name, value) == ERROR_SUCCESS &&
           value == expected;
}

// The usual set-up: an administrator registers, users only read. Each step's writer runs as the
// store's owner, then its reader as a user who may not write the store or its folder: an
// unprivileged user when we are root (permissions do not bind root), else ourselves with the
// write permissions taken away.
TEST(RegistryStoreFile, AReadOnlyStoreIsReadButNeverWritten) {
    TempRegistry registry;
    bool const root = ::geteuid() == 0;
    auto writable = [&](bool yes) {
        ::chmod(registry.folder().c_str(), yes ? 0700 : 0555);
        ::chmod(registry.path().c_str(), yes ? 0644 : 0444);
    };
    // However the test ends, its owner must be able to remove the folder.
    struct GiveBack {
        std::function<void()> undo;
        ~GiveBack() { undo(); }
    } const giveBack{[&] { writable(true); }};
    // Writers as other processes: one that ends without closing the store leaves its journal
    // beside it; one that closes the store takes the journal away.
    auto writeAndExit = [](char16_t const* name, DWORD value) {
        pid_t const writer = ::fork();
        if (writer == 0)
            ::_exit(ambivox::reg_set_dword(HKEY_CURRENT_USER, u"Store", name, value) ==
                            ERROR_SUCCESS
                        ? 0
                        : 1);
        int status = 0;
        ASSERT_EQ(::waitpid(writer, &status, 0), writer);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    };
    auto writeAndClose = [](char16_t const* name, DWORD value) {
        ASSERT_EQ(ambivox::reg_set_dword(HKEY_CURRENT_USER, u"Store", name, value), ERROR_SUCCESS);
        releaseStore();
    };
    struct Step {
        char const* what;
        std::function<void()> write;  // may be empty
        std::function<bool()> read;
    };
    std::vector<Step> const steps = {
        {"reads a store its writer closed", [&] { writeAndClose(u"Existing", 1); },
         [] { return hasValue(u"Existing", 1); }},
        {"sees a writer's later commit left in its journal", [&] { writeAndExit(u"Later", 2); },
         [] { return hasValue(u"Later", 2); }},
        {"sees a writer's later commit once it closed the store",
         [&] { writeAndClose(u"Final", 3); }, [] { return hasValue(u"Final", 3); }},
        {"refuses a write with access denied", nullptr,
         [] {
             return ambivox::reg_set_dword(HKEY_CURRENT_USER, u"Store", u"New", 1) ==
                        ERROR_ACCESS_DENIED &&
                    !hasValue(u"New", 1);
         }},
    };

    writable(false);
    int go[2];
    int done[2];
    ASSERT_EQ(::pipe(go), 0);
    ASSERT_EQ(::pipe(done), 0);
    pid_t const reader = ::fork();
    ASSERT_GE(reader, 0);
    if (reader == 0) {
        ::close(go[1]);
        ::close(done[0]);
        char ready = 'y';
        if (root && (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                     ::setresuid(65534, 65534, 65534) != 0))
            ready = 'u';
        else if (::access(registry.folder().c_str(), X_OK) != 0)
            ready = 'f';
        if (::write(done[1], &ready, 1) != 1 || ready != 'y') ::_exit(0);
        for (Step const& step : steps) {
            char turn = 0;
            if (!readByte(go[0], turn)) ::_exit(1);
            char const found = step.read() ? 1 : 0;
            if (::write(done[1], &found, 1) != 1) ::_exit(1);
        }
        ::_exit(0);
    }
    ::close(go[0]);
    ::close(done[1]);
    char ready = 0;
    EXPECT_TRUE(readByte(done[0], ready));
    for (Step const& step : steps) {
        if (ready != 'y') break;
        if (step.write) {
            writable(true);
            step.write();
            writable(false);
        }
        char found = 0;
        ASSERT_EQ(::write(go[1], "g", 1), 1);
        ASSERT_TRUE(readByte(done[0], found)) << step.what;
        EXPECT_EQ(found, 1) << step.what;
    }
    ::close(go[1]);
    ::close(done[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(reader, &status, 0), reader);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    if (ready == 'u') GTEST_SKIP() << "cannot run the reader as an unprivileged user";
    if (ready == 'f') GTEST_SKIP() << "an unprivileged user cannot reach " << registry.folder();
}

}  // namespace
