// `ambivox register|unregister`, `registry dump` and `ports`: the listing shows what the store
// holds (checked against the tests' own reading of the same store), and the serial port map
// written by the program is the one the runtime reads.
#include <algorithm>
#include <cctype>
#include <string>

#include "platform/registry/Registry.h"
#include "tests/support/RegistryDump.h"
#include "tests/tools/AmbivoxProgram.h"

namespace {

using ambivox::testing::ambivox;
using ambivox::testing::registry_dump;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string reg_quoted(std::string const& text) {
    std::string out = "\"";
    for (char const c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

class RegistryCommands : public ambivox::testing::AmbivoxTest {};

TEST_F(RegistryCommands, DumpShowsEveryKeyAndValueOfTheStore) {
    auto const run = ambivox({"registry", "dump"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(run.out.starts_with("; ambivox registry store: " + registry.path() + "\n"));
    auto const listing = lines(run.out);
    auto const has = [&](std::string const& line) {
        return std::find(listing.begin(), listing.end(), line) != listing.end();
    };
    EXPECT_TRUE(has("[HKEY_CLASSES_ROOT]"));
    EXPECT_TRUE(has("[HKEY_CURRENT_USER]"));
    int checked = 0;
    for (std::string const& entry : registry_dump(HKEY_CLASSES_ROOT)) {
        std::size_t const bar = entry.find(" | ");
        if (bar == std::string::npos) {
            EXPECT_TRUE(has("[HKEY_CLASSES_ROOT\\" + entry + "]")) << entry;
        } else {
            std::string const rest = entry.substr(bar + 3);
            std::size_t const eq = rest.find(" = ");
            std::string const name = rest.substr(0, eq);
            std::string const value = rest.substr(eq + 3);
            std::string const nameText = name == "@" ? "@" : reg_quoted(name);
            // The dump shows text values only; the others it leaves empty or marks dword:.
            if (!value.empty() && !value.starts_with("dword:")) {
                EXPECT_TRUE(has(nameText + "=" + reg_quoted(value))) << entry;
            }
        }
        ++checked;
    }
    EXPECT_GT(checked, 20) << "registration wrote the classes";

    auto const one = ambivox({"registry", "dump", "hkcr\\AmbivoxSDK.AmbivoxModelN\\"});
    ASSERT_EQ(one.code, 0) << one.err;
    EXPECT_NE(one.out.find("[HKEY_CLASSES_ROOT\\AmbivoxSDK.AmbivoxModelN\\CLSID]\n"),
              std::string::npos)
        << one.out;
    EXPECT_NE(lower(one.out).find("@=\"{74f1af22-914c-4a81-bd8c-29e48783406e}\"\n"),
              std::string::npos)
        << one.out;
    EXPECT_EQ(one.out.find("DataPoint"), std::string::npos) << "only the key asked for";

    auto const missing = ambivox({"registry", "dump", "HKEY_CLASSES_ROOT\\No.Such.Key"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("there is no key HKEY_CLASSES_ROOT\\No.Such.Key"),
              std::string::npos);
    EXPECT_EQ(ambivox({"registry", "dump", "HKEY_NOWHERE\\X"}).code, 2);
}

TEST_F(RegistryCommands, UnregisteredModuleCreatesNoDevices) {
    auto const gone = ambivox({"unregister"});
    ASSERT_EQ(gone.code, 0) << gone.err;
    EXPECT_NE(gone.out.find("Unregistered "), std::string::npos);
    EXPECT_NE(gone.out.find("AmbivoxSDK.so from the registry store " + registry.path()),
              std::string::npos)
        << gone.out;
    EXPECT_EQ(ambivox({"registry", "dump", "HKCR\\AmbivoxSDK.AmbivoxModelN"}).code, 1);
    EXPECT_EQ(ambivox({"poll", "modeln", "127.0.0.1:9"}).code, 3);

    auto const notAModule = ambivox({"register", registry.path()});
    EXPECT_EQ(notAModule.code, 3);
    EXPECT_NE(notAModule.err.find("cannot load the module " + registry.path()), std::string::npos)
        << notAModule.err;

    auto const back = ambivox({"register", AMBIVOX_SDK_MODULE_PATH});
    EXPECT_EQ(back.code, 0) << back.err;
    EXPECT_EQ(ambivox({"registry", "dump", "HKCR\\AmbivoxSDK.AmbivoxModelN"}).code, 0);
}

TEST_F(RegistryCommands, PortsAreMappedWhereTheRuntimeLooks) {
    auto const serialMap = [] {
        return registry_dump(HKEY_LOCAL_MACHINE, u"HARDWARE\\DEVICEMAP\\SERIALCOMM");
    };
    auto const none = ambivox({"ports"});
    EXPECT_EQ(none.code, 0);
    EXPECT_NE(none.out.find("No serial port is mapped"), std::string::npos) << none.out;

    ASSERT_EQ(ambivox({"ports", "map", "COM5", "/dev/null"}).code, 0);
    ASSERT_EQ(ambivox({"ports", "map", "6", "/dev/null-not-there"}).code, 0);
    EXPECT_EQ(serialMap(), (std::set<std::string>{
                               "HARDWARE\\DEVICEMAP\\SERIALCOMM",
                               "HARDWARE\\DEVICEMAP\\SERIALCOMM | /dev/null = COM5",
                               "HARDWARE\\DEVICEMAP\\SERIALCOMM | /dev/null-not-there = COM6"}));
    auto const listed = ambivox({"ports"});
    EXPECT_EQ(listed.out, "COM5    /dev/null\nCOM6    /dev/null-not-there  (missing)\n");

    // A port stands for one device: mapping it again replaces what it stood for.
    auto const again = ambivox({"ports", "map", "com5", "/dev/zero"});
    EXPECT_EQ(again.code, 0);
    EXPECT_EQ(again.out, "COM5 now stands for /dev/zero.\n");
    EXPECT_EQ(serialMap(),
              (std::set<std::string>{"HARDWARE\\DEVICEMAP\\SERIALCOMM",
                                     "HARDWARE\\DEVICEMAP\\SERIALCOMM | /dev/null-not-there = COM6",
                                     "HARDWARE\\DEVICEMAP\\SERIALCOMM | /dev/zero = COM5"}));

    EXPECT_EQ(ambivox({"ports", "unmap", "COM5"}).code, 0);
    EXPECT_EQ(serialMap(), (std::set<std::string>{
                               "HARDWARE\\DEVICEMAP\\SERIALCOMM",
                               "HARDWARE\\DEVICEMAP\\SERIALCOMM | /dev/null-not-there = COM6"}));
    auto const twice = ambivox({"ports", "unmap", "COM5"});
    EXPECT_EQ(twice.code, 1);
    EXPECT_NE(twice.err.find("COM5 is not mapped"), std::string::npos);
}

}  // namespace
