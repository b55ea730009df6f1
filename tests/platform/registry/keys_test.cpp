// Keys: create and open, names without regard to case, handles, access, enumeration and the
// delete rules.
#include "registry_fixture.h"

using KeyTest = RegistryTest;

TEST_F(KeyTest, CreateReportsNewThenExistingAndOpenIgnoresCase)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\QorTest\\Alpha", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));

    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\qortest\\ALPHA\\", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));

    // The key keeps the spelling it was created with.
    EXPECT_EQ(std::vector<std::u16string>{u"Alpha"}, SubKeysOf(HKEY_CURRENT_USER, u"software\\QORTEST"));

    // The other hive does not see it.
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Software\\QorTest"));
}

TEST_F(KeyTest, OpenFailuresAndArgumentChecks)
{
    HKEY key = reinterpret_cast<HKEY>(0x1);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open(HKEY_CURRENT_USER, u"Software\\Missing", &key));
    EXPECT_EQ(nullptr, key);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, nullptr));
    EXPECT_EQ(ERROR_INVALID_HANDLE, Open(reinterpret_cast<HKEY>(0x12345678), u"Software", &key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, Open(nullptr, u"Software", &key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, Open(HKEY_CURRENT_CONFIG, u"Software", &key));
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegCreateKeyExW(HKEY_CURRENT_USER, u"\\Software\\QorTest", 0, nullptr, 0,
                                                  KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_BAD_PATHNAME, RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\\\QorTest", 0, nullptr, 0,
                                                  KEY_ALL_ACCESS, nullptr, &key, nullptr));
    const std::u16string tooLong(256, u'k');
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyExW(HKEY_CURRENT_USER, tooLong.c_str(), 0, nullptr, 0,
                                                       KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyExW(HKEY_CURRENT_USER, u"Software", 1, nullptr, 0,
                                                       KEY_ALL_ACCESS, nullptr, &key, nullptr));
}

TEST_F(KeyTest, HandlesOfPredefinedAndClosedKeys)
{
    HKEY same = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, nullptr, &same));
    EXPECT_EQ(HKEY_CURRENT_USER, same);
    EXPECT_EQ(ERROR_SUCCESS, Open(HKEY_LOCAL_MACHINE, u"", &same));
    EXPECT_EQ(HKEY_LOCAL_MACHINE, same);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_CURRENT_USER));
    EXPECT_EQ(0xFFFFFFFF80000001ULL, reinterpret_cast<ULONG_PTR>(HKEY_CURRENT_USER));

    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\QorTest");
    HKEY second = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open(key, u"", &second, KEY_ALL_ACCESS));
    EXPECT_NE(key, second);
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    EXPECT_EQ(ERROR_INVALID_HANDLE, SetText(key, u"v", u"x"));
    EXPECT_EQ(ERROR_SUCCESS, SetText(second, u"v", u"x"));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(second));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(nullptr));
}

TEST_F(KeyTest, AccessRightsOfTheHandleAreEnforced)
{
    RegCloseKey(Create(HKEY_CURRENT_USER, u"Software\\QorTest"));
    HKEY reader = nullptr;
    HKEY writer = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, u"Software\\QorTest", &reader, KEY_READ));
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, u"Software\\QorTest", &writer, KEY_WRITE));

    EXPECT_EQ(ERROR_ACCESS_DENIED, SetText(reader, u"v", u"x"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueW(reader, u"v"));
    HKEY child = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegCreateKeyExW(reader, u"Child", 0, nullptr, 0, KEY_READ, nullptr, &child, nullptr));

    EXPECT_EQ(ERROR_SUCCESS, SetText(writer, u"v", u"x"));
    DWORD size = 0;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegQueryValueExW(writer, u"v", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(u"x", GetText(reader, u"v"));
    RegCloseKey(reader);
    RegCloseKey(writer);
}

TEST_F(KeyTest, EnumerationIsAlphabeticalWithoutRegardToCase)
{
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\QorTest");
    for (LPCWSTR name : {u"gamma", u"Alpha", u"beta", u"ALPHA2"})
        RegCloseKey(Create(key, name));
    EXPECT_EQ((std::vector<std::u16string>{u"Alpha", u"ALPHA2", u"beta", u"gamma"}), SubKeys(key));

    WCHAR name[6];
    DWORD length = 6;  // "ALPHA2" needs 7 with its NUL
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExW(key, 1, name, &length, nullptr, nullptr, nullptr, nullptr));
    length = 6;
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(5u, length);
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegEnumKeyExW(key, 0, nullptr, &length, nullptr, nullptr, nullptr, nullptr));

    DWORD subKeys = 0, maxSubKey = 0, values = 7;
    FILETIME written{};
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &values,
                                              nullptr, nullptr, nullptr, &written));
    EXPECT_EQ(4u, subKeys);
    EXPECT_EQ(6u, maxSubKey);
    EXPECT_EQ(0u, values);
    EXPECT_NE(0u, written.dwHighDateTime);  // a time after 1601
    RegCloseKey(key);
}

TEST_F(KeyTest, DeleteKeyRefusesKeysWithSubkeys)
{
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\QorTest\\Parent\\Child");
    RegCloseKey(key);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\QorTest\\Parent"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\QorTest\\Nobody"));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyW(HKEY_CURRENT_USER, nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_CURRENT_USER, u""));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CURRENT_USER, u"software\\qortest\\parent\\CHILD"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyExW(HKEY_CURRENT_USER, u"Software\\QorTest\\Parent", KEY_WOW64_64KEY, 0));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Software\\QorTest\\Parent"));
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"Software\\QorTest"));
}

TEST_F(KeyTest, HandleToADeletedKeyReportsKeyDeleted)
{
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\QorTest\\Doomed");
    ASSERT_EQ(ERROR_SUCCESS, SetText(key, u"v", u"x"));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CURRENT_USER, u"Software\\QorTest\\Doomed"));
    // A new key of the same name is another key: the old handle does not reach it.
    RegCloseKey(Create(HKEY_CURRENT_USER, u"Software\\QorTest\\Doomed"));

    DWORD size = 0;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExW(key, u"v", nullptr, nullptr, nullptr, &size));
    EXPECT_EQ(ERROR_KEY_DELETED, SetText(key, u"v", u"y"));
    HKEY child = nullptr;
    EXPECT_EQ(ERROR_KEY_DELETED,
              RegCreateKeyExW(key, u"Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr));
    WCHAR name[16];
    DWORD length = 16;
    EXPECT_EQ(ERROR_KEY_DELETED, RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_KEY_DELETED, RegFlushKey(key));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
}

TEST_F(KeyTest, DeleteTreeRemovesTheWholeTree)
{
    HKEY deep = Create(HKEY_CURRENT_USER, u"Software\\QorTest\\Tree\\A\\B");
    ASSERT_EQ(ERROR_SUCCESS, SetText(deep, u"v", u"deep"));
    RegCloseKey(deep);
    HKEY tree = Create(HKEY_CURRENT_USER, u"Software\\QorTest\\Tree");
    ASSERT_EQ(ERROR_SUCCESS, SetText(tree, nullptr, u"top"));
    RegCloseKey(Create(tree, u"C"));

    // Without a subkey the key stays, emptied.
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(tree, nullptr));
    DWORD subKeys = 9, values = 9;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(tree, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                                              nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0u, subKeys);
    EXPECT_EQ(0u, values);
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Software\\QorTest\\Tree\\A\\B"));

    RegCloseKey(Create(tree, u"D\\E"));
    RegCloseKey(tree);
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\QorTest\\Tree"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Software\\QorTest\\Tree"));
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"Software\\QorTest"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\QorTest\\Tree"));
}
