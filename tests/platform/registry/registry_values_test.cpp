#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/base/ThreadState.h"
#include "platform/registry/Registry.h"
#include "platform/registry/UniqueHkey.h"
#include "tests/support/TempRegistry.h"

using ambivox::unique_hkey;

namespace {

class RegistryValues : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Values", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
    }

    LSTATUS set(LPCWSTR name, DWORD type, void const* data, DWORD size) {
        return RegSetValueExW(key.get(), name, 0, type, static_cast<BYTE const*>(data), size);
    }

    LSTATUS setString(LPCWSTR name, std::u16string const& text) {
        return set(name, REG_SZ, text.c_str(),
                   static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
    }

    ambivox::testing::TempRegistry registry;
    unique_hkey key;
};

TEST_F(RegistryValues, QueryReportsSizesAndCopiesOnlyIntoLargeEnoughBuffers) {
    ASSERT_EQ(setString(u"Label", u"Hello"), ERROR_SUCCESS);

    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(key.get(), u"Label", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 12u) << "five characters and the terminator";

    char16_t small[5];
    std::memset(small, 0xAB, sizeof small);
    size = sizeof small;
    type = 0;
    EXPECT_EQ(RegQueryValueExW(key.get(), u"Label", nullptr, &type, reinterpret_cast<BYTE*>(small),
                               &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(type, REG_SZ) << "the type is known even when the data does not fit";
    EXPECT_EQ(small[0], char16_t{0xABAB}) << "a short buffer is left alone";

    char16_t exact[6];
    size = sizeof exact;
    ASSERT_EQ(RegQueryValueExW(key.get(), u"Label", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(exact), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(std::u16string_view(exact), u"Hello");

    EXPECT_EQ(RegQueryValueExW(key.get(), u"Label", nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS)
        << "asking only whether the value exists";
    EXPECT_EQ(RegQueryValueExW(key.get(), u"Label", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(exact), nullptr),
              ERROR_INVALID_PARAMETER);

    type = 77;
    size = 99;
    EXPECT_EQ(RegQueryValueExW(key.get(), u"Missing", nullptr, &type, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(type, 77u);
    EXPECT_EQ(size, 99u);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValues, DwordsMustBeFourBytesAndQwordsEight) {
    DWORD const port = 0x01020304;
    EXPECT_EQ(set(u"Port", REG_DWORD, &port, 3), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(set(u"Port", REG_DWORD, &port, 8), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(key.get(), u"Port", nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(set(u"Port", REG_DWORD, &port, 4), ERROR_SUCCESS);
    DWORD read = 0;
    EXPECT_EQ(ambivox::reg_get_dword(key.get(), u"", u"port", read), ERROR_SUCCESS);
    EXPECT_EQ(read, port);

    ULONGLONG const big = 0x0102030405060708ull;
    EXPECT_EQ(set(u"Big", REG_QWORD, &big, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(set(u"Big", REG_QWORD, &big, 8), ERROR_SUCCESS);
}

TEST_F(RegistryValues, OtherTypesKeepTheirExactBytes) {
    BYTE const blob[] = {0, 1, 0, 0xFF, 0};
    ASSERT_EQ(set(u"Blob", REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
    ASSERT_EQ(set(u"Odd", 0x1234, blob, 3), ERROR_SUCCESS);
    ASSERT_EQ(set(u"Empty", REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(set(u"Bad", REG_BINARY, nullptr, 5), ERROR_NOACCESS);

    BYTE out[8] = {};
    DWORD size = sizeof out;
    DWORD type = 0;
    ASSERT_EQ(RegQueryValueExW(key.get(), u"blob", nullptr, &type, out, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_BINARY);
    ASSERT_EQ(size, sizeof blob);
    EXPECT_EQ(std::memcmp(out, blob, sizeof blob), 0);

    size = sizeof out;
    ASSERT_EQ(RegQueryValueExW(key.get(), u"Odd", nullptr, &type, out, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, 0x1234u);
    EXPECT_EQ(size, 3u);

    size = sizeof out;
    ASSERT_EQ(RegQueryValueExW(key.get(), u"Empty", nullptr, &type, out, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);

    // Overwriting may change the type.
    ASSERT_EQ(setString(u"Blob", u"now text"), ERROR_SUCCESS);
    std::u16string text;
    EXPECT_EQ(ambivox::reg_get_string(key.get(), u"", u"Blob", text), ERROR_SUCCESS);
    EXPECT_EQ(text, u"now text");
}

TEST_F(RegistryValues, TheEmptyNameIsTheDefaultValue) {
    EXPECT_EQ(RegQueryValueExW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND)
        << "a new key has no default value";
    ASSERT_EQ(setString(nullptr, u"default"), ERROR_SUCCESS);
    std::u16string text;
    EXPECT_EQ(ambivox::reg_get_string(key.get(), u"", u"", text), ERROR_SUCCESS);
    EXPECT_EQ(text, u"default");
    ASSERT_EQ(setString(u"", u"replaced"), ERROR_SUCCESS);
    EXPECT_EQ(ambivox::reg_get_string(HKEY_CURRENT_USER, u"Values", u"", text), ERROR_SUCCESS);
    EXPECT_EQ(text, u"replaced");
    EXPECT_EQ(RegDeleteValueW(key.get(), nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key.get(), u""), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValues, ValueNamesIgnoreCaseAndKeepTheirFirstSpelling) {
    DWORD const one = 1;
    ASSERT_EQ(set(u"ComPort", REG_DWORD, &one, 4), ERROR_SUCCESS);
    ASSERT_EQ(setString(u"COMPORT", u"COM3"), ERROR_SUCCESS);
    ASSERT_EQ(setString(u"Über", u"x"), ERROR_SUCCESS);

    std::u16string text;
    EXPECT_EQ(ambivox::reg_get_string(key.get(), u"", u"comport", text), ERROR_SUCCESS);
    EXPECT_EQ(text, u"COM3");
    EXPECT_EQ(ambivox::reg_get_string(key.get(), u"", u"üBER", text), ERROR_SUCCESS);

    char16_t name[32];
    DWORD length = 32;
    ASSERT_EQ(RegEnumValueW(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string_view(name, length), u"ComPort");
    length = 32;
    EXPECT_EQ(RegEnumValueW(key.get(), 2, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS)
        << "two values, not three";

    EXPECT_EQ(RegDeleteValueW(key.get(), u"cOMpORT"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key.get(), u"ComPort"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValues, EnumValueListsInOrderAndHonoursBothBuffers) {
    DWORD const number = 42;
    ASSERT_EQ(set(u"beta", REG_DWORD, &number, 4), ERROR_SUCCESS);
    ASSERT_EQ(setString(u"Alpha", u"first"), ERROR_SUCCESS);
    ASSERT_EQ(setString(nullptr, u"default"), ERROR_SUCCESS);

    std::vector<std::u16string> names;
    for (DWORD index = 0;; ++index) {
        char16_t name[16];
        DWORD length = 16;
        LSTATUS rc =
            RegEnumValueW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(rc, ERROR_SUCCESS);
        names.emplace_back(name, length);
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"", u"Alpha", u"beta"}));

    char16_t name[8] = {u'#'};
    DWORD length = 5;  // "Alpha" needs 6 with its terminator
    EXPECT_EQ(RegEnumValueW(key.get(), 1, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    EXPECT_EQ(length, 6u);
    EXPECT_EQ(name[0], u'#');

    // The name fits, the data does not: the name is copied and the data size reported.
    BYTE data[4];
    DWORD size = sizeof data;
    DWORD type = 0;
    length = 8;
    EXPECT_EQ(RegEnumValueW(key.get(), 1, name, &length, nullptr, &type, data, &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(std::u16string_view(name, length), u"Alpha");
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 12u);

    size = sizeof data;
    length = 8;
    ASSERT_EQ(RegEnumValueW(key.get(), 2, name, &length, nullptr, &type, data, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(size, 4u);
    DWORD read = 0;
    std::memcpy(&read, data, sizeof read);
    EXPECT_EQ(read, 42u);

    size = 0;
    length = 8;
    EXPECT_EQ(RegEnumValueW(key.get(), 1, name, &length, nullptr, nullptr, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 12u) << "a null data buffer asks for the size";
    EXPECT_EQ(RegEnumValueW(key.get(), 0, nullptr, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryValues, NamesAreArbitraryCodeUnits) {
    // A lone surrogate and a backslash are ordinary characters of a value name.
    std::u16string const odd{u'a', char16_t{0xD800}, u'\\', u'b'};
    ASSERT_EQ(setString(odd.c_str(), u"x"), ERROR_SUCCESS);
    char16_t name[8];
    DWORD length = 8;
    ASSERT_EQ(RegEnumValueW(key.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, length), odd);

    std::u16string const longest(16383, u'v');
    EXPECT_EQ(setString(longest.c_str(), u"x"), ERROR_SUCCESS);
    std::u16string const tooLong(16384, u'v');
    EXPECT_EQ(setString(tooLong.c_str(), u"x"), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryValues, HelpersCreateKeysCheckTypesAndLeaveOutputsAloneOnFailure) {
    ASSERT_EQ(ambivox::reg_set_string(HKEY_LOCAL_MACHINE, u"Made\\By\\Helper", u"Name", u"Probe"),
              ERROR_SUCCESS);
    ASSERT_EQ(ambivox::reg_set_dword(HKEY_LOCAL_MACHINE, u"Made\\By\\Helper", u"Count", 3),
              ERROR_SUCCESS);

    std::u16string text = u"untouched";
    DWORD number = 99;
    EXPECT_EQ(ambivox::reg_get_string(HKEY_LOCAL_MACHINE, u"made\\by\\helper", u"name", text),
              ERROR_SUCCESS);
    EXPECT_EQ(text, u"Probe");
    EXPECT_EQ(ambivox::reg_get_dword(HKEY_LOCAL_MACHINE, u"Made\\By\\Helper", u"Count", number),
              ERROR_SUCCESS);
    EXPECT_EQ(number, 3u);

    text = u"untouched";
    number = 99;
    EXPECT_EQ(ambivox::reg_get_string(HKEY_LOCAL_MACHINE, u"Made\\By\\Helper", u"Count", text),
              ERROR_INVALID_DATA);
    EXPECT_EQ(ambivox::reg_get_dword(HKEY_LOCAL_MACHINE, u"Made\\By\\Helper", u"Name", number),
              ERROR_INVALID_DATA);
    EXPECT_EQ(ambivox::reg_get_string(HKEY_LOCAL_MACHINE, u"Made\\Missing", u"Name", text),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(text, u"untouched");
    EXPECT_EQ(number, 99u);

    EXPECT_EQ(
        ambivox::reg_set_string(HKEY_LOCAL_MACHINE, std::u16string_view(u"A\0B", 3), u"n", u"v"),
        ERROR_INVALID_PARAMETER)
        << "an embedded null would silently shorten the path";
    EXPECT_EQ(ambivox::reg_set_dword(HKEY_LOCAL_MACHINE, u"", std::u16string_view(u"n\0m", 3), 1),
              ERROR_INVALID_PARAMETER);

    // A string stored without its terminator still reads back whole.
    std::u16string const bare = u"abc";
    ASSERT_EQ(set(u"Bare", REG_SZ, bare.data(), 6), ERROR_SUCCESS);
    EXPECT_EQ(ambivox::reg_get_string(key.get(), u"", u"Bare", text), ERROR_SUCCESS);
    EXPECT_EQ(text, u"abc");

    std::vector<std::u16string> names{u"stale"};
    EXPECT_EQ(ambivox::reg_subkey_names(HKEY_LOCAL_MACHINE, u"Made", names), ERROR_SUCCESS);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"By"}));
}

}  // namespace
