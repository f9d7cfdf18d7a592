// Registration of the module into a private registry: exactly the entries of the class table,
// idempotent, with the thread locale switched for the run and restored on every way out.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "ambivox/AmbivoxIds.h"
#include "platform/base/CodePage.h"
#include "platform/base/ThreadState.h"
#include "platform/registry/Registry.h"
#include "tests/support/RegistryDump.h"
#include "tests/support/SdkModule.h"
#include "tests/support/TempRegistry.h"

namespace {

using ambivox::testing::registry_dump;
using ambivox::testing::SdkModule;
using ambivox::testing::TempRegistry;
using lines = std::set<std::string>;

struct registered_class {
    char const* coclass;
    CLSID clsid;
};

// The classes the module serves, as the class table lists them.
std::vector<registered_class> const table = {
    {"DataConnector", CLSID_DataConnector},
    {"DataPoint", CLSID_DataPoint},
    {"Probe", CLSID_Probe},
    {"ProbeCollection", CLSID_ProbeCollection},
    {"AmbivoxModelN", CLSID_AmbivoxModelN},
    {"AmbivoxModelQ", CLSID_AmbivoxModelQ},
};

std::string const appid = "{7DB8AF38-7AC9-4BCB-8A13-CEEEA98590D3}";
std::string const libid = "{A8A3E7BB-7079-4CE6-A2A4-D9E705FAB0D6}";

// Every key and value the registration scripts write, written out by hand.
lines expected_scripts(std::string const& module) {
    lines expected = {
        "AppID",
        "AppID\\" + appid,
        "AppID\\" + appid + " | @ = AmbivoxSDK",
        "AppID\\AmbivoxSDK.DLL",
        "AppID\\AmbivoxSDK.DLL | AppID = " + appid,
        "CLSID",
    };
    for (auto const& c : table) {
        std::string const name = c.coclass;
        std::string const clsid = ambivox::to_string(c.clsid);
        std::string const description = name + " Class";
        std::string const progId = "AmbivoxSDK." + name;
        std::string const key = "CLSID\\" + clsid;
        for (std::string line : {
                 progId + ".1",
                 progId + ".1 | @ = " + description,
                 progId + ".1\\CLSID",
                 progId + ".1\\CLSID | @ = " + clsid,
                 progId,
                 progId + " | @ = " + description,
                 progId + "\\CLSID",
                 progId + "\\CLSID | @ = " + clsid,
                 progId + "\\CurVer",
                 progId + "\\CurVer | @ = " + progId + ".1",
                 key,
                 key + " | @ = " + description,
                 key + " | AppID = " + appid,
                 key + "\\ProgID",
                 key + "\\ProgID | @ = " + progId + ".1",
                 key + "\\VersionIndependentProgID",
                 key + "\\VersionIndependentProgID | @ = " + progId,
                 key + "\\Programmable",
                 key + "\\InprocServer32",
                 key + "\\InprocServer32 | @ = " + module,
                 key + "\\InprocServer32 | ThreadingModel = Apartment",
                 key + "\\TypeLib",
                 key + "\\TypeLib | @ = " + libid,
             })
            expected.insert(line);
    }
    return expected;
}

// The dump without the type library's own entries.
lines script_entries() {
    lines all = registry_dump(HKEY_CLASSES_ROOT);
    lines result;
    for (auto const& line : all)
        if (line.rfind("TypeLib", 0) != 0 && line.rfind("Interface", 0) != 0) result.insert(line);
    return result;
}

class Registration : public ::testing::Test {
protected:
    TempRegistry registry;
    SdkModule module;
};

TEST_F(Registration, WritesExactlyTheTableEntries) {
    ASSERT_EQ(module.register_server(), S_OK);
    EXPECT_EQ(script_entries(), expected_scripts(module.path()));

    lines const all = registry_dump(HKEY_CLASSES_ROOT);
    std::string const lib = "TypeLib\\" + libid + "\\1.0";
    std::string const folder = module.path().substr(0, module.path().rfind('/') + 1);
    for (std::string line :
         {lib + " | @ = AmbivoxSDK 1.0 Type Library", lib + "\\0\\win32 | @ = " + module.path(),
          lib + "\\FLAGS | @ = 0", lib + "\\HELPDIR | @ = " + folder})
        EXPECT_EQ(all.count(line), 1u) << line;
    for (char const* itf : {"{88CB324D-43F1-4031-8E95-4B864347A316} | @ = IDataPoint",
                            "{AAF6099D-AC3B-4CF1-9342-16C3C5B3EA38} | @ = _IDataPointEvents",
                            "{D36E4563-36D9-46BE-9B09-A8210094F010} | @ = IAmbivoxModelQ"})
        EXPECT_EQ(all.count(std::string("Interface\\") + itf), 1u) << itf;
}

TEST_F(Registration, TwiceLeavesOneSetAndDropsStaleSubkeys) {
    ASSERT_EQ(module.register_server(), S_OK);
    std::u16string const clsid = u"CLSID\\" + ambivox::to_u16string(CLSID_Probe);
    ASSERT_EQ(ambivox::reg_set_string(HKEY_CLASSES_ROOT, clsid + u"\\Stale", {}, u"left over"),
              ERROR_SUCCESS);
    ASSERT_EQ(ambivox::reg_set_string(HKEY_CLASSES_ROOT, clsid + u"\\Programmable\\Inner", {},
                                      u"left over"),
              ERROR_SUCCESS);
    lines const first = registry_dump(HKEY_CLASSES_ROOT);

    ASSERT_EQ(module.register_server(), S_OK);
    EXPECT_EQ(script_entries(), expected_scripts(module.path()));
    lines const second = registry_dump(HKEY_CLASSES_ROOT);
    EXPECT_EQ(second.count(ambivox::narrow(clsid, CP_UTF8) + "\\Stale"), 0u);
    EXPECT_LT(second.size(), first.size());
}

TEST_F(Registration, UnregistrationLeavesOnlyTheSharedRoots) {
    ASSERT_EQ(
        ambivox::reg_set_string(HKEY_CLASSES_ROOT, u"CLSID\\{00000000-0000-0000-0000-000000000001}",
                                {}, u"someone else"),
        ERROR_SUCCESS);
    ASSERT_EQ(module.register_server(), S_OK);
    ASSERT_EQ(module.unregister_server(), S_OK);
    EXPECT_EQ(registry_dump(HKEY_CLASSES_ROOT),
              (lines{"AppID", "CLSID", "CLSID\\{00000000-0000-0000-0000-000000000001}",
                     "CLSID\\{00000000-0000-0000-0000-000000000001} | @ = someone else",
                     "Interface", "TypeLib"}));
}

// Which locales SetThreadLocale was given, on this thread, while a test listened.
std::vector<LCID> g_locales;
void record_locale(LCID locale) noexcept {
    g_locales.push_back(locale);
}

class LocaleDuringRegistration : public Registration {
protected:
    void SetUp() override {
        SetThreadLocale(0x0407);
        g_locales.clear();
        ambivox::set_locale_listener(&record_locale);
    }
    void TearDown() override {
        ambivox::set_locale_listener(nullptr);
        SetThreadLocale(LOCALE_DEFAULT_ACTUAL);
    }
};

TEST_F(LocaleDuringRegistration, SystemDefaultForTheRunThenTheCallersOwn) {
    ASSERT_EQ(module.register_server(), S_OK);
    EXPECT_EQ(g_locales, (std::vector<LCID>{LOCALE_SYSTEM_DEFAULT, 0x0407}));
    EXPECT_EQ(GetThreadLocale(), 0x0407u);

    g_locales.clear();
    ASSERT_EQ(module.unregister_server(), S_OK);
    EXPECT_EQ(g_locales, (std::vector<LCID>{LOCALE_SYSTEM_DEFAULT, 0x0407}));
    EXPECT_EQ(GetThreadLocale(), 0x0407u);
}

TEST_F(LocaleDuringRegistration, RestoredWhenTheRunFails) {
    // Unregistering what was never registered fails at the type library.
    EXPECT_EQ(module.unregister_server(), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(g_locales, (std::vector<LCID>{LOCALE_SYSTEM_DEFAULT, 0x0407}));
    EXPECT_EQ(GetThreadLocale(), 0x0407u);
}

TEST(RegistrationPath, ModulePathOf260CharactersOrMoreIsRefused) {
    TempRegistry registry;
    namespace fs = std::filesystem;
    fs::path folder = fs::path(registry.folder());
    while (folder.string().size() < 280)
        folder /= std::string(40, 'd');
    fs::create_directories(folder);
    fs::path const copy = folder / "AmbivoxSDK.so";
    fs::copy_file(AMBIVOX_SDK_MODULE_PATH, copy);
    {
        SdkModule far(copy.string());
        SetThreadLocale(0x0407);
        EXPECT_EQ(far.register_server(), static_cast<HRESULT>(0x8007007A));
        EXPECT_EQ(GetThreadLocale(), 0x0407u);
        SetThreadLocale(LOCALE_DEFAULT_ACTUAL);
        EXPECT_EQ(registry_dump(HKEY_CLASSES_ROOT), lines{}) << "nothing is written";
    }
    fs::remove_all(registry.folder() + "/" + std::string(40, 'd'));
}

}  // namespace
