// Windows' own startup switch (Explorer\StartupApproved) of run values and startup
// files, written here as the Settings app and Task Manager write it.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "core/KivHandler.h"
#include "core/Records.h"
#include "handlers/steps/StartupSwitch.h"
#include "support/RegistryTestKit.h"
#include "support/TestSupport.h"

using kivtest::RawValue;
using kivtest::ReadRaw;
using kivtest::ScratchFolder;
using kivtest::WriteRaw;

namespace {

const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kSwitches[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";

RawValue Switch(DWORD type, std::vector<BYTE> bytes) {
    RawValue value;
    value.type = type;
    value.bytes = std::move(bytes);
    return value;
}
// Task Manager's "off": 3, then the time of the change.
RawValue Off() { return Switch(REG_BINARY, {3, 0, 0, 0, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x01}); }
RawValue On() { return Switch(REG_BINARY, {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}); }

std::wstring ShellFolder(int csidl) {
    wchar_t folder[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, folder, csidl, TRUE);
    return folder;
}

void DeleteValue(HKEY root, const std::wstring& key, const std::wstring& name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_SET_VALUE, &handle) != ERROR_SUCCESS) return;
    RegDeleteValueW(handle, name.c_str());
    RegCloseKey(handle);
}

// A facade with the user's real run key, whose switches live in the user's
// StartupApproved\Run; the values the test writes go again afterwards.
class StartupSwitchTest : public kivtest::FacadeTest {
protected:
    void TearDown() override {
        FacadeTest::TearDown();
        for (const std::wstring& name : m_names) {
            DeleteValue(HKEY_CURRENT_USER, kRunKey, name);
            DeleteValue(HKEY_CURRENT_USER, std::wstring(kRunKey) + L"\\_disabledByKiv", name);
            DeleteValue(HKEY_CURRENT_USER, std::wstring(kSwitches) + L"Run", name);
        }
    }
    // A run value starting a file of the test's own, with the given switch (none
    // when its type is REG_NONE).
    void AddRunValue(const std::wstring& name, const RawValue& sw) {
        m_names.push_back(name);
        WriteRaw(HKEY_CURRENT_USER, kRunKey, name, kivtest::TextValue(REG_SZ, m_folder.AddFile(name + L".exe")));
        if (sw.type != REG_NONE) WriteRaw(HKEY_CURRENT_USER, std::wstring(kSwitches) + L"Run", name, sw);
    }
    RawValue SwitchNow(const std::wstring& name) {
        RawValue value;
        ReadRaw(HKEY_CURRENT_USER, std::wstring(kSwitches) + L"Run", name, value);
        return value;
    }
    unsigned Id(const std::wstring& title) {
        CKivItem* item = FindTitle(m_run, title);
        return item ? item->m_globalId : 0;
    }

    ScratchFolder m_folder{L"StartupSwitch"};
    Location* m_run = nullptr;
    std::vector<std::wstring> m_names;
};

}  // namespace

TEST(StartupSwitchPlace, OnlyTheRunKeysAndStartupFoldersWindowsSwitches) {
    const std::wstring run = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    struct Case {
        std::wstring path;
        unsigned type;
        HKEY root;
        const wchar_t* subkey;  // null: no switch
    } cases[] = {
        {L"HKLM\\" + run, Location::RegistryKey, HKEY_LOCAL_MACHINE, L"Run"},
        {L"HKCU\\" + run, Location::RegistryKey, HKEY_CURRENT_USER, L"Run"},
        {L"HKLM\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run", Location::RegistryKey,
         HKEY_LOCAL_MACHINE, L"Run32"},
        {L"HKLM\\" + run + L"Once", Location::RegistryKey, nullptr, nullptr},
        {L"HKLM\\" + run + L"\\Sub", Location::RegistryKey, nullptr, nullptr},
        {L"HKCR\\" + run, Location::RegistryKey, nullptr, nullptr},
        {ShellFolder(CSIDL_STARTUP), Location::Folder, HKEY_CURRENT_USER, L"StartupFolder"},
        {ShellFolder(CSIDL_COMMON_STARTUP) + L"\\", Location::Folder, HKEY_LOCAL_MACHINE, L"StartupFolder"},
        {L"c:\\kivtests\\Startup", Location::Folder, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(kivtest::Narrow(c.path));
        const Location location(c.path, L"", c.type, c.type == Location::Folder ? SimpleFile : RegValue, 0);
        const kiv::StartupSwitchPlace place = kiv::StartupSwitchPlaceOf(&location);
        EXPECT_EQ(c.root, place.root);
        EXPECT_EQ(c.subkey ? std::wstring(kSwitches) + c.subkey : std::wstring(), place.path);
    }
    // Registry values on a value location name no entries of the key.
    const Location valueLocation(L"HKLM\\" + run, L"App", Location::RegistryValue, RegValueEx, 0);
    EXPECT_TRUE(kiv::StartupSwitchPlaceOf(&valueLocation).path.empty());
}

TEST_F(StartupSwitchTest, AnOddFirstByteDisablesAndOnlyThen) {
    struct Case {
        const wchar_t* name;
        RawValue sw;
        bool off;
    } cases[] = {
        {L"KivSwNone", Switch(REG_NONE, {}), false},
        {L"KivSwOn", On(), false},
        {L"KivSwOff", Off(), true},
        {L"KivSwSeven", Switch(REG_BINARY, {7}), true},
        {L"KivSwSix", Switch(REG_BINARY, {6, 1}), false},
        {L"KivSwEmpty", Switch(REG_BINARY, {}), false},
        {L"KivSwDword", Switch(REG_DWORD, {3, 0, 0, 0}), false},
    };
    for (const Case& c : cases) AddRunValue(c.name, c.sw);
    m_run = AddLocation(std::wstring(L"HKCU\\") + kRunKey, L"", Location::RegistryKey, RegValue);
    m_kiv->Collect();
    for (const Case& c : cases) {
        SCOPED_TRACE(kivtest::Narrow(c.name));
        const unsigned id = Id(c.name);
        ASSERT_NE(0u, id);
        EXPECT_EQ(c.off ? 0 : 1, m_kiv->GetItemEnabled(id));
        EXPECT_EQ(c.off ? 1 : 0, m_kiv->GetItemStartupSwitchOff(id));
        EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    }
    EXPECT_EQ(0, m_kiv->GetItemStartupSwitchOff(0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(StartupSwitchTest, EnableTurnsTheSwitchOnAndDisableKeepsUsingTheMarker) {
    AddRunValue(L"KivSwApp", Off());
    m_run = AddLocation(std::wstring(L"HKCU\\") + kRunKey, L"", Location::RegistryKey, RegValue);
    m_kiv->Collect();
    ASSERT_EQ(0, m_kiv->GetItemEnabled(Id(L"KivSwApp")));

    // Switched off by Windows only: enable turns the switch on and moves nothing.
    ASSERT_EQ(1, m_kiv->EnableItem(Id(L"KivSwApp")));
    EXPECT_EQ(On(), SwitchNow(L"KivSwApp"));
    EXPECT_EQ(1, m_kiv->GetItemEnabled(Id(L"KivSwApp")));
    m_kiv->Collect();
    EXPECT_EQ(1, m_kiv->GetItemEnabled(Id(L"KivSwApp")));

    // Off in Windows and then disabled here: disable moves the value and leaves
    // Windows' switch as it was; enable puts both back.
    WriteRaw(HKEY_CURRENT_USER, std::wstring(kSwitches) + L"Run", L"KivSwApp", Off());
    m_kiv->Collect();
    ASSERT_EQ(1, m_kiv->DisableItem(Id(L"KivSwApp")));
    EXPECT_EQ(Off(), SwitchNow(L"KivSwApp"));
    RawValue moved;
    EXPECT_TRUE(ReadRaw(HKEY_CURRENT_USER, std::wstring(kRunKey) + L"\\_disabledByKiv", L"KivSwApp", moved));
    m_kiv->Collect();
    CKivItem* item = FindTitle(m_run, L"KivSwApp");
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(0u, item->m_enabled);
    EXPECT_EQ(1, m_kiv->GetItemStartupSwitchOff(item->m_globalId));
    ASSERT_EQ(1, m_kiv->EnableItem(item->m_globalId));
    EXPECT_EQ(On(), SwitchNow(L"KivSwApp"));
    EXPECT_TRUE(ReadRaw(HKEY_CURRENT_USER, kRunKey, L"KivSwApp", moved));
    m_kiv->Collect();
    EXPECT_EQ(1, m_kiv->GetItemEnabled(Id(L"KivSwApp")));
}

TEST_F(StartupSwitchTest, ASwitchThatCannotBeWrittenFailsTheEnableAndMovesNothing) {
    AddRunValue(L"KivSwLocked", Off());
    m_run = AddLocation(std::wstring(L"HKCU\\") + kRunKey, L"", Location::RegistryKey, RegValue);
    m_kiv->Collect();
    const unsigned id = Id(L"KivSwLocked");
    ASSERT_EQ(1, m_kiv->DisableItem(id));
    {
        kivtest::DeniedRight readOnly(std::wstring(kSwitches) + L"Run", L"D:P(A;;KR;;;WD)");
        EXPECT_EQ(0, m_kiv->EnableItem(id));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    }
    EXPECT_EQ(0, m_kiv->GetItemEnabled(id));
    EXPECT_EQ(Off(), SwitchNow(L"KivSwLocked"));
    RawValue value;
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, kRunKey, L"KivSwLocked", value));
}

TEST_F(StartupSwitchTest, AStartupFileSwitchedOffIsListedDisabledAndEnabledInPlace) {
    const std::wstring startup = ShellFolder(CSIDL_STARTUP);
    ASSERT_FALSE(startup.empty());
    const std::wstring file = startup + L"\\kivswitch.exe";
    kivtest::WriteFileBytes(file, "MZ");
    const std::wstring switches = std::wstring(kSwitches) + L"StartupFolder";
    WriteRaw(HKEY_CURRENT_USER, switches, L"kivswitch.exe", Off());
    Location* folder = AddLocation(startup, L"", Location::Folder, SimpleFile);
    m_kiv->Collect();
    CKivItem* item = FindTitle(folder, L"kivswitch.exe");
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(0, m_kiv->GetItemEnabled(item->m_globalId));
    EXPECT_EQ(1, m_kiv->GetItemStartupSwitchOff(item->m_globalId));
    EXPECT_EQ(1, m_kiv->EnableItem(item->m_globalId));
    RawValue now;
    EXPECT_TRUE(ReadRaw(HKEY_CURRENT_USER, switches, L"kivswitch.exe", now));
    EXPECT_EQ(On(), now);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES != GetFileAttributesW(file.c_str()), true);  // not moved
    EXPECT_EQ(1, m_kiv->GetItemEnabled(item->m_globalId));
    DeleteFileW(file.c_str());
    DeleteValue(HKEY_CURRENT_USER, switches, L"kivswitch.exe");
}
