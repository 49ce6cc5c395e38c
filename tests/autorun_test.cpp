#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "core/Records.h"
#include "core/KivHandler.h"
#include "support/RegistryTestKit.h"
#include "support/TestSupport.h"

using kivtest::Lower;
using kivtest::RawValue;
using kivtest::ReadRaw;
using kivtest::ScratchFolder;
using kivtest::TextValue;
using kivtest::WriteRaw;

namespace {

// The test's own fixed drive (see autorun.cmake).
const wchar_t kDrive[] = L"V:\\";
const DWORD kDriveBit = 1u << (L'V' - L'A');
const wchar_t kPolicyKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
const wchar_t kPoliciesKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies";
const wchar_t kPolicyValue[] = L"NoDriveAutoRun";
const HKEY kRoots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A class registered for one test (Wine's classes root shows the machine's classes).
class TestClass {
public:
    TestClass(const std::wstring& id, const std::wstring& name, const std::wstring& server)
        : m_key(L"Software\\Classes\\CLSID\\" + id) {
        WriteRaw(HKEY_LOCAL_MACHINE, m_key, L"", TextValue(REG_SZ, name));
        WriteRaw(HKEY_LOCAL_MACHINE, m_key + L"\\InprocServer32", L"", TextValue(REG_SZ, server));
    }
    ~TestClass() { SHDeleteKeyW(HKEY_LOCAL_MACHINE, m_key.c_str()); }

private:
    std::wstring m_key;
};

using kivtest::Narrow;

using kivtest::ReadBytes;

std::wstring ProfileText(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
    wchar_t buffer[512] = {};
    GetPrivateProfileStringW(section, key, L"(absent)", buffer, 512, file.c_str());
    return buffer;
}

// A file on the test drive, deleted afterwards (read-only or not).
class DriveFile {
public:
    DriveFile(const std::wstring& path, const std::string& bytes) : m_path(path) {
        kivtest::WriteFileBytes(path, bytes);
    }
    ~DriveFile() {
        SetFileAttributesW(m_path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(m_path.c_str());
    }
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
};

// Folders made on the test drive, each removed with everything in it.
class DriveFolders {
public:
    ~DriveFolders() {
        for (const std::wstring& top : m_tops) kivtest::DeleteFolderTree(top);
    }
    // Makes kDrive + relative (and its parents); the last folder gets the attributes.
    std::wstring Make(const std::wstring& relative, DWORD attributes) {
        const std::wstring path = kDrive + relative;
        SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
        SetFileAttributesW(path.c_str(), attributes);
        m_tops.push_back(kDrive + relative.substr(0, relative.find(L'\\')));
        return path;
    }

private:
    std::vector<std::wstring> m_tops;
};

// Keeps the AutoRun policy of both roots and puts it back exactly: the value, the
// key's permissions, and no key that was not there before.
class PolicyGuard {
public:
    PolicyGuard() {
        for (HKEY root : kRoots) {
            Saved saved;
            saved.root = root;
            saved.hadPolicies = kivtest::KeyExists(root, kPoliciesKey);
            saved.hadExplorer = kivtest::KeyExists(root, kPolicyKey);
            saved.hadValue = ReadRaw(root, kPolicyKey, kPolicyValue, saved.value);
            if (saved.hadExplorer) SaveSecurity(saved);
            m_saved.push_back(saved);
        }
    }
    ~PolicyGuard() {
        for (const Saved& saved : m_saved) Restore(saved);
    }

private:
    struct Saved {
        HKEY root = nullptr;
        bool hadPolicies = false, hadExplorer = false, hadValue = false;
        RawValue value;
        std::vector<BYTE> security;
    };
    static void SaveSecurity(Saved& saved) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(saved.root, kPolicyKey, 0, READ_CONTROL, &key) != ERROR_SUCCESS) return;
        DWORD size = 0;
        RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
        saved.security.resize(size);
        if (size == 0 || RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, saved.security.data(), &size) != 0)
            saved.security.clear();
        RegCloseKey(key);
    }
    static void SetSecurity(HKEY root, PSECURITY_DESCRIPTOR sd) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, kPolicyKey, 0, WRITE_DAC, &key) != ERROR_SUCCESS) return;
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd);
        RegCloseKey(key);
    }
    static void Restore(const Saved& saved) {
        if (!saved.hadExplorer) {
            SHDeleteKeyW(saved.root, kPolicyKey);
            if (!saved.hadPolicies) RegDeleteKeyW(saved.root, kPoliciesKey);
            return;
        }
        if (!saved.security.empty()) SetSecurity(saved.root, const_cast<BYTE*>(saved.security.data()));
        if (saved.hadValue) WriteRaw(saved.root, kPolicyKey, kPolicyValue, saved.value);
        else RegDeleteKeyValueW(saved.root, kPolicyKey, kPolicyValue);
    }
    std::vector<Saved> m_saved;
};

RawValue Mask(DWORD mask, DWORD type = REG_DWORD) {
    RawValue value;
    value.type = type;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&mask);
    value.bytes.assign(bytes, bytes + sizeof(mask));
    return value;
}

void SetPolicy(HKEY root, const RawValue& value) { WriteRaw(root, kPolicyKey, kPolicyValue, value); }
void PolicyKeyWithoutValue(HKEY root) {
    SHDeleteKeyW(root, kPolicyKey);
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, kPolicyKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
}
void NoPolicyKey(HKEY root) { SHDeleteKeyW(root, kPolicyKey); }
RawValue Policy(HKEY root) {
    RawValue value;
    if (!ReadRaw(root, kPolicyKey, kPolicyValue, value)) value.type = REG_NONE;
    return value;
}

// Denies setting values on a root's policy key, and gives the right back.
void DenyPolicyWrites(HKEY root, bool deny) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    const wchar_t* sddl = deny ? L"D:(D;;0x2;;;WD)(A;;KA;;;WD)" : L"D:(A;;KA;;;WD)";
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr)) return;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, kPolicyKey, 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd);
        RegCloseKey(key);
    }
    LocalFree(sd);
}

class AutorunTest : public kivtest::FacadeTest {
protected:
    void SetUp() override {
        ASSERT_EQ(static_cast<UINT>(DRIVE_FIXED), GetDriveTypeW(kDrive)) << "the test drive v: is missing";
        FacadeTest::SetUp();
    }

    // Type 3 is no registry or folder location: its path and value are kept as given.
    Location* AddLocation(EKivHandlerType type, const std::wstring& value = L"", unsigned char wow64 = 0) {
        return FacadeTest::AddLocation(L"Drives", value, 3, type, wow64);
    }

    // The items of a location whose registry name n begins with the given text.
    std::vector<CKivItem*> ItemsWith(Location* location, size_t n, const std::wstring& prefix) {
        std::vector<CKivItem*> items;
        for (unsigned id : location->m_itemIds) {
            CKivItem* item = m_kiv->ItemMapGet(id);
            if (item && item->m_regNames.size() > n && item->m_regNames[n].compare(0, prefix.size(), prefix) == 0)
                items.push_back(item);
        }
        return items;
    }
};

}  // namespace

TEST_F(AutorunTest, CommandsMoveThroughTheDisabledAndRemovedKeys) {
    ScratchFolder folder(L"AutorunCommands");
    const std::wstring setup = folder.AddFile(L"my setup.exe");
    const std::wstring tool = folder.AddFile(L"tool.exe");
    const std::wstring menu = folder.AddFile(L"menu.exe");
    DriveFile inf(L"V:\\Autorun.inf", "[autorun]\r\nopen=\"" + Narrow(setup) + "\"\r\nshellexecute=" + Narrow(tool) +
                                          " /x\r\nShell\\Option1\\Command=" + Narrow(menu) + "\r\n");
    Location* location = AddLocation(AutorunInf);
    m_kiv->Collect();

    ASSERT_EQ(3u, ItemsWith(location, 1, inf.Path()).size());
    CKivItem* open = FindTitle(location, L"open= my setup.exe");
    ASSERT_NE(nullptr, open);
    EXPECT_EQ(Lower(setup), Lower(open->m_file.filePath));
    EXPECT_EQ((std::vector<std::wstring>{L"open", inf.Path()}), open->m_regNames);
    EXPECT_EQ(GotoKind::Explorer, open->m_gotoKind);
    EXPECT_EQ(0u, open->m_removed);
    ASSERT_NE(nullptr, FindTitle(location, L"shellexecute= tool.exe"));

    // The command keeps its quotes on the way, so the spaced name stays one name.
    ASSERT_EQ(1, m_kiv->DisableItem(open->m_globalId));
    const std::string disabled = ReadBytes(inf.Path());
    EXPECT_NE(std::string::npos, disabled.find("open_disabledByKiv=\"" + Narrow(setup) + "\""));
    EXPECT_EQ(L"(absent)", ProfileText(inf.Path(), L"autorun", L"open"));
    m_kiv->Collect();
    open = FindTitle(location, L"open= my setup.exe");
    ASSERT_NE(nullptr, open);
    EXPECT_EQ(0u, open->m_enabled);
    ASSERT_EQ(1, m_kiv->EnableItem(open->m_globalId));
    EXPECT_NE(std::string::npos, ReadBytes(inf.Path()).find("open=\"" + Narrow(setup) + "\""));
    EXPECT_EQ(L"(absent)", ProfileText(inf.Path(), L"autorun", L"open_disabledByKiv"));

    // Removed while enabled: found again only in the removed part of the enabled pass.
    CKivItem* command = FindTitle(location, L"Shell\\Option1\\Command= menu.exe");
    ASSERT_NE(nullptr, command);
    ASSERT_EQ(1, m_kiv->RemoveItem(command->m_globalId));
    EXPECT_EQ(menu, ProfileText(inf.Path(), L"autorun", L"Shell\\Option1\\Command_removedByKiv"));
    m_kiv->Collect();
    command = FindTitle(location, L"Shell\\Option1\\Command= menu.exe");
    ASSERT_NE(nullptr, command);
    EXPECT_EQ(1u, command->m_enabled);
    EXPECT_EQ(1, m_kiv->IsRemoved(command->m_globalId));
    ASSERT_EQ(1, m_kiv->RestoreItem(command->m_globalId));
    EXPECT_EQ(0, m_kiv->IsRemoved(command->m_globalId));
    EXPECT_EQ(menu, ProfileText(inf.Path(), L"autorun", L"Shell\\Option1\\Command"));

    // Removed while disabled: both suffixes, and restored to the disabled key.
    CKivItem* execute = FindTitle(location, L"shellexecute= tool.exe");
    ASSERT_EQ(1, m_kiv->DisableItem(execute->m_globalId));
    ASSERT_EQ(1, m_kiv->RemoveItem(execute->m_globalId));
    const std::wstring both = L"shellexecute_disabledByKiv_removedByKiv";
    EXPECT_EQ(tool + L" /x", ProfileText(inf.Path(), L"autorun", both.c_str()));
    m_kiv->Collect();
    execute = FindTitle(location, L"shellexecute= tool.exe");
    ASSERT_NE(nullptr, execute);
    EXPECT_EQ(0u, execute->m_enabled);
    EXPECT_EQ(1u, execute->m_removed);
    ASSERT_EQ(1, m_kiv->RestoreItem(execute->m_globalId));
    EXPECT_EQ(tool + L" /x", ProfileText(inf.Path(), L"autorun", L"shellexecute_disabledByKiv"));
    EXPECT_EQ(0, execute->m_handler->RestoreItem(execute));  // nothing removed is left
}

TEST_F(AutorunTest, RemovalsAreUndoneInTheSameRunAndNeverStandForALiveCommand) {
    ScratchFolder folder(L"AutorunUndo");
    const std::wstring older = folder.AddFile(L"older.exe"), newer = folder.AddFile(L"newer.exe");
    DriveFile inf(L"V:\\Autorun.inf", "[autorun]\r\nopen=" + Narrow(older) + "\r\n");
    Location* location = AddLocation(AutorunInf);
    m_kiv->Collect();
    CKivItem* open = FindTitle(location, L"open= older.exe");
    ASSERT_NE(nullptr, open);
    ASSERT_EQ(1, m_kiv->RemoveItem(open->m_globalId));
    EXPECT_EQ(1, m_kiv->IsRemoved(open->m_globalId));
    ASSERT_EQ(1, m_kiv->RestoreItem(open->m_globalId));
    EXPECT_EQ(older, ProfileText(inf.Path(), L"autorun", L"open"));
    EXPECT_EQ(L"(absent)", ProfileText(inf.Path(), L"autorun", L"open_removedByKiv"));

    // A newer command under the live key is no action's of the removed item, in
    // this run or the next, and a restore keeps both texts.
    ASSERT_EQ(1, m_kiv->RemoveItem(open->m_globalId));
    ASSERT_TRUE(WritePrivateProfileStringW(L"autorun", L"open", newer.c_str(), inf.Path().c_str()));
    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(0, m_kiv->RemoveItem(open->m_globalId));
        EXPECT_EQ(0, m_kiv->DisableItem(open->m_globalId));
        EXPECT_EQ(0, m_kiv->RestoreItem(open->m_globalId));
        EXPECT_EQ(newer, ProfileText(inf.Path(), L"autorun", L"open"));
        EXPECT_EQ(older, ProfileText(inf.Path(), L"autorun", L"open_removedByKiv"));
        EXPECT_EQ(L"(absent)", ProfileText(inf.Path(), L"autorun", L"open_disabledByKiv"));
        m_kiv->Collect();
        open = FindTitle(location, L"open= older.exe");
        ASSERT_NE(nullptr, open);
        ASSERT_EQ(1u, open->m_removed);
    }
}

TEST_F(AutorunTest, OlderDisabledCommandsAreNeverWrittenOverAndOverlongOnesAreLeftAlone) {
    ScratchFolder folder(L"AutorunLimits");
    const std::wstring app = folder.AddFile(L"app.exe");
    const std::wstring older = folder.AddFile(L"older.exe");
    const std::string overlong = Narrow(app) + std::string(300, ' ') + "/x";
    DriveFile inf(L"V:\\Autorun.inf", "[autorun]\r\nopen=" + Narrow(app) + "\r\nopen_disabledByKiv=" + Narrow(older) +
                                          "\r\nshellexecute=" + overlong + "\r\n");
    Location* location = AddLocation(AutorunInf);
    Location* twin = AddLocation(AutorunInf, L"", 1);
    m_kiv->Collect();

    EXPECT_TRUE(twin->m_itemIds.empty());
    ASSERT_EQ(2u, ItemsWith(location, 1, inf.Path()).size());  // nothing from the overlong command
    CKivItem* live = FindTitle(location, L"open= app.exe");
    ASSERT_NE(nullptr, live);
    ASSERT_NE(nullptr, FindTitle(location, L"open= older.exe"));
    // The older disabled command would be lost: the disable refuses and keeps both;
    // once that command is removed, the live one is disabled.
    EXPECT_EQ(0, m_kiv->DisableItem(live->m_globalId));
    EXPECT_EQ(app, ProfileText(inf.Path(), L"autorun", L"open"));
    EXPECT_EQ(older, ProfileText(inf.Path(), L"autorun", L"open_disabledByKiv"));
    ASSERT_EQ(1, m_kiv->RemoveItem(FindTitle(location, L"open= older.exe")->m_globalId));
    ASSERT_EQ(1, m_kiv->DisableItem(live->m_globalId));
    EXPECT_EQ(app, ProfileText(inf.Path(), L"autorun", L"open_disabledByKiv"));
    EXPECT_EQ(older, ProfileText(inf.Path(), L"autorun", L"open_disabledByKiv_removedByKiv"));

    // A command that has grown too long to be read whole is not moved.
    kivtest::WriteFileBytes(inf.Path(), "[autorun]\r\nopen_disabledByKiv=" + overlong + "\r\n");
    const std::string before = ReadBytes(inf.Path());
    EXPECT_EQ(0, m_kiv->EnableItem(live->m_globalId));
    EXPECT_EQ(before, ReadBytes(inf.Path()));
}

TEST_F(AutorunTest, DrivesAreListedByTypeAndByTheirPolicyBit) {
    PolicyGuard guard;
    DriveFile inf(L"V:\\AutoRun.inf", "[autorun]\r\n");
    SetPolicy(HKEY_LOCAL_MACHINE, Mask(0x1, REG_BINARY));
    SetPolicy(HKEY_CURRENT_USER, Mask(kDriveBit));
    Location* fixed = AddLocation(AutoPlay, L"3");
    Location* removable = AddLocation(AutoPlay, L"2");
    Location* unknown = AddLocation(AutoPlay, L"none");
    Location* twin = AddLocation(AutoPlay, L"3", 1);
    // Drives are probed without system dialogs; the thread gets its own mode back.
    DWORD previous = 0;
    ASSERT_TRUE(SetThreadErrorMode(SEM_NOGPFAULTERRORBOX, &previous));
    m_kiv->Collect();
    EXPECT_EQ(static_cast<DWORD>(SEM_NOGPFAULTERRORBOX), GetThreadErrorMode());
    SetThreadErrorMode(previous, nullptr);

    ASSERT_EQ(1u, ItemsWith(fixed, 0, L"V").size());
    EXPECT_TRUE(ItemsWith(removable, 0, L"V").empty());
    EXPECT_TRUE(ItemsWith(unknown, 0, L"V").empty());
    EXPECT_TRUE(twin->m_itemIds.empty());
    CKivItem* drive = ItemsWith(fixed, 0, L"V")[0];
    EXPECT_EQ(L"V:\\", drive->m_title);  // the test drive has no volume label
    EXPECT_EQ(inf.Path(), drive->m_file.filePath);
    EXPECT_EQ(0u, drive->m_enabled);  // its bit is set in one root only
    EXPECT_EQ(0, m_kiv->Ostrel_ItemCompatible(drive->m_globalId));

    // Enabling clears the bit in both roots and keeps each value's other bits and type.
    ASSERT_EQ(1, m_kiv->EnableItem(drive->m_globalId));
    EXPECT_EQ(Mask(0), Policy(HKEY_CURRENT_USER));
    EXPECT_EQ(Mask(0x1, REG_BINARY), Policy(HKEY_LOCAL_MACHINE));
    m_kiv->Collect();
    drive = ItemsWith(fixed, 0, L"V")[0];
    EXPECT_EQ(1u, drive->m_enabled);
    ASSERT_EQ(1, m_kiv->DisableItem(drive->m_globalId));
    EXPECT_EQ(Mask(kDriveBit), Policy(HKEY_CURRENT_USER));
    EXPECT_EQ(Mask(0x1 | kDriveBit, REG_BINARY), Policy(HKEY_LOCAL_MACHINE));
}

TEST_F(AutorunTest, PolicyChangesTouchOnlyWhatTheyCanReadAndReportTheDrivesRealState) {
    PolicyGuard guard;
    DriveFile inf(L"V:\\AutoRun.inf", "[autorun]\r\n");
    NoPolicyKey(HKEY_LOCAL_MACHINE);
    PolicyKeyWithoutValue(HKEY_CURRENT_USER);
    Location* fixed = AddLocation(AutoPlay, L"3");
    m_kiv->Collect();
    ASSERT_EQ(1u, ItemsWith(fixed, 0, L"V").size());
    const unsigned id = ItemsWith(fixed, 0, L"V")[0]->m_globalId;

    // A root without the policy key is passed over; the key is never made.
    ASSERT_EQ(1, m_kiv->DisableItem(id));
    EXPECT_EQ(Mask(kDriveBit), Policy(HKEY_CURRENT_USER));
    EXPECT_FALSE(kivtest::KeyExists(HKEY_LOCAL_MACHINE, kPolicyKey));

    // A value that is no mask is never written over, so nothing changes.
    const RawValue text = TextValue(REG_SZ, L"not a mask");
    SetPolicy(HKEY_CURRENT_USER, text);
    m_kiv->ItemMapGet(id)->m_enabled = 1;  // asked as if found enabled
    EXPECT_EQ(0, m_kiv->DisableItem(id));
    EXPECT_EQ(text, Policy(HKEY_CURRENT_USER));
    NoPolicyKey(HKEY_CURRENT_USER);
    m_kiv->ItemMapGet(id)->m_enabled = 0;  // and now as if found disabled
    EXPECT_EQ(0, m_kiv->EnableItem(id));
    EXPECT_FALSE(kivtest::KeyExists(HKEY_CURRENT_USER, kPolicyKey));

    // While a root that cannot be written keeps the bit, AutoRun stays off.
    SetPolicy(HKEY_LOCAL_MACHINE, Mask(kDriveBit));
    SetPolicy(HKEY_CURRENT_USER, Mask(kDriveBit));
    DenyPolicyWrites(HKEY_LOCAL_MACHINE, true);
    EXPECT_EQ(0, m_kiv->EnableItem(id));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(0, m_kiv->GetItemEnabled(id));
    EXPECT_EQ(Mask(kDriveBit), Policy(HKEY_CURRENT_USER));  // the user's bit put back: nothing changed
    DenyPolicyWrites(HKEY_LOCAL_MACHINE, false);
    EXPECT_EQ(Mask(kDriveBit), Policy(HKEY_LOCAL_MACHINE));
    ASSERT_EQ(1, m_kiv->EnableItem(id));
    EXPECT_EQ(Mask(0), Policy(HKEY_LOCAL_MACHINE));
}

TEST_F(AutorunTest, RemovingADriveDeletesItsAutorunFileUnlessReadOnly) {
    PolicyGuard guard;
    NoPolicyKey(HKEY_LOCAL_MACHINE);
    NoPolicyKey(HKEY_CURRENT_USER);
    DriveFile inf(L"V:\\AutoRun.inf", "[autorun]\r\n");
    SetFileAttributesW(inf.Path().c_str(), FILE_ATTRIBUTE_READONLY);
    Location* fixed = AddLocation(AutoPlay, L"3");
    m_kiv->Collect();
    ASSERT_EQ(1u, ItemsWith(fixed, 0, L"V").size());
    const unsigned id = ItemsWith(fixed, 0, L"V")[0]->m_globalId;
    EXPECT_EQ(1, m_kiv->GetItemEnabled(id));

    EXPECT_EQ(0, m_kiv->RemoveItem(id));
    EXPECT_TRUE(IsFile(inf.Path()));
    SetFileAttributesW(inf.Path().c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(1, m_kiv->RemoveItem(id));
    EXPECT_FALSE(IsFile(inf.Path()));
}

TEST_F(AutorunTest, SystemFoldersListTheClassesOfTheirDesktopIni) {
    ScratchFolder folder(L"DesktopIni");
    const std::wstring server = folder.AddFile(L"folder.dll");
    const std::wstring classId = L"{8B2C3D4E-3333-4444-8555-A66677778881}";
    const std::wstring unknown = L"{8B2C3D4E-3333-4444-8555-A66677778882}";
    TestClass registered(classId, L"Kiv Folder Class", server);
    const std::string header = "[.ShellClassInfo]\r\nCLSID=";
    const std::string both = header + Narrow(classId) + "\r\nUICLSID=" + Narrow(classId) + "\r\n";
    DriveFolders folders;
    kivtest::WriteFileBytes(folders.Make(L"KivSys", FILE_ATTRIBUTE_SYSTEM) + L"\\desktop.ini", both);
    kivtest::WriteFileBytes(folders.Make(L"KivPlain", FILE_ATTRIBUTE_NORMAL) + L"\\desktop.ini", both);
    kivtest::WriteFileBytes(folders.Make(L"KivDeep\\Er\\Sys", FILE_ATTRIBUTE_SYSTEM) + L"\\desktop.ini",
                            header + Narrow(unknown) + "\r\nUICLSID=" + Narrow(classId) + "\r\n");
    folders.Make(L"KivDeep\\Er\\NoIni", FILE_ATTRIBUTE_SYSTEM);
    folders.Make(L"KivDeep\\Er\\IniFolder\\desktop.ini", FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesW(L"V:\\KivDeep\\Er\\IniFolder", FILE_ATTRIBUTE_SYSTEM);
    Location* location = AddLocation(DesktopIniObj);
    Location* twin = AddLocation(DesktopIniObj, L"", 1);
    m_kiv->Collect();

    // One item per class value; the link back to the drive root is not followed.
    const std::vector<CKivItem*> items = ItemsWith(location, 0, kDrive);
    ASSERT_EQ(3u, items.size());
    EXPECT_EQ(2u, ItemsWith(location, 0, L"V:\\KivSys\\desktop.ini").size());
    EXPECT_EQ(1u, ItemsWith(location, 0, L"V:\\KivDeep\\Er\\Sys\\desktop.ini").size());
    for (CKivItem* item : items) {
        EXPECT_EQ(L"Kiv Folder Class", item->m_title);
        EXPECT_EQ(Lower(server), Lower(item->m_file.filePath));
        EXPECT_EQ(1u, item->m_enabled);
        EXPECT_EQ(GotoKind::Explorer, item->m_gotoKind);
    }
    EXPECT_TRUE(twin->m_itemIds.empty());

    // These entries cannot be changed.
    const unsigned id = items[0]->m_globalId;
    EXPECT_EQ(0, m_kiv->DisableItem(id));
    EXPECT_EQ(0, m_kiv->RemoveItem(id));
    EXPECT_TRUE(IsFile(items[0]->m_regNames[0]));
}
