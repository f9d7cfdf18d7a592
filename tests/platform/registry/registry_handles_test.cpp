#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "platform/registry/Registry.h"
#include "platform/registry/UniqueHkey.h"
#include "tests/support/TempRegistry.h"

using ambivox::unique_hkey;

namespace {

class RegistryHandles : public ::testing::Test {
protected:
    ambivox::testing::TempRegistry registry;
};

HKEY fake(std::uintptr_t value) {
    return reinterpret_cast<HKEY>(value);
}

// Every function that takes a key, given `key`; all must answer `expected`.
void expectEveryCallFails(HKEY key, LSTATUS expected) {
    HKEY result = fake(1);
    EXPECT_EQ(RegOpenKeyExW(key, u"X", 0, KEY_READ, &result), expected);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(RegCreateKeyExW(key, u"X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &result, nullptr),
              expected);
    DWORD value = 1;
    DWORD size = sizeof value;
    EXPECT_EQ(RegSetValueExW(key, u"v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), size),
              expected);
    EXPECT_EQ(RegQueryValueExW(key, u"v", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              expected);
    EXPECT_EQ(RegDeleteValueW(key, u"v"), expected);
    EXPECT_EQ(RegDeleteKeyW(key, u"X"), expected);
    EXPECT_EQ(RegDeleteTreeW(key, nullptr), expected);
    char16_t name[8];
    DWORD length = 8;
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), expected);
    EXPECT_EQ(RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), expected);
}

TEST_F(RegistryHandles, ClosedAndMadeUpHandlesAreRejectedWithoutCrashing) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Closing", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    expectEveryCallFails(key, ERROR_INVALID_HANDLE);

    int local = 0;
    for (HKEY garbage : {fake(0), fake(1), fake(0xDEADBEEF), fake(0x80000003), fake(0x80000005),
                         fake(~std::uintptr_t{0}), reinterpret_cast<HKEY>(&local)}) {
        EXPECT_EQ(RegCloseKey(garbage), ERROR_INVALID_HANDLE);
        expectEveryCallFails(garbage, ERROR_INVALID_HANDLE);
    }
}

TEST_F(RegistryHandles, PredefinedKeysCloseWithoutEffect) {
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        EXPECT_EQ(RegCloseKey(root), ERROR_SUCCESS);
        EXPECT_EQ(RegCloseKey(root), ERROR_SUCCESS);
        EXPECT_EQ(ambivox::reg_set_dword(root, u"", u"StillOpen", 1), ERROR_SUCCESS);
    }
}

TEST_F(RegistryHandles, UniqueHkeyClosesExactlyOnce) {
    HKEY raw = nullptr;
    {
        unique_hkey first;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, first.put()),
                  ERROR_SUCCESS);
        raw = first.get();
        unique_hkey second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(second.get(), raw);
        unique_hkey third;
        third = std::move(second);
        EXPECT_EQ(third.get(), raw);
        HKEY probe = nullptr;
        EXPECT_EQ(RegOpenKeyExW(raw, nullptr, 0, KEY_READ, &probe), ERROR_SUCCESS);
        RegCloseKey(probe);
    }
    EXPECT_EQ(RegCloseKey(raw), ERROR_INVALID_HANDLE) << "closed when its last owner went away";

    unique_hkey owner;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, nullptr, 0, KEY_READ, owner.put()), ERROR_SUCCESS);
    HKEY released = owner.release();
    EXPECT_FALSE(owner);
    EXPECT_EQ(RegCloseKey(released), ERROR_SUCCESS) << "release hands the handle over unclosed";

    unique_hkey predefined(HKEY_LOCAL_MACHINE);
    predefined.reset();
    EXPECT_EQ(ambivox::reg_set_dword(HKEY_LOCAL_MACHINE, u"", u"Alive", 1), ERROR_SUCCESS);
}

TEST_F(RegistryHandles, HandlesBelongToTheStoreTheyWereOpenedIn) {
    unique_hkey kept;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"FirstStore", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, kept.put(), nullptr),
              ERROR_SUCCESS);
    unique_hkey closedElsewhere;
    ASSERT_EQ(RegOpenKeyExW(kept.get(), nullptr, 0, KEY_READ, closedElsewhere.put()),
              ERROR_SUCCESS);
    {
        ambivox::testing::TempRegistry other;
        expectEveryCallFails(kept.get(), ERROR_KEY_DELETED);
        EXPECT_EQ(RegCloseKey(closedElsewhere.release()), ERROR_SUCCESS);
    }
    EXPECT_EQ(ambivox::reg_set_dword(kept.get(), u"", u"Back", 1), ERROR_SUCCESS)
        << "switching back revives the handle";
}

}  // namespace
