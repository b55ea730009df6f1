// HKEY_CLASSES_ROOT: the user's classes over the machine's, and where writes through it go.
#include "registry_fixture.h"

namespace {
constexpr LPCWSTR kMachineClasses = u"Software\\Classes";
constexpr LPCWSTR kUserClasses = u"Software\\Classes";
}  // namespace

using ClassesRootTest = RegistryTest;

TEST_F(ClassesRootTest, UserKeyHidesMachineKeyOfTheSamePath)
{
    HKEY machine = Create(HKEY_LOCAL_MACHINE, u"Software\\Classes\\CLSID\\{X}\\InprocServer32");
    ASSERT_EQ(ERROR_SUCCESS, SetText(machine, nullptr, u"/machine/lib.so"));
    ASSERT_EQ(ERROR_SUCCESS, SetText(machine, u"ThreadingModel", u"Apartment"));
    RegCloseKey(machine);

    EXPECT_EQ(u"/machine/lib.so", Text(HKEY_CLASSES_ROOT, u"clsid\\{x}\\InprocServer32"));

    HKEY user = Create(HKEY_CURRENT_USER, u"Software\\Classes\\CLSID\\{X}\\InprocServer32");
    ASSERT_EQ(ERROR_SUCCESS, SetText(user, nullptr, u"/user/lib.so"));
    RegCloseKey(user);

    // Values are not merged: the user's key has no ThreadingModel, so none is seen.
    EXPECT_EQ(u"/user/lib.so", Text(HKEY_CLASSES_ROOT, u"CLSID\\{X}\\InprocServer32"));
    EXPECT_EQ(u"<error 2>", Text(HKEY_CLASSES_ROOT, u"CLSID\\{X}\\InprocServer32", u"ThreadingModel"));

    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Classes\\CLSID\\{X}"));
    EXPECT_EQ(u"/machine/lib.so", Text(HKEY_CLASSES_ROOT, u"CLSID\\{X}\\InprocServer32"));
}

TEST_F(ClassesRootTest, SubkeysOfBothSidesAreEnumeratedOnce)
{
    for (LPCWSTR path : {u"Software\\Classes\\CLSID\\{A}", u"Software\\Classes\\CLSID\\{B}"})
        RegCloseKey(Create(HKEY_LOCAL_MACHINE, path));
    for (LPCWSTR path : {u"Software\\Classes\\CLSID\\{b}", u"Software\\Classes\\CLSID\\{C}"})
        RegCloseKey(Create(HKEY_CURRENT_USER, path));

    HKEY clsid = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CLASSES_ROOT, u"CLSID", &clsid));
    EXPECT_EQ((std::vector<std::u16string>{u"{A}", u"{b}", u"{C}"}), SubKeys(clsid));
    DWORD subKeys = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(clsid, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(3u, subKeys);
    // A machine-only subkey is reached through the user-backed handle.
    HKEY machineOnly = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, Open(clsid, u"{A}", &machineOnly));
    RegCloseKey(machineOnly);
    RegCloseKey(clsid);

    EXPECT_EQ((std::vector<std::u16string>{u"CLSID"}), SubKeys(HKEY_CLASSES_ROOT));
}

TEST_F(ClassesRootTest, NewKeysAndValuesGoToTheMachineUnlessTheUsersKeyExists)
{
    RegCloseKey(Create(HKEY_CURRENT_USER, u"Software\\Classes\\UserOnly"));

    RegCloseKey(Create(HKEY_CLASSES_ROOT, u"CLSID\\{NEW}\\InprocServer32"));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\CLSID\\{NEW}\\InprocServer32"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Software\\Classes\\CLSID"));

    RegCloseKey(Create(HKEY_CLASSES_ROOT, u"UserOnly\\Sub"));
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"Software\\Classes\\UserOnly\\Sub"));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\UserOnly"));
    HKEY machine = Create(HKEY_LOCAL_MACHINE, u"Software\\Classes\\.qor");
    ASSERT_EQ(ERROR_SUCCESS, SetText(machine, nullptr, u"machine"));
    HKEY viaRoot = Create(HKEY_CLASSES_ROOT, u".qor");
    ASSERT_EQ(ERROR_SUCCESS, SetText(viaRoot, u"Written", u"to machine"));
    RegCloseKey(viaRoot);
    EXPECT_EQ(u"to machine", GetText(machine, u"Written"));

    HKEY user = Create(HKEY_CURRENT_USER, u"Software\\Classes\\.qor");
    viaRoot = Create(HKEY_CLASSES_ROOT, u".qor");
    ASSERT_EQ(ERROR_SUCCESS, SetText(viaRoot, nullptr, u"user"));
    RegCloseKey(viaRoot);
    EXPECT_EQ(u"user", GetText(user, nullptr));
    EXPECT_EQ(u"machine", GetText(machine, nullptr));
    RegCloseKey(user);
    RegCloseKey(machine);
}

TEST_F(ClassesRootTest, RegistrationAndRemovalOfAClassKey)
{
    // What a registration script does: the class key removed whole, then written.
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteTreeW(HKEY_CLASSES_ROOT, u"CLSID\\{7C3E9A52}"));
    HKEY server = Create(HKEY_CLASSES_ROOT, u"CLSID\\{7C3E9A52}\\InprocServer32");
    ASSERT_EQ(ERROR_SUCCESS, SetText(server, nullptr, u"/opt/lib/libQORScan.so"));
    ASSERT_EQ(ERROR_SUCCESS, SetText(server, u"ThreadingModel", u"Apartment"));
    RegCloseKey(server);
    HKEY typeLib = Create(HKEY_CLASSES_ROOT, u"CLSID\\{7C3E9A52}\\TypeLib");
    ASSERT_EQ(ERROR_SUCCESS, SetText(typeLib, nullptr, u"{7C3E9A52-7700-7700-0000-770000000001}"));
    RegCloseKey(typeLib);

    EXPECT_EQ(u"Apartment",
              Text(HKEY_LOCAL_MACHINE, u"Software\\Classes\\CLSID\\{7C3E9A52}\\InprocServer32", u"ThreadingModel"));

    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CLASSES_ROOT, u"CLSID\\{7C3E9A52}"));
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, u"CLSID\\{7C3E9A52}"));
    EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, u"CLSID"));
}

TEST_F(ClassesRootTest, EmptyClassesRootReadsNothingAndWritesToTheMachine)
{
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open(HKEY_CLASSES_ROOT, u"CLSID", &key));
    WCHAR name[8];
    DWORD length = 8;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS,
              RegEnumKeyExW(HKEY_CLASSES_ROOT, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(u"<error 2>", GetText(HKEY_CLASSES_ROOT, u"Root"));
    ASSERT_EQ(ERROR_SUCCESS, SetText(HKEY_CLASSES_ROOT, u"Root", u"value"));
    EXPECT_EQ(u"value", Text(HKEY_LOCAL_MACHINE, kMachineClasses, u"Root"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, kUserClasses));
}

TEST_F(ClassesRootTest, OverrideSendsClassesRootToTheUsersClasses)
{
    // Per-user registration maps HKEY_CLASSES_ROOT onto the user's classes for a while.
    HKEY user = Create(HKEY_CURRENT_USER, kUserClasses);
    ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CLASSES_ROOT, user));
    RegCloseKey(user);
    RegCloseKey(Create(HKEY_CLASSES_ROOT, u"CLSID\\{U}\\InprocServer32"));
    ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr));

    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"Software\\Classes\\CLSID\\{U}\\InprocServer32"));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\CLSID"));
    EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, u"CLSID\\{U}"));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegOverridePredefKey(HKEY_CLASSES_ROOT, user));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegOverridePredefKey(reinterpret_cast<HKEY>(0x40), nullptr));
}
