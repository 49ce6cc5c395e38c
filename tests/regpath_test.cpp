#include <gtest/gtest.h>

#include "platform/RegPath.h"
#include "support/RegistryTestKit.h"
#include "support/TestSupport.h"

using kivtest::KeyExists;
using kivtest::TextValue;
using kivtest::WriteRaw;

TEST(RootPrefix, SplitsKnownPrefixesWithoutRegardToCase) {
    struct Case {
        const wchar_t* path;
        HKEY root;
        const wchar_t* rest;
        int result;
    } cases[] = {
        {L"hklm\\software\\x", HKEY_LOCAL_MACHINE, L"software\\x", 1},
        {L"HKU\\S-1-5-18\\x", HKEY_USERS, L"S-1-5-18\\x", 1},
        {L"HKCR\\CLSID", HKEY_CLASSES_ROOT, L"CLSID", 1},
        {L"HKCC\\System", HKEY_CURRENT_CONFIG, L"System", 1},
        {L"HKLM", HKEY_LOCAL_MACHINE, L"HKLM", 0},  // no backslash: no prefix
        {L"SOFTWARE\\X", HKEY_LOCAL_MACHINE, L"SOFTWARE\\X", 0},
    };
    for (const Case& c : cases) {
        std::wstring path = c.path;
        HKEY root = nullptr;
        EXPECT_EQ(c.result, kiv::SplitRootPrefix(path, root)) << c.path;
        EXPECT_EQ(c.root, root) << c.path;
        EXPECT_EQ(c.rest, path) << c.path;
    }
}

TEST(RootPrefix, LongNamesAndTheLineForOtherRoots) {
    EXPECT_EQ(L"HKEY_CURRENT_USER\\", kiv::GetFullHKEY(HKEY_CURRENT_USER));
    EXPECT_EQ(L"HKEY_USERS\\", kiv::GetFullHKEY(HKEY_USERS));
    LogCapture log;
    EXPECT_EQ(L"HKEY_LOCAL_MACHINE\\", kiv::GetFullHKEY(HKEY_LOCAL_MACHINE));
    EXPECT_TRUE(log.Calls().empty());
    EXPECT_EQ(L"HKEY_DYN_DATA\\", kiv::GetFullHKEY(HKEY_DYN_DATA));
    EXPECT_EQ(L"", kiv::GetFullHKEY(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x12345))));
    std::vector<std::string> expected = {"GetFullHKEY: The Others {RC}\n", "GetFullHKEY: The Others {RC}\n"};
    EXPECT_EQ(expected, log.Messages());
}

TEST(TwinPath, OnlyBelowTheMachineSoftwareKeyAndTheClassesRoot) {
    struct Case {
        const wchar_t* path;
        const wchar_t* twin;  // null: none
    } cases[] = {
        {L"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
         L"HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"},
        {L"HKCR\\CLSID", L"HKCR\\Wow6432Node\\CLSID"},
        {L"HKLM\\software", L"HKLM\\software\\Wow6432Node"},
        {L"HKLM\\SOFTWAREX\\Y", L"HKLM\\SOFTWARE\\Wow6432NodeX\\Y"},  // only eight letters are looked at
        {L"HKLM\\SOFTWARE\\Wow6432Node\\X", nullptr},
        {L"HKCR\\Wow6432Node\\CLSID", nullptr},
        {L"HKLM\\SYSTEM\\CurrentControlSet\\Services", nullptr},
        {L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", nullptr},
        {L"SOFTWARE\\X", nullptr},
    };
    for (const Case& c : cases) {
        std::wstring twin;
        bool made = kiv::TwinPath(c.path, twin);
        EXPECT_EQ(c.twin != nullptr, made) << c.path;
        if (c.twin) {
            EXPECT_EQ(c.twin, twin) << c.path;
        }
    }
}

TEST(EmptyKeys, OnlyAnEmptyKeyIsRemovedInEitherView) {
    kivtest::ScratchKey key(L"EmptyKeys");
    const std::wstring holding = key.Path() + L"\\holding";
    const std::wstring parent = key.Path() + L"\\parent";
    const std::wstring empty = key.Path() + L"\\empty";
    WriteRaw(HKEY_CURRENT_USER, holding, L"v", TextValue(REG_SZ, L"x"));
    WriteRaw(HKEY_CURRENT_USER, parent + L"\\child", L"v", TextValue(REG_SZ, L"x"));
    RegDeleteKeyValueW(HKEY_CURRENT_USER, (parent + L"\\child").c_str(), L"v");
    HKEY made = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, empty.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &made, nullptr);
    RegCloseKey(made);

    EXPECT_FALSE(kiv::IsKeyEmpty(HKEY_CURRENT_USER, holding));
    EXPECT_FALSE(kiv::IsKeyEmpty(HKEY_CURRENT_USER, parent));
    EXPECT_TRUE(kiv::IsKeyEmpty(HKEY_CURRENT_USER, empty));
    EXPECT_FALSE(kiv::IsKeyEmpty(HKEY_CURRENT_USER, key.Path() + L"\\missing"));
    kiv::RemoveKeyIfEmpty(HKEY_CURRENT_USER, holding, 0);
    kiv::RemoveKeyIfEmpty(HKEY_CURRENT_USER, parent, 0);
    kiv::RemoveKeyIfEmpty(HKEY_CURRENT_USER, empty, 0);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, holding));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, parent));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, empty));

    // An empty key that cannot be read is not taken for empty and stays.
    const std::wstring unreadable = key.Path() + L"\\unreadable";
    RegCreateKeyExW(HKEY_CURRENT_USER, unreadable.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &made, nullptr);
    RegCloseKey(made);
    {
        kivtest::DeniedRight denied(unreadable, L"D:(D;;KR;;;WD)(A;;KA;;;WD)");
        EXPECT_FALSE(kiv::IsKeyEmpty(HKEY_CURRENT_USER, unreadable));
        kiv::RemoveKeyIfEmpty(HKEY_CURRENT_USER, unreadable, 0);
    }
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, unreadable));

    // A twin location's emptied key is deleted through the 32-bit view.
    const std::wstring twin = L"Software\\Wow6432Node\\KivTests\\EmptyTwin";
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, twin.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &made, nullptr);
    RegCloseKey(made);
    ASSERT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, twin));
    kiv::RemoveKeyIfEmpty(HKEY_LOCAL_MACHINE, twin, 1);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, twin));
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\KivTests");
}
