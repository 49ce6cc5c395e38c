// Every user of the machine: other profiles' run keys and startup folders are
// read in their own hives and folders and acted on there. One user is "logged
// on" (the test loads its hive under its SID, where Windows loads a logged-on
// user's); another is not (the module loads its hive file itself); two profiles
// cannot be read (no hive file, a file that is no hive).
#include <gtest/gtest.h>

#include <shlobj.h>

#include <set>

#include "core/Records.h"
#include "core/UserLocations.h"
#include "support/RegistryTestKit.h"
#include "support/TestSupport.h"

using kivtest::KeyExists;
using kivtest::RawValue;
using kivtest::ReadRaw;
using kivtest::TextValue;
using kivtest::WriteRaw;

namespace {

const std::wstring kRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::wstring kRunSwitches = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
const std::wstring kRoamingApp = L"\\AppData\\Roaming\\kivroaming.exe";
const std::wstring kStartup = L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
const std::wstring kProfileList = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
const std::wstring kOnline = L"S-1-5-21-7-7-7-2101";   // logged on: its hive is under its SID
const std::wstring kOffline = L"S-1-5-21-7-7-7-2102";  // not logged on: the module loads its hive
const std::wstring kNoHive = L"S-1-5-21-7-7-7-2103";   // a profile without a hive file
const std::wstring kBadHive = L"S-1-5-21-7-7-7-2104";  // a hive file that is none
const std::wstring kUsers[] = {kOnline, kOffline, kNoHive, kBadHive};

std::string Escaped(const std::wstring& text) {
    std::string out;
    for (wchar_t c : kivtest::Narrow(text)) {
        if (c == '\\' || c == '"') out += '\\';
        out += static_cast<char>(c);
    }
    return out;
}

// A user's hive file in Wine's text format: run values starting the file (then
// more, as written there), the last one switched off as Task Manager does it (3,
// then the time of the change).
std::string HiveText(const std::vector<std::wstring>& titles, const std::wstring& file,
                     const std::string& moreRunValues = "") {
    std::string text = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21\n\n#arch=win64\n\n[" +
                       Escaped(kRun) + "] 1700000000\n";
    for (const std::wstring& title : titles) text += "\"" + Escaped(title) + "\"=\"" + Escaped(file) + "\"\n";
    text += moreRunValues;
    if (titles.size() > 1)
        text += "\n[" + Escaped(kRunSwitches) + "] 1700000000\n\"" + Escaped(titles.back()) +
                "\"=hex:03,00,00,00,00,00,00,00,00,00,00,00\n";
    return text;
}

// Another user's shell service objects name classes: one registered in the
// user's own classes, one only the running user has, one of the machine's.
const std::wstring kUserClass = L"{6b1d0a10-0000-4000-8000-000000002102}";
const std::wstring kRunningUsersClass = L"{6b1d0a10-0000-4000-8000-000000000001}";
const std::wstring kMachineClass = L"{6b1d0a10-0000-4000-8000-000000000002}";
const std::wstring kHooks = L"Software\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad";

std::string HookText() {
    return "\n[" + Escaped(kHooks) + "] 1700000000\n\"KivUserHook\"=\"" + Escaped(kUserClass) +
           "\"\n\"KivRunningUsersHook\"=\"" + Escaped(kRunningUsersClass) + "\"\n\"KivMachineHook\"=\"" +
           Escaped(kMachineClass) + "\"\n";
}

// A user's classes hive file with one class and its in-process server.
std::string ClassesText(const std::wstring& classId, const std::wstring& server) {
    return "WINE REGISTRY Version 2\n;; All keys relative to "
           "\\\\User\\\\S-1-5-21_Classes\n\n#arch=win64\n\n[CLSID\\\\" +
           Escaped(classId) + "\\\\InprocServer32] 1700000000\n@=\"" + Escaped(server) + "\"\n";
}

// Sets the backup and restore privileges of the process, as the profile service
// holds them when it loads a user's hive at logon.
void SetHivePrivileges(bool enabled) {
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    struct {
        DWORD count;
        LUID_AND_ATTRIBUTES privileges[2];
    } wanted = {2, {}};
    LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &wanted.privileges[0].Luid);
    LookupPrivilegeValueW(nullptr, L"SeRestorePrivilege", &wanted.privileges[1].Luid);
    wanted.privileges[0].Attributes = wanted.privileges[1].Attributes = enabled ? SE_PRIVILEGE_ENABLED : 0;
    EXPECT_TRUE(AdjustTokenPrivileges(token, FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&wanted), 0, nullptr, nullptr));
    CloseHandle(token);
}

bool RestorePrivilegeEnabled() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    PRIVILEGE_SET set = {1, PRIVILEGE_SET_ALL_NECESSARY, {}};
    LookupPrivilegeValueW(nullptr, L"SeRestorePrivilege", &set.Privilege[0].Luid);
    BOOL held = FALSE;
    PrivilegeCheck(token, &set, &held);
    CloseHandle(token);
    return held != FALSE;
}

// Whether any hive is loaded below HKEY_USERS under a name of the module's own.
bool ModuleHiveLoaded() {
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(HKEY_USERS, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        if (_wcsnicmp(name, L"kiv_", 4) == 0) return true;
    }
}

std::wstring Folder(const std::wstring& path) {
    SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
    return path;
}

class OtherUsersTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const std::wstring& sid : kUsers) {
            WriteRaw(HKEY_LOCAL_MACHINE, kProfileList + sid, L"ProfileImagePath", TextValue(REG_SZ, Profile(sid)));
            Folder(Profile(sid) + kStartup);
        }
        m_onlineApp = m_files.AddFile(L"online.exe");
        m_offlineApp = m_files.AddFile(L"offline.exe");
        kivtest::WriteFileBytes(Profile(kOnline) + L"\\NTUSER.DAT",
                                HiveText({L"KivOnlineApp", L"KivOnlineOff"}, m_onlineApp));
        kivtest::WriteFileBytes(
            Profile(kOffline) + L"\\NTUSER.DAT",
            HiveText({L"KivOfflineApp"}, m_offlineApp, "\"KivOfflineRoaming\"=\"%APPDATA%\\\\kivroaming.exe\"\n") +
                HookText());
        kivtest::WriteFileBytes(Profile(kOffline) + kRoamingApp, "MZ");
        Folder(Profile(kOffline) + L"\\AppData\\Local\\Microsoft\\Windows");
        kivtest::WriteFileBytes(Profile(kOffline) + L"\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat",
                                ClassesText(kUserClass, m_offlineApp));
        // The same hook's other classes: the running user's own, and the machine's.
        m_machineApp = m_files.AddFile(L"machine.exe");
        WriteRaw(HKEY_CURRENT_USER, L"Software\\Classes\\CLSID\\" + kRunningUsersClass + L"\\InprocServer32", L"",
                 TextValue(REG_SZ, m_onlineApp));
        WriteRaw(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\CLSID\\" + kMachineClass + L"\\InprocServer32", L"",
                 TextValue(REG_SZ, m_machineApp));
        kivtest::WriteFileBytes(Profile(kBadHive) + L"\\NTUSER.DAT", "not a hive");
        kivtest::WriteFileBytes(Profile(kOnline) + kStartup + L"\\KivOnlineStart.exe", "MZ");
        SetHivePrivileges(true);
        ASSERT_EQ(ERROR_SUCCESS,
                  RegLoadKeyW(HKEY_USERS, kOnline.c_str(), (Profile(kOnline) + L"\\NTUSER.DAT").c_str()));
        SetHivePrivileges(false);
        kivtest::WriteBesideProgram(L"kivdata.dat", kivtest::Narrow(kCatalogue));
        kivtest::WriteBesideProgram(L"kivwl.dat", kivtest::Utf16Bytes(L"|0", false));
        m_kiv = CKiv::Init();
        ASSERT_NE(nullptr, m_kiv);
        m_kiv->Collect();
    }
    void TearDown() override {
        CKiv::Dispose();
        SetHivePrivileges(true);
        RegUnLoadKeyW(HKEY_USERS, kOnline.c_str());
        SetHivePrivileges(false);
        for (const std::wstring& sid : kUsers) RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kProfileList + sid).c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Classes\\CLSID\\" + kRunningUsersClass).c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, (L"SOFTWARE\\Classes\\CLSID\\" + kMachineClass).c_str());
        kivtest::DeleteBesideProgram(L"kivdata.dat");
        kivtest::DeleteBesideProgram(L"kivwl.dat");
    }
    std::wstring Profile(const std::wstring& sid) const { return m_users.Path() + L"\\" + sid.substr(sid.size() - 4); }
    // The global ID of the item with that title in a location, or 0.
    unsigned Find(unsigned c, unsigned l, const std::wstring& title) {
        for (unsigned i = 0; i < m_kiv->GetItemCount(c, l); ++i)
            if (title == m_kiv->GetItemTitle(c, l, i)) return m_kiv->GetItemGlobalID(c, l, i);
        return 0;
    }

    static const std::wstring kCatalogue;
    kivtest::ScratchFolder m_users{L"OtherUsers"};
    kivtest::ScratchFolder m_files{L"OtherUsersFiles"};
    std::wstring m_onlineApp, m_offlineApp, m_machineApp;
    CKiv* m_kiv = nullptr;
};

const std::wstring OtherUsersTest::kCatalogue =
    L"<kivdata><cat><name>Run keys</name><locs>"
    L"<loc><htype>0</htype><ltype>0</ltype><path>HKCU\\" +
    kRun +
    L"</path></loc>"
    L"<loc><htype>0</htype><ltype>0</ltype><path>HKLM\\SYSTEM\\KivNoSuchKey</path></loc>"
    L"</locs></cat><cat><name>Startup</name><locs>"
    L"<loc><htype>2</htype><ltype>2</ltype><path>%APPDATA%\\Microsoft\\Windows\\Start "
    L"Menu\\Programs\\Startup</path></loc>"
    L"</locs></cat><cat><name>Classes</name><locs>"
    L"<loc><htype>4</htype><ltype>0</ltype><path>HKCU\\Software\\Classes\\CLSID</path></loc>"
    L"</locs></cat><cat><name>Hooks</name><locs>"
    L"<loc><htype>5</htype><ltype>0</ltype><path>HKCU\\" +
    kHooks +
    L"</path></loc>"
    L"</locs></cat></kivdata>";

}  // namespace

TEST_F(OtherUsersTest, EachUsersCopyFollowsTheRunningUsersLocationAndSaysWhoseAndWhyNotRead) {
    const DWORD kAnyFailure = 0xFFFFFFFF;
    wchar_t appData[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE);
    struct Case {
        unsigned c, l;
        std::wstring path, user;
        DWORD readError;
    } cases[] = {
        {0, 0, L"HKCU\\" + kRun, L"", ERROR_SUCCESS},
        {0, 1, L"HKU\\" + kOnline + L"\\" + kRun, kOnline, ERROR_SUCCESS},
        {0, 2, L"HKU\\" + kOffline + L"\\" + kRun, kOffline, ERROR_SUCCESS},
        {0, 3, L"HKU\\" + kNoHive + L"\\" + kRun, kNoHive, ERROR_FILE_NOT_FOUND},
        {0, 4, L"HKU\\" + kBadHive + L"\\" + kRun, kBadHive, kAnyFailure},
        {0, 5, L"HKLM\\SYSTEM\\KivNoSuchKey", L"", ERROR_SUCCESS},
        {1, 0, std::wstring(appData) + L"\\Microsoft\\Windows\\Start Menu\\Programs\\Startup", L"", ERROR_SUCCESS},
        {1, 1, Profile(kOnline) + kStartup, kOnline, ERROR_SUCCESS},
        {1, 4, Profile(kBadHive) + kStartup, kBadHive, ERROR_SUCCESS},
        // A profile without a classes hive file has no classes of its own: nothing to read.
        {2, 1, L"HKU\\" + kOnline + L"_Classes\\CLSID", kOnline, ERROR_SUCCESS},
    };
    EXPECT_EQ(6u, m_kiv->GetLocationCount(0));
    EXPECT_EQ(5u, m_kiv->GetLocationCount(1));
    for (const Case& c : cases) {
        SCOPED_TRACE(kivtest::Narrow(c.path));
        EXPECT_EQ(0, _wcsicmp(c.path.c_str(), m_kiv->GetLocationPath(c.c, c.l)));
        EXPECT_EQ(c.user, m_kiv->GetLocationUser(c.c, c.l));
        EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
        const unsigned error = m_kiv->GetLocationReadError(c.c, c.l);
        if (c.readError == kAnyFailure) {
            EXPECT_NE(0u, error);
        } else {
            EXPECT_EQ(c.readError, error);
        }
        if (error != 0 || c.c == 2) {
            EXPECT_EQ(0u, m_kiv->GetItemCount(c.c, c.l));
        }
    }
    EXPECT_STREQ(L"", m_kiv->GetLocationUser(0, 99));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(OtherUsersTest, ItemsSayWhoseTheyAreAndWindowsSwitchOfTheirUserCounts) {
    struct Case {
        unsigned c, l;
        const wchar_t* title;
        std::wstring file, user;
        int enabled;
    } cases[] = {
        {0, 1, L"KivOnlineApp", m_onlineApp, kOnline, 1},
        {0, 1, L"KivOnlineOff", m_onlineApp, kOnline, 0},
        {0, 2, L"KivOfflineApp", m_offlineApp, kOffline, 1},
        // A folder variable in another user's entry names that user's folder.
        {0, 2, L"KivOfflineRoaming", Profile(kOffline) + kRoamingApp, kOffline, 1},
        {1, 1, L"KivOnlineStart.exe", Profile(kOnline) + kStartup + L"\\KivOnlineStart.exe", kOnline, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(kivtest::Narrow(c.title));
        const unsigned id = Find(c.c, c.l, c.title);
        ASSERT_NE(0u, id);
        EXPECT_EQ(kivtest::Lower(c.file), kivtest::Lower(m_kiv->GetItemFilePath(id)));
        EXPECT_EQ(c.user, m_kiv->GetItemUser(id));
        EXPECT_EQ(c.enabled, m_kiv->GetItemEnabled(id));
    }
    // The running user's run key lists none of them.
    EXPECT_EQ(0u, Find(0, 0, L"KivOnlineApp"));
    EXPECT_EQ(0u, Find(0, 0, L"KivOfflineApp"));
}

TEST_F(OtherUsersTest, AnotherUsersHooksNameClassesOfThatUserOrOfTheMachine) {
    // The not-logged-on user's hooks: its own class and the machine's are found with
    // their servers; the class only the running user registers is not that user's.
    std::set<std::wstring> files;
    for (unsigned i = 0; i < m_kiv->GetItemCount(3, 2); ++i) {
        const unsigned id = m_kiv->GetItemGlobalID(3, 2, i);
        EXPECT_EQ(kOffline, m_kiv->GetItemUser(id));
        files.insert(kivtest::Lower(m_kiv->GetItemFilePath(id)));
    }
    EXPECT_EQ((std::set<std::wstring>{kivtest::Lower(m_offlineApp), kivtest::Lower(m_machineApp)}), files);
}

TEST_F(OtherUsersTest, ActionsChangeTheLoggedOnUsersHiveAndFolderOnly) {
    const std::wstring run = kOnline + L"\\" + kRun;
    const std::wstring startup = Profile(kOnline) + kStartup;
    RawValue value;
    unsigned app = Find(0, 1, L"KivOnlineApp");
    ASSERT_EQ(1, m_kiv->DisableItem(app));
    EXPECT_FALSE(ReadRaw(HKEY_USERS, run, L"KivOnlineApp", value));
    EXPECT_TRUE(ReadRaw(HKEY_USERS, run + L"\\_disabledByKiv", L"KivOnlineApp", value));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kRun + L"\\_disabledByKiv\\KivOnlineApp"));
    m_kiv->Collect();
    app = Find(0, 1, L"KivOnlineApp");
    EXPECT_EQ(0, m_kiv->GetItemEnabled(app));
    ASSERT_EQ(1, m_kiv->EnableItem(app));
    EXPECT_TRUE(ReadRaw(HKEY_USERS, run, L"KivOnlineApp", value));
    EXPECT_FALSE(ReadRaw(HKEY_USERS, run + L"\\_disabledByKiv", L"KivOnlineApp", value));
    // Enabling turns the user's own switch back on, in the user's hive.
    ASSERT_EQ(1, m_kiv->EnableItem(Find(0, 1, L"KivOnlineOff")));
    ASSERT_TRUE(ReadRaw(HKEY_USERS, kOnline + L"\\" + kRunSwitches, L"KivOnlineOff", value));
    EXPECT_EQ(2, value.bytes.at(0));
    ASSERT_EQ(1, m_kiv->RemoveItem(app));
    EXPECT_FALSE(ReadRaw(HKEY_USERS, run, L"KivOnlineApp", value));
    // As for the running user's run values, a removal keeps nothing that a restore
    // would bring back: the value stays gone.
    m_kiv->RestoreItem(app);
    EXPECT_FALSE(ReadRaw(HKEY_USERS, run, L"KivOnlineApp", value));

    const unsigned file = Find(1, 1, L"KivOnlineStart.exe");
    ASSERT_EQ(1, m_kiv->DisableItem(file));
    EXPECT_TRUE(kivtest::ReadBytes(startup + L"\\KivOnlineStart.exe").empty());
    EXPECT_EQ("MZ", kivtest::ReadBytes(startup + L"_disabledByKiv\\KivOnlineStart.exe"));
    ASSERT_EQ(1, m_kiv->EnableItem(file));
    EXPECT_EQ("MZ", kivtest::ReadBytes(startup + L"\\KivOnlineStart.exe"));
}

TEST_F(OtherUsersTest, AHiveTheModuleLoadsIsLoadedOnlyWhileReadOrActedOn) {
    // The collection has ended: nothing of the module's is left under HKEY_USERS,
    // nor are the privileges it enabled to load the hive.
    EXPECT_FALSE(ModuleHiveLoaded());
    EXPECT_FALSE(RestorePrivilegeEnabled());
    EXPECT_TRUE(KeyExists(HKEY_USERS, kOnline + L"\\" + kRun));
    const unsigned app = Find(0, 2, L"KivOfflineApp");
    ASSERT_NE(0u, app);
    // The action finds the entry in the hive loaded again for it (Wine keeps no
    // change once it unloads a hive; Windows writes it to the file).
    EXPECT_EQ(1, m_kiv->DisableItem(app));
    EXPECT_FALSE(ModuleHiveLoaded());
    EXPECT_FALSE(RestorePrivilegeEnabled());
    // A hive file gone since the collection: the action says so and changes nothing
    // (the classes hive loaded for it goes after it, leaving its reason as it was).
    ASSERT_TRUE(DeleteFileW((Profile(kOffline) + L"\\NTUSER.DAT").c_str()));
    EXPECT_EQ(0, m_kiv->EnableItem(app));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(0, m_kiv->GetItemEnabled(app));
}

TEST_F(OtherUsersTest, AnotherUsersStartupSwitchCountsWhenTheRunningUserHasNoStartupFolder) {
    // A host run as a service account may have no startup folder of its own.
    wchar_t startup[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, startup, CSIDL_STARTUP, FALSE));
    const std::wstring away = std::wstring(startup) + L".away";
    const std::wstring switches =
        kOnline + L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\StartupFolder";
    WriteRaw(HKEY_USERS, switches, L"KivOnlineStart.exe", RawValue{REG_BINARY, {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}});
    CKiv::Dispose();
    ASSERT_TRUE(MoveFileW(startup, away.c_str()));
    m_kiv = CKiv::Init();
    m_kiv->Collect();
    const BOOL movedBack = MoveFileW(away.c_str(), startup);
    ASSERT_TRUE(movedBack);
    // The running user's folder is not listed: the logged-on user's copy comes first.
    ASSERT_EQ(kOnline, m_kiv->GetLocationUser(1, 0));
    const unsigned file = Find(1, 0, L"KivOnlineStart.exe");
    ASSERT_NE(0u, file);
    EXPECT_EQ(1, m_kiv->GetItemStartupSwitchOff(file));
    ASSERT_EQ(1, m_kiv->EnableItem(file));
    RawValue value;
    ASSERT_TRUE(ReadRaw(HKEY_USERS, switches, L"KivOnlineStart.exe", value));
    EXPECT_EQ(2, value.bytes.at(0));
}

TEST_F(OtherUsersTest, AHiveKeptForAGoToIsUnloadedByTheNextCollectionAndByDispose) {
    std::vector<std::unique_ptr<Category>>& categories = CKivTestAccess::Categories(m_kiv);
    const Location* offline = categories[0]->m_locations[2].get();
    for (bool dispose : {false, true}) {
        SCOPED_TRACE(dispose ? "dispose" : "collect");
        {
            const kiv::ActionHives kept(offline, true);
            EXPECT_TRUE(kept.Ready());
        }
        EXPECT_TRUE(ModuleHiveLoaded());
        if (dispose) CKiv::Dispose();
        else m_kiv->Collect();
        EXPECT_FALSE(ModuleHiveLoaded());
    }
    // A hive Windows loaded is never unloaded by the module.
    EXPECT_TRUE(KeyExists(HKEY_USERS, kOnline + L"\\" + kRun));
}

TEST_F(OtherUsersTest, AGoToIntoAnotherUsersFolderKeepsNoHiveLoaded) {
    // Explorer shows the folder without the user's hive: none stays loaded after it.
    const Location* startup = CKivTestAccess::Categories(m_kiv)[1]->m_locations[2].get();
    ASSERT_EQ(0, _wcsicmp((Profile(kOffline) + kStartup).c_str(), startup->m_path.c_str()));
    {
        const kiv::ActionHives kept(startup, true);
        EXPECT_TRUE(kept.Ready());
    }
    EXPECT_FALSE(ModuleHiveLoaded());
}

TEST_F(OtherUsersTest, WithoutOtherProfilesTheRunningUsersLocationsAreAsBefore) {
    CKiv::Dispose();
    for (const std::wstring& sid : kUsers) RegDeleteKeyW(HKEY_LOCAL_MACHINE, (kProfileList + sid).c_str());
    m_kiv = CKiv::Init();
    ASSERT_NE(nullptr, m_kiv);
    m_kiv->Collect();
    wchar_t appData[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE);
    const std::vector<std::wstring> expected[] = {
        {L"HKCU\\" + kRun, L"HKLM\\SYSTEM\\KivNoSuchKey"},
        {std::wstring(appData) + L"\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"},
        {L"HKCU\\Software\\Classes\\CLSID"},
    };
    for (unsigned c = 0; c < 3; ++c) {
        ASSERT_EQ(expected[c].size(), m_kiv->GetLocationCount(c));
        for (unsigned l = 0; l < expected[c].size(); ++l) {
            EXPECT_EQ(0, _wcsicmp(expected[c][l].c_str(), m_kiv->GetLocationPath(c, l)));
            EXPECT_STREQ(L"", m_kiv->GetLocationUser(c, l));
            EXPECT_EQ(0u, m_kiv->GetLocationReadError(c, l));
        }
    }
}

TEST_F(OtherUsersTest, AHiveAnotherHostLoadedUnderTheModulesNameIsLeftToIt) {
    const std::wstring name = L"kiv_" + kOffline;
    SetHivePrivileges(true);
    ASSERT_EQ(ERROR_SUCCESS, RegLoadKeyW(HKEY_USERS, name.c_str(), (Profile(kOffline) + L"\\NTUSER.DAT").c_str()));
    SetHivePrivileges(false);
    m_kiv->Collect();
    // Not read this time, and still loaded for the host that loaded it.
    EXPECT_NE(0u, m_kiv->GetLocationReadError(0, 2));
    EXPECT_TRUE(KeyExists(HKEY_USERS, name + L"\\" + kRun));
    SetHivePrivileges(true);
    EXPECT_EQ(ERROR_SUCCESS, RegUnLoadKeyW(HKEY_USERS, name.c_str()));
    SetHivePrivileges(false);
}
