#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/registry/Registry.h"
#include "platform/registry/UniqueHkey.h"
#include "tests/support/TempRegistry.h"

using ambivox::unique_hkey;

namespace {

class RegistryKeys : public ::testing::Test {
protected:
    ambivox::testing::TempRegistry registry;
};

LSTATUS create(HKEY base, LPCWSTR path, unique_hkey& key, DWORD* disposition = nullptr,
               REGSAM access = KEY_ALL_ACCESS) {
    return RegCreateKeyExW(base, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                           key.put(), disposition);
}

LSTATUS open(HKEY base, LPCWSTR path, unique_hkey& key, REGSAM access = KEY_ALL_ACCESS) {
    return RegOpenKeyExW(base, path, 0, access, key.put());
}

std::vector<std::u16string> subkeys(HKEY key) {
    std::vector<std::u16string> names;
    EXPECT_EQ(ambivox::reg_subkey_names(key, u"", names), ERROR_SUCCESS);
    return names;
}

using Names = std::vector<std::u16string>;

TEST_F(RegistryKeys, CreateBuildsTheWholePathAndTellsWhetherTheKeyIsNew) {
    unique_hkey probes;
    DWORD disposition = 0;
    ASSERT_EQ(create(HKEY_CURRENT_USER, u"Software\\Ambivox\\Probes", probes, &disposition),
              ERROR_SUCCESS);
    EXPECT_NE(probes.get(), nullptr);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);

    unique_hkey again;
    ASSERT_EQ(create(HKEY_CURRENT_USER, u"Software\\Ambivox\\Probes", again, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_NE(again.get(), probes.get()) << "each open is a handle of its own";

    // Only the last key was missing: still reported as created.
    ASSERT_EQ(create(HKEY_CURRENT_USER, u"Software\\Ambivox\\Ports", again, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);

    unique_hkey ambivox;
    ASSERT_EQ(open(HKEY_CURRENT_USER, u"Software\\Ambivox", ambivox, KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(subkeys(ambivox.get()), (Names{u"Ports", u"Probes"}));

    // The roots are separate trees.
    unique_hkey elsewhere;
    EXPECT_EQ(open(HKEY_LOCAL_MACHINE, u"Software", elsewhere), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(open(HKEY_CLASSES_ROOT, u"Software", elsewhere), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(elsewhere.get(), nullptr);
}

TEST_F(RegistryKeys, NamesIgnoreCaseAndKeepTheSpellingTheyWereCreatedWith) {
    unique_hkey key;
    ASSERT_EQ(create(HKEY_LOCAL_MACHINE, u"Gerät\\ÀÉÎ\\Датчик\\Ŋame", key), ERROR_SUCCESS);

    DWORD disposition = 0;
    ASSERT_EQ(create(HKEY_LOCAL_MACHINE, u"GERÄT\\àéî\\ДАТЧИК\\ŋAME", key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(open(HKEY_LOCAL_MACHINE, u"gerÄt\\àÉî", key), ERROR_SUCCESS);
    EXPECT_EQ(subkeys(key.get()), (Names{u"Датчик"}));
    ASSERT_EQ(open(HKEY_LOCAL_MACHINE, nullptr, key), ERROR_SUCCESS);
    EXPECT_EQ(subkeys(key.get()), (Names{u"Gerät"}));

    // Letters without a simple case partner stay distinct keys.
    unique_hkey other;
    EXPECT_EQ(open(HKEY_LOCAL_MACHINE, u"GERAT", other), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryKeys, EnumerationIsInCaseInsensitiveOrder) {
    unique_hkey root;
    ASSERT_EQ(create(HKEY_CURRENT_USER, u"Order", root), ERROR_SUCCESS);
    for (LPCWSTR name : {u"gamma", u"Beta", u"ALPHA2", u"alpha", u"_x", u"Zeta", u"b"}) {
        unique_hkey child;
        ASSERT_EQ(create(root.get(), name, child), ERROR_SUCCESS);
    }
    EXPECT_EQ(subkeys(root.get()),
              (Names{u"alpha", u"ALPHA2", u"b", u"Beta", u"gamma", u"Zeta", u"_x"}));
}

TEST_F(RegistryKeys, OpenFailsForMissingKeysAndReopensWithAnEmptyPath) {
    unique_hkey key;
    EXPECT_EQ(open(HKEY_CURRENT_USER, u"Missing", key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.get(), nullptr);
    ASSERT_EQ(create(HKEY_CURRENT_USER, u"Present", key), ERROR_SUCCESS);
    unique_hkey deeper;
    EXPECT_EQ(open(HKEY_CURRENT_USER, u"Present\\Missing\\Deeper", deeper), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Present", 0, KEY_READ, nullptr),
              ERROR_INVALID_PARAMETER);

    // A null or empty path gives a second handle on the same key, closed independently.
    unique_hkey same1;
    unique_hkey same2;
    ASSERT_EQ(open(key.get(), nullptr, same1), ERROR_SUCCESS);
    ASSERT_EQ(open(key.get(), u"", same2), ERROR_SUCCESS);
    EXPECT_NE(same1.get(), key.get());
    EXPECT_NE(same2.get(), same1.get());
    ASSERT_EQ(ambivox::reg_set_dword(same1.get(), u"", u"Through", 7), ERROR_SUCCESS);
    key.reset();
    DWORD read = 0;
    EXPECT_EQ(ambivox::reg_get_dword(same2.get(), u"", u"through", read), ERROR_SUCCESS);
    EXPECT_EQ(read, 7u);
    EXPECT_EQ(RegCloseKey(same1.release()), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(same2.release()), ERROR_SUCCESS);
}

TEST_F(RegistryKeys, MalformedPathsAndOptionsAreRejected) {
    unique_hkey key;
    EXPECT_EQ(create(HKEY_CURRENT_USER, u"\\Leading", key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(create(HKEY_CURRENT_USER, u"Double\\\\Slash", key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(open(HKEY_CURRENT_USER, u"Double", key), ERROR_FILE_NOT_FOUND)
        << "a rejected path creates nothing";

    ASSERT_EQ(create(HKEY_CURRENT_USER, u"Trailing\\", key), ERROR_SUCCESS);
    EXPECT_EQ(open(HKEY_CURRENT_USER, u"trailing", key), ERROR_SUCCESS);

    std::u16string longest(255, u'n');
    EXPECT_EQ(create(HKEY_CURRENT_USER, longest.c_str(), key), ERROR_SUCCESS);
    std::u16string tooLong(256, u'n');
    EXPECT_EQ(create(HKEY_CURRENT_USER, tooLong.c_str(), key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(open(HKEY_CURRENT_USER, tooLong.c_str(), key), ERROR_INVALID_PARAMETER);

    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Volatile", 0, nullptr, 1, KEY_ALL_ACCESS,
                              nullptr, key.put(), nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(key.get(), nullptr);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"NoResult", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryKeys, DeleteKeyRemovesOnlyLeafKeysWithTheirValues) {
    unique_hkey leaf;
    ASSERT_EQ(create(HKEY_CURRENT_USER, u"Parent\\Leaf", leaf), ERROR_SUCCESS);
    ASSERT_EQ(ambivox::reg_set_dword(HKEY_CURRENT_USER, u"Parent", u"Kept", 1), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"Parent"), ERROR_ACCESS_DENIED);
    unique_hkey parent;
    ASSERT_EQ(open(HKEY_CURRENT_USER, u"Parent", parent), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"PARENT\\leaf"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"Parent\\Leaf"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"Nowhere\\Leaf"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u""), ERROR_ACCESS_DENIED) << "roots stay";

    // The empty path deletes the handle's own key, values and all.
    EXPECT_EQ(RegDeleteKeyW(parent.get(), u""), ERROR_SUCCESS);
    DWORD disposition = 0;
    ASSERT_EQ(create(HKEY_CURRENT_USER, u"Parent", parent, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    DWORD kept = 0;
    EXPECT_EQ(ambivox::reg_get_dword(parent.get(), u"", u"Kept", kept), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryKeys, HandlesToDeletedKeysReportKeyDeleted) {
    unique_hkey doomed;
    ASSERT_EQ(create(HKEY_CURRENT_USER, u"Doomed", doomed), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"Doomed"), ERROR_SUCCESS);

    DWORD value = 1;
    EXPECT_EQ(RegSetValueExW(doomed.get(), u"v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value),
                             sizeof value),
              ERROR_KEY_DELETED);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(doomed.get(), u"v", nullptr, nullptr, nullptr, &size),
              ERROR_KEY_DELETED);
    unique_hkey child;
    EXPECT_EQ(create(doomed.get(), u"Child", child), ERROR_KEY_DELETED);
    EXPECT_EQ(open(doomed.get(), nullptr, child), ERROR_KEY_DELETED);
    char16_t name[16];
    DWORD length = 16;
    EXPECT_EQ(RegEnumKeyExW(doomed.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);

    // A new key of the same name is a different key: the old handle stays dead.
    unique_hkey reborn;
    ASSERT_EQ(create(HKEY_CURRENT_USER, u"Doomed", reborn), ERROR_SUCCESS);
    EXPECT_EQ(open(doomed.get(), nullptr, child), ERROR_KEY_DELETED);
    EXPECT_EQ(open(reborn.get(), nullptr, child), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(doomed.release()), ERROR_SUCCESS) << "a dead handle still closes";
}

TEST_F(RegistryKeys, DeleteTreeRemovesASubtreeOrEmptiesAKey) {
    unique_hkey top;
    ASSERT_EQ(create(HKEY_CURRENT_USER, u"Top", top), ERROR_SUCCESS);
    unique_hkey deep;
    ASSERT_EQ(create(top.get(), u"A\\B\\C", deep), ERROR_SUCCESS);
    ASSERT_EQ(ambivox::reg_set_string(top.get(), u"A\\B", u"Name", u"b"), ERROR_SUCCESS);
    ASSERT_EQ(ambivox::reg_set_string(top.get(), u"D", u"Name", u"d"), ERROR_SUCCESS);
    ASSERT_EQ(ambivox::reg_set_string(top.get(), u"", u"Own", u"top"), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, u"top\\a"), ERROR_SUCCESS);
    EXPECT_EQ(subkeys(top.get()), (Names{u"D"}));
    unique_hkey gone;
    EXPECT_EQ(open(top.get(), nullptr, gone), ERROR_SUCCESS);
    EXPECT_EQ(open(deep.get(), nullptr, gone), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, u"Top\\A"), ERROR_FILE_NOT_FOUND);

    // Without a path the key stays but loses everything in it.
    unique_hkey d;
    ASSERT_EQ(open(top.get(), u"D", d), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeW(top.get(), nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(subkeys(top.get()).empty());
    std::u16string text;
    EXPECT_EQ(ambivox::reg_get_string(top.get(), u"", u"Own", text), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(open(d.get(), nullptr, gone), ERROR_KEY_DELETED);
    unique_hkey stillThere;
    EXPECT_EQ(open(HKEY_CURRENT_USER, u"Top", stillThere), ERROR_SUCCESS);
}

TEST_F(RegistryKeys, HandlesOnlyDoWhatTheirAccessAllows) {
    unique_hkey setup;
    ASSERT_EQ(create(HKEY_CURRENT_USER, u"Guarded\\Existing", setup), ERROR_SUCCESS);

    unique_hkey reader;
    ASSERT_EQ(open(HKEY_CURRENT_USER, u"Guarded", reader, KEY_READ), ERROR_SUCCESS);
    DWORD value = 5;
    EXPECT_EQ(RegSetValueExW(reader.get(), u"v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value),
                             sizeof value),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueW(reader.get(), u"v"), ERROR_ACCESS_DENIED);
    unique_hkey child;
    EXPECT_EQ(create(reader.get(), u"New", child), ERROR_ACCESS_DENIED);
    EXPECT_EQ(create(reader.get(), u"existing", child), ERROR_SUCCESS)
        << "opening through create needs no create right";
    EXPECT_EQ(subkeys(reader.get()), (Names{u"Existing"}));

    unique_hkey writer;
    ASSERT_EQ(open(HKEY_CURRENT_USER, u"Guarded", writer, KEY_WRITE), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(writer.get(), u"v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value),
                             sizeof value),
              ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(writer.get(), u"v", nullptr, nullptr, nullptr, &size),
              ERROR_ACCESS_DENIED);
    char16_t name[16];
    DWORD length = 16;
    EXPECT_EQ(RegEnumKeyExW(writer.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_ACCESS_DENIED);
}

TEST_F(RegistryKeys, EnumKeyHonoursTheNameBufferSize) {
    unique_hkey root;
    ASSERT_EQ(create(HKEY_CURRENT_USER, u"Sized", root), ERROR_SUCCESS);
    unique_hkey child;
    ASSERT_EQ(create(root.get(), u"Probe", child), ERROR_SUCCESS);

    char16_t name[8] = {u'#', u'#', u'#', u'#', u'#', u'#', u'#', u'#'};
    DWORD length = 5;  // no room for the terminator
    EXPECT_EQ(RegEnumKeyExW(root.get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    EXPECT_EQ(length, 6u) << "the size needed, terminator included";
    EXPECT_EQ(name[0], u'#');

    char16_t cls[4] = {u'x', u'x', u'x', u'x'};
    DWORD clsLength = 4;
    unsigned char lastWrite[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    ASSERT_EQ(RegEnumKeyExW(root.get(), 0, name, &length, nullptr, cls, &clsLength, lastWrite),
              ERROR_SUCCESS);
    EXPECT_EQ(length, 5u) << "the name's length, terminator excluded";
    EXPECT_EQ(std::u16string_view(name), u"Probe");
    EXPECT_EQ(cls[0], u'\0');
    EXPECT_EQ(clsLength, 0u);
    for (unsigned char byte : lastWrite)
        EXPECT_EQ(byte, 0);

    length = 8;
    EXPECT_EQ(RegEnumKeyExW(root.get(), 1, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumKeyExW(root.get(), 0, nullptr, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumKeyExW(root.get(), 0, name, nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
}

}  // namespace
