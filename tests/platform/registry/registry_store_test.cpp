#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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

TEST(RegistryStoreFile, AnUnopenableFileIsAccessDenied) {
    TempRegistry registry;
    {
        ScopedEnv missingFolder("AMBIVOX_REGISTRY",
                                (registry.folder() + "/no/such/folder/registry.db").c_str());
        EXPECT_EQ(ambivox::reg_set_dword(HKEY_CURRENT_USER, u"", u"v", 1), ERROR_ACCESS_DENIED);
        EXPECT_FALSE(std::filesystem::exists(registry.folder() + "/no"))
            << "only the default location gets its folder made";
    }
    {
        ScopedEnv folder("AMBIVOX_REGISTRY", registry.folder().c_str());
        EXPECT_EQ(ambivox::reg_set_dword(HKEY_CURRENT_USER, u"", u"v", 1), ERROR_ACCESS_DENIED);
    }
}

TEST(RegistryStoreFile, AReadOnlyStoreRefusesWrites) {
    TempRegistry registry;
    ASSERT_EQ(ambivox::reg_set_dword(HKEY_CURRENT_USER, u"Existing", u"v", 1), ERROR_SUCCESS);
    releaseStore();
    ::chmod(registry.folder().c_str(), 0755);
    ::chmod(registry.path().c_str(), 0644);

    // Permissions do not bind root, so the check runs as an unprivileged user when we are root.
    pid_t const child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        if (::geteuid() != 0) ::chmod(registry.path().c_str(), 0444);
        LSTATUS const set = ambivox::reg_set_dword(HKEY_CURRENT_USER, u"New", u"v", 1);
        ::_exit(set == ERROR_ACCESS_DENIED ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ::chmod(registry.path().c_str(), 0644);
}

}  // namespace
