#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <shlwapi.h>

#include <map>
#include <vector>

#include "core/Records.h"
#include "handlers/steps/RegistryTree.h"
#include "platform/Handles.h"
#include "support/RegistryTestKit.h"
#include "support/TestSupport.h"

using kivtest::DeniedRight;
using kivtest::KeyExists;
using kivtest::Lower;
using kivtest::RawValue;
using kivtest::ReadRaw;
using kivtest::ScratchFolder;
using kivtest::ScratchKey;
using kivtest::TextValue;
using kivtest::WriteRaw;

namespace {

const HKEY kUser = HKEY_CURRENT_USER;

void WriteViewText(REGSAM view, const std::wstring& path, const std::wstring& text) {
    kiv::UniqueHKey key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view,
                                             nullptr, key.Put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.Get(), L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))));
}

// A class registered for one test, in the native view of the machine's classes or
// in their 32-bit view (Wine's classes root shows the machine's classes).
class TestClass {
public:
    TestClass(const std::wstring& id, const std::wstring& name, const std::wstring& server, REGSAM view = 0)
        : m_key(L"Software\\Classes\\CLSID\\" + id), m_view(view) {
        if (!name.empty()) WriteViewText(view, m_key, name);
        WriteViewText(view, m_key + L"\\InprocServer32", server);
    }
    ~TestClass() {
        kiv::UniqueHKey classes;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID", 0, KEY_ALL_ACCESS | m_view, classes.Put()) ==
            ERROR_SUCCESS)
            SHDeleteKeyW(classes.Get(), m_key.substr(m_key.rfind(L'\\') + 1).c_str());
    }

private:
    std::wstring m_key;
    REGSAM m_view;
};

// A file of the test's own in a folder of the system, deleted at the end.
class SystemFile {
public:
    explicit SystemFile(const std::wstring& path) : m_path(path) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, file);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    ~SystemFile() { DeleteFileW(m_path.c_str()); }
    SystemFile(const SystemFile&) = delete;
    SystemFile& operator=(const SystemFile&) = delete;

private:
    std::wstring m_path;
};

// Every key and value below a key, by relative path, for comparing whole trees.
void DumpTree(HKEY root, const std::wstring& path, const std::wstring& relative,
              std::map<std::wstring, RawValue>& out) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    out[relative + L"\\"] = RawValue();
    wchar_t name[300];
    for (DWORD i = 0;; ++i) {
        DWORD chars = 300;
        if (RegEnumValueW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        ReadRaw(root, path, name, out[relative + L"|" + name]);
    }
    for (DWORD i = 0;; ++i) {
        DWORD chars = 300;
        if (RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        DumpTree(root, path + L"\\" + name, relative + L"\\" + name, out);
    }
    RegCloseKey(key);
}

std::map<std::wstring, RawValue> Tree(const std::wstring& path) {
    std::map<std::wstring, RawValue> out;
    DumpTree(kUser, path, L"", out);
    return out;
}

// An entry with values of several types and two levels of subkeys.
void WriteNestedEntry(const std::wstring& path, const std::wstring& command) {
    WriteRaw(kUser, path, L"", TextValue(REG_SZ, L"Nested Entry"));
    WriteRaw(kUser, path, L"Command", TextValue(REG_EXPAND_SZ, command));
    RawValue number;
    number.type = REG_DWORD;
    number.bytes = {7, 0, 0, 0};
    WriteRaw(kUser, path + L"\\Inner", L"Number", number);
    WriteRaw(kUser, path + L"\\Inner\\Deeper", L"Text", TextValue(REG_SZ, L"deep"));
    WriteRaw(kUser, path + L"\\Empty", L"", TextValue(REG_SZ, L""));
}

class ClassKeyTest : public kivtest::FacadeTest {
protected:
    Location* AddLocation(const std::wstring& keyBelowHkcu, EKivHandlerType type, unsigned char wow64 = 0) {
        return FacadeTest::AddLocation(L"HKCU\\" + keyBelowHkcu, L"", 0, type, wow64);
    }

    CKivItem* FindByName(Location* location, const std::wstring& name) {
        for (unsigned id : location->m_itemIds) {
            CKivItem* item = m_kiv->ItemMapGet(id);
            if (item && !item->m_regNames.empty() && item->m_regNames[0] == name) return item;
        }
        return nullptr;
    }
};

const wchar_t kNamed[] = L"{7A1B2C3D-2222-4333-8444-955566667771}";
const wchar_t kNameless[] = L"{7A1B2C3D-2222-4333-8444-955566667772}";
const wchar_t kServerless[] = L"{7A1B2C3D-2222-4333-8444-955566667773}";

}  // namespace

TEST_F(ClassKeyTest, ClassNamedSubkeysAndCommandSubkeysAreCollected) {
    ScratchKey key(L"ClassKeys");
    ScratchFolder folder(L"ClassKeys");
    const std::wstring server = folder.AddFile(L"server.dll");
    const std::wstring app = folder.AddFile(L"app.exe");
    TestClass named(kNamed, L"Kiv Named Class", server);
    TestClass nameless(kNameless, L"", server);
    TestClass serverless(kServerless, L"Gone", folder.Path() + L"\\missing.dll");
    const std::wstring live = key.Path();
    WriteRaw(kUser, live + L"\\" + kNamed, L"", TextValue(REG_SZ, L"not the title"));
    WriteRaw(kUser, live + L"\\" + kNameless, L"", TextValue(REG_SZ, L""));
    WriteRaw(kUser, live + L"\\" + kServerless, L"", TextValue(REG_SZ, L""));  // no string with a file: none
    RawValue number;
    number.type = REG_DWORD;
    number.bytes = {1, 0, 0, 0};
    WriteRaw(kUser, live + L"\\Titled", L"Flags", number);
    WriteRaw(kUser, live + L"\\Titled", L"Broken", TextValue(REG_SZ, folder.Path() + L"\\missing.exe"));
    WriteRaw(kUser, live + L"\\Titled", L"Run", TextValue(REG_SZ, L"\"" + app + L"\" /q"));
    WriteRaw(kUser, live + L"\\Titled", L"", TextValue(REG_SZ, L"Nice Title"));
    WriteRaw(kUser, live + L"\\Untitled", L"Run", TextValue(REG_EXPAND_SZ, app));
    WriteRaw(kUser, live + L"\\Untitled", L"", number);  // a default that is no text gives no title
    WriteRaw(kUser, live + L"\\Numbers", L"Flags", number);
    // A command under the marker subkey belongs to no live entry.
    WriteRaw(kUser, live + L"\\_disabledByKiv", L"Stray", TextValue(REG_SZ, app));
    WriteRaw(kUser, live + L"\\_disabledByKiv\\Off", L"Run", TextValue(REG_SZ, app));
    Location* location = AddLocation(live, CoIdInKey);
    m_kiv->Collect();

    ASSERT_EQ(5u, location->m_itemIds.size());
    CKivItem* byClass = FindByName(location, kNamed);
    ASSERT_NE(nullptr, byClass);
    EXPECT_EQ(L"Kiv Named Class", byClass->m_title);
    EXPECT_EQ(Lower(server), Lower(byClass->m_file.filePath));
    EXPECT_EQ(GotoKind::RegistryKey, byClass->m_gotoKind);
    EXPECT_EQ(1u, byClass->m_enabled);
    CKivItem* byServer = FindByName(location, kNameless);
    ASSERT_NE(nullptr, byServer);
    EXPECT_EQ(Lower(server), Lower(byServer->m_title));
    CKivItem* titled = FindByName(location, L"Titled");
    ASSERT_NE(nullptr, titled);
    EXPECT_EQ(L"Nice Title", titled->m_title);
    EXPECT_EQ(Lower(app), Lower(titled->m_file.filePath));  // the first value that resolves
    CKivItem* untitled = FindByName(location, L"Untitled");
    ASSERT_NE(nullptr, untitled);
    EXPECT_EQ(L"Untitled", untitled->m_title);
    CKivItem* off = FindByName(location, L"Off");
    ASSERT_NE(nullptr, off);
    EXPECT_EQ(0u, off->m_enabled);
    EXPECT_EQ(nullptr, FindByName(location, L"_disabledByKiv"));
    EXPECT_EQ(nullptr, FindByName(location, kServerless));
    EXPECT_EQ(nullptr, FindByName(location, L"Numbers"));
}

TEST_F(ClassKeyTest, SubkeysNameTheirClassInTheirClsidValue) {
    ScratchKey key(L"ClassValueKeys");
    ScratchFolder folder(L"ClassValueKeys");
    const std::wstring server = folder.AddFile(L"handler.dll");
    TestClass named(kNamed, L"Kiv Handler Class", server);
    TestClass serverless(kServerless, L"Gone", folder.Path() + L"\\missing.dll");
    const std::wstring live = key.Path();
    WriteRaw(kUser, live + L"\\Handler", L"CLSID", TextValue(REG_SZ, kNamed));
    WriteRaw(kUser, live + L"\\NoServer", L"CLSID", TextValue(REG_SZ, kServerless));
    WriteRaw(kUser, live + L"\\NoValue", L"Other", TextValue(REG_SZ, kNamed));
    WriteRaw(kUser, live + L"\\" + kNamed, L"", TextValue(REG_SZ, L""));  // its name is no "CLSID" value
    Location* location = AddLocation(live, CoIdInKeyValue);
    m_kiv->Collect();

    ASSERT_EQ(1u, location->m_itemIds.size());
    CKivItem* item = FindByName(location, L"Handler");
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(L"Kiv Handler Class", item->m_title);
    EXPECT_EQ(Lower(server), Lower(item->m_file.filePath));
}

// A location's 32-bit twin reads the classes in their 32-bit view and finds the
// server where a 32-bit process would load it from.
TEST_F(ClassKeyTest, TheThirtyTwoBitTwinReadsClassesAndServersAsA32BitProcessDoes) {
    const wchar_t kOnly32[] = L"{7A1B2C3D-2222-4333-8444-955566667774}";
    const wchar_t kBoth[] = L"{7A1B2C3D-2222-4333-8444-955566667775}";
    ScratchKey key(L"ClassViews");
    ScratchFolder folder(L"ClassViews");
    wchar_t system[MAX_PATH] = {}, wow64[MAX_PATH] = {};
    ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
    ASSERT_NE(0u, GetSystemWow64DirectoryW(wow64, MAX_PATH));
    SystemFile native(std::wstring(system) + L"\\kivviewtest.dll");
    SystemFile redirected(std::wstring(wow64) + L"\\kivviewtest.dll");
    const std::wstring only32Server = folder.AddFile(L"only32.dll");
    const std::wstring serverText = L"%SystemRoot%\\System32\\kivviewtest.dll";
    TestClass only32(kOnly32, L"Only 32", only32Server, KEY_WOW64_32KEY);
    TestClass both64(kBoth, L"Both 64", serverText);
    TestClass both32(kBoth, L"Both 32", serverText, KEY_WOW64_32KEY);
    WriteRaw(kUser, key.Path() + L"\\Subkeys\\" + kOnly32, L"", TextValue(REG_SZ, L""));
    WriteRaw(kUser, key.Path() + L"\\Subkeys\\" + kBoth, L"", TextValue(REG_SZ, L""));
    WriteRaw(kUser, key.Path() + L"\\Values", L"Loader", TextValue(REG_SZ, kOnly32));
    Location* nativeKeys = AddLocation(key.Path() + L"\\Subkeys", CoIdInKey);
    Location* twinKeys = AddLocation(key.Path() + L"\\Subkeys", CoIdInKey, 1);
    Location* nativeValues = AddLocation(key.Path() + L"\\Values", CoIdInValue);
    Location* twinValues = AddLocation(key.Path() + L"\\Values", CoIdInValue, 1);
    m_kiv->Collect();

    // The native view knows only the class registered in both, with its own server.
    ASSERT_EQ(1u, nativeKeys->m_itemIds.size());
    CKivItem* item = FindByName(nativeKeys, kBoth);
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(L"Both 64", item->m_title);
    EXPECT_EQ(Lower(std::wstring(system) + L"\\kivviewtest.dll"), Lower(item->m_file.filePath));
    EXPECT_TRUE(nativeValues->m_itemIds.empty());

    ASSERT_EQ(2u, twinKeys->m_itemIds.size());
    item = FindByName(twinKeys, kBoth);
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(L"Both 32", item->m_title);
    EXPECT_EQ(Lower(std::wstring(wow64) + L"\\kivviewtest.dll"), Lower(item->m_file.filePath));
    item = FindByName(twinKeys, kOnly32);
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(Lower(only32Server), Lower(item->m_file.filePath));
    item = FindByName(twinValues, L"Loader");
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(L"Only 32", item->m_title);
}

TEST_F(ClassKeyTest, WholeSubkeysMoveToTheMarkerAndBack) {
    ScratchKey key(L"ClassKeyMoves");
    ScratchFolder folder(L"ClassKeyMoves");
    const std::wstring app = folder.AddFile(L"app.exe");
    const std::wstring live = key.Path();
    const std::wstring marker = live + L"\\_disabledByKiv";
    WriteNestedEntry(live + L"\\Entry", app);
    WriteNestedEntry(live + L"\\Other", app);
    const auto original = Tree(live + L"\\Entry");
    Location* location = AddLocation(live, CoIdInKey);
    m_kiv->Collect();
    CKivItem* entry = FindByName(location, L"Entry");
    CKivItem* other = FindByName(location, L"Other");
    ASSERT_TRUE(entry && other);
    EXPECT_EQ(L"Nested Entry", entry->m_title);

    ASSERT_EQ(1, m_kiv->DisableItem(entry->m_globalId));
    ASSERT_EQ(1, m_kiv->DisableItem(other->m_globalId));
    EXPECT_EQ(0, m_kiv->GetItemEnabled(entry->m_globalId));
    EXPECT_FALSE(KeyExists(kUser, live + L"\\Entry"));
    EXPECT_EQ(original, Tree(marker + L"\\Entry"));

    wchar_t keyText[260] = L"untouched";
    wchar_t valueText[260] = L"untouched";
    m_kiv->Ostrel_GetItemRegLocation(entry->m_globalId, keyText, valueText, 260, 260);
    EXPECT_EQ(L"HKCU\\" + live + L"\\Entry", std::wstring(keyText));  // the live place, also when disabled
    EXPECT_EQ(L"untouched", std::wstring(valueText));                 // no value name comes back

    m_kiv->Collect();
    entry = FindByName(location, L"Entry");
    ASSERT_NE(nullptr, entry);
    EXPECT_EQ(0u, entry->m_enabled);
    ASSERT_EQ(1, m_kiv->EnableItem(entry->m_globalId));
    EXPECT_EQ(original, Tree(live + L"\\Entry"));
    EXPECT_TRUE(KeyExists(kUser, marker));  // still holds "Other"
    other = FindByName(location, L"Other");
    ASSERT_EQ(1, m_kiv->EnableItem(other->m_globalId));
    EXPECT_FALSE(KeyExists(kUser, marker));
    // Already enabled: nothing to move, and that is what was asked.
    EXPECT_EQ(1, m_kiv->EnableItem(other->m_globalId));
    EXPECT_FALSE(KeyExists(kUser, marker));
    EXPECT_EQ(original, Tree(live + L"\\Entry"));
}

TEST_F(ClassKeyTest, RemovalDeletesTheWholeSubkeyAndAnEmptiedMarker) {
    ScratchKey key(L"ClassKeyRemove");
    ScratchFolder folder(L"ClassKeyRemove");
    const std::wstring app = folder.AddFile(L"app.exe");
    const std::wstring live = key.Path();
    const std::wstring marker = live + L"\\_disabledByKiv";
    WriteNestedEntry(live + L"\\Live", app);
    WriteNestedEntry(marker + L"\\Off", app);
    Location* location = AddLocation(live, CoIdInKey);
    m_kiv->Collect();
    CKivItem* liveItem = FindByName(location, L"Live");
    CKivItem* offItem = FindByName(location, L"Off");
    ASSERT_TRUE(liveItem && offItem);

    ASSERT_EQ(1, m_kiv->RemoveItem(liveItem->m_globalId));
    EXPECT_FALSE(KeyExists(kUser, live + L"\\Live"));
    EXPECT_TRUE(KeyExists(kUser, marker + L"\\Off"));
    ASSERT_EQ(1, m_kiv->RemoveItem(offItem->m_globalId));
    EXPECT_FALSE(KeyExists(kUser, marker));
    EXPECT_EQ(0, m_kiv->RemoveItem(offItem->m_globalId));

    // A name that is empty stands for no entry: the location's key is never taken whole.
    WriteNestedEntry(live + L"\\Kept", app);
    liveItem->m_regNames[0].clear();
    EXPECT_EQ(0, m_kiv->RemoveItem(liveItem->m_globalId));
    EXPECT_EQ(0, m_kiv->DisableItem(liveItem->m_globalId));
    EXPECT_TRUE(KeyExists(kUser, live + L"\\Kept\\Inner\\Deeper"));
    EXPECT_FALSE(KeyExists(kUser, marker));
}

TEST_F(ClassKeyTest, AFailedCopyLeavesBothPlacesAsTheyWere) {
    ScratchKey key(L"ClassKeyCopyFails");
    ScratchFolder folder(L"ClassKeyCopyFails");
    const std::wstring app = folder.AddFile(L"app.exe");
    const std::wstring live = key.Path();
    const std::wstring marker = live + L"\\_disabledByKiv";
    WriteNestedEntry(live + L"\\Entry", app);
    WriteNestedEntry(live + L"\\Fresh", app);
    WriteRaw(kUser, marker + L"\\Entry", L"Older", TextValue(REG_SZ, L"older disabled entry"));
    Location* location = AddLocation(live, CoIdInKey);
    m_kiv->Collect();
    CKivItem* entry = nullptr;
    for (unsigned id : location->m_itemIds)
        if (m_kiv->GetItemEnabled(id) && m_kiv->ItemMapGet(id)->m_regNames[0] == L"Entry")
            entry = m_kiv->ItemMapGet(id);
    CKivItem* fresh = FindByName(location, L"Fresh");
    ASSERT_TRUE(entry && fresh);
    const auto liveEntry = Tree(live + L"\\Entry");
    const auto liveFresh = Tree(live + L"\\Fresh");
    const auto older = Tree(marker + L"\\Entry");

    {
        // A nested key that cannot be read stops the copy half way.
        DeniedRight entryDenied(live + L"\\Entry\\Inner\\Deeper", L"D:(D;;0x1;;;WD)(A;;KA;;;WD)");
        DeniedRight freshDenied(live + L"\\Fresh\\Inner\\Deeper", L"D:(D;;0x1;;;WD)(A;;KA;;;WD)");
        EXPECT_EQ(0, m_kiv->DisableItem(entry->m_globalId));
        EXPECT_EQ(1, m_kiv->GetItemEnabled(entry->m_globalId));
        EXPECT_EQ(0, m_kiv->DisableItem(fresh->m_globalId));
    }
    EXPECT_EQ(liveEntry, Tree(live + L"\\Entry"));
    EXPECT_EQ(liveFresh, Tree(live + L"\\Fresh"));
    EXPECT_EQ(older, Tree(marker + L"\\Entry"));          // the older entry put back as it was
    EXPECT_FALSE(KeyExists(kUser, marker + L"\\Fresh"));  // its own partial copy taken back
}

// Class keys of the test's own below the user's and the machine's classes, which
// the classes root merges on Windows (Wine's shows the machine's only).
class MergedClasses {
public:
    static constexpr const wchar_t* kBase = L"Software\\Classes\\KivTestMergedClasses";
    MergedClasses() { Clear(); }
    ~MergedClasses() { Clear(); }
    MergedClasses(const MergedClasses&) = delete;
    MergedClasses& operator=(const MergedClasses&) = delete;
    static std::wstring Entry(const std::wstring& below = L"") { return std::wstring(kBase) + L"\\Entry" + below; }
    static std::wstring Marked() { return std::wstring(kBase) + L"\\_disabledByKiv\\Entry"; }
    static std::wstring Title(HKEY root, const std::wstring& key) {
        RawValue raw;
        return ReadRaw(root, key, L"", raw) ? std::wstring(reinterpret_cast<const wchar_t*>(raw.bytes.data())) : L"";
    }
    static void Clear() {
        SHDeleteKeyW(HKEY_CURRENT_USER, kBase);
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, kBase);
    }
};

// An entry below the classes root is changed where its copies really live: a
// disable leaves no copy in effect, an enable puts each copy back where it was.
TEST_F(ClassKeyTest, EntriesBelowTheClassesRootChangeWhereTheirCopiesLive) {
    ScratchFolder folder(L"MergedClasses");
    const std::wstring program = folder.AddFile(L"handler.exe");
    MergedClasses classes;
    auto write = [&](HKEY root, const wchar_t* title) {
        WriteRaw(root, MergedClasses::Entry(), L"", TextValue(REG_SZ, title));
        WriteRaw(root, MergedClasses::Entry(), L"Command", TextValue(REG_SZ, program));
    };
    write(HKEY_CURRENT_USER, L"User copy");
    write(HKEY_LOCAL_MACHINE, L"Machine copy");
    Location* location = FacadeTest::AddLocation(L"HKCR\\KivTestMergedClasses", L"", 0, CoIdInKey);
    m_kiv->Collect();
    CKivItem* item = FindByName(location, L"Entry");
    ASSERT_NE(nullptr, item);

    // Both copies: both leave the live keys, and come back each with its own data.
    ASSERT_EQ(1, m_kiv->DisableItem(item->m_globalId));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, MergedClasses::Entry()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, MergedClasses::Entry()));
    EXPECT_EQ(L"User copy", MergedClasses::Title(HKEY_CURRENT_USER, MergedClasses::Marked()));
    EXPECT_EQ(L"Machine copy", MergedClasses::Title(HKEY_LOCAL_MACHINE, MergedClasses::Marked()));
    ASSERT_EQ(1, m_kiv->EnableItem(item->m_globalId));
    EXPECT_EQ(L"User copy", MergedClasses::Title(HKEY_CURRENT_USER, MergedClasses::Entry()));
    EXPECT_EQ(L"Machine copy", MergedClasses::Title(HKEY_LOCAL_MACHINE, MergedClasses::Entry()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, MergedClasses::Marked()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, MergedClasses::Marked()));

    // The user's copy alone: the machine's classes get no marker subkey.
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, MergedClasses::Entry().c_str());
    ASSERT_EQ(1, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(L"User copy", MergedClasses::Title(HKEY_CURRENT_USER, MergedClasses::Marked()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, MergedClasses::Marked()));
    ASSERT_EQ(1, m_kiv->EnableItem(item->m_globalId));
    EXPECT_EQ(L"User copy", MergedClasses::Title(HKEY_CURRENT_USER, MergedClasses::Entry()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, MergedClasses::Entry()));

    // A copy that cannot be read is no absence: nothing moves and the disable fails.
    write(HKEY_LOCAL_MACHINE, L"Machine copy");
    {
        HKEY entry = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, MergedClasses::Entry().c_str(), 0,
                                               WRITE_DAC | READ_CONTROL, &entry));
        SECURITY_DESCRIPTOR closed;
        InitializeSecurityDescriptor(&closed, SECURITY_DESCRIPTOR_REVISION);
        ACL empty;
        InitializeAcl(&empty, sizeof(empty), ACL_REVISION);
        SetSecurityDescriptorDacl(&closed, TRUE, &empty, FALSE);
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeySecurity(entry, DACL_SECURITY_INFORMATION, &closed));
        EXPECT_EQ(0, m_kiv->DisableItem(item->m_globalId));
        EXPECT_NE(ERROR_SUCCESS, GetLastError());
        EXPECT_EQ(L"User copy", MergedClasses::Title(HKEY_CURRENT_USER, MergedClasses::Entry()));
        SetSecurityDescriptorDacl(&closed, FALSE, nullptr, FALSE);  // open to all again
        EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(entry, DACL_SECURITY_INFORMATION, &closed));
        RegCloseKey(entry);
    }

    // The machine's copy may be read but not changed: the user's copy, moved first,
    // goes back where it was and the disable fails with the cause.
    {
        HKEY base = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExW(HKEY_LOCAL_MACHINE, MergedClasses::kBase, 0, WRITE_DAC | READ_CONTROL, &base));
        auto setList = [base](const wchar_t* sddl) {
            PSECURITY_DESCRIPTOR list = nullptr;
            ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &list, nullptr));
            EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(base, DACL_SECURITY_INFORMATION, list));
            LocalFree(list);
        };
        setList(L"D:P(A;;KRWD;;;WD)");
        EXPECT_EQ(0, m_kiv->DisableItem(item->m_globalId));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
        EXPECT_EQ(L"User copy", MergedClasses::Title(HKEY_CURRENT_USER, MergedClasses::Entry()));
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, MergedClasses::Marked()));
        EXPECT_EQ(L"Machine copy", MergedClasses::Title(HKEY_LOCAL_MACHINE, MergedClasses::Entry()));
        setList(L"D:(A;;KA;;;WD)");
        RegCloseKey(base);
    }
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, MergedClasses::Entry().c_str());

    // The machine's copy alone: nothing is made below the user's classes; a removal
    // of both copies leaves none.
    SHDeleteKeyW(HKEY_CURRENT_USER, MergedClasses::kBase);
    write(HKEY_LOCAL_MACHINE, L"Machine copy");
    ASSERT_EQ(1, m_kiv->DisableItem(item->m_globalId));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, MergedClasses::kBase));
    EXPECT_EQ(L"Machine copy", MergedClasses::Title(HKEY_LOCAL_MACHINE, MergedClasses::Marked()));
    ASSERT_EQ(1, m_kiv->EnableItem(item->m_globalId));
    write(HKEY_CURRENT_USER, L"User copy");
    ASSERT_EQ(1, m_kiv->RemoveItem(item->m_globalId));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, MergedClasses::Entry()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, MergedClasses::Entry()));
}

TEST(SubkeyMoves, ASubkeyMoveNeverWritesOverAnotherAndUndoesWhatItDid) {
    ScratchKey key(L"SubkeyMoveRollback");
    const std::wstring from = key.Path() + L"\\from";
    const std::wstring to = key.Path() + L"\\to";
    HKEY source = nullptr, target = nullptr;
    WriteRaw(kUser, from, L"", TextValue(REG_SZ, L""));
    WriteRaw(kUser, to, L"", TextValue(REG_SZ, L""));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(kUser, from.c_str(), 0, KEY_READ | KEY_WRITE, &source));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(kUser, to.c_str(), 0, KEY_READ | KEY_WRITE, &target));
    // A delete that takes part of the tree and then fails, as one stopped by a
    // nested key it may not delete would.
    auto halfDelete = [](HKEY parent, const std::wstring& name) {
        SHDeleteKeyW(parent, (name + L"\\Inner").c_str());
        return kiv::Status::Fail(ERROR_ACCESS_DENIED);
    };
    enum class There { Nothing, Other, Same, Unreadable };
    struct Case {
        const wchar_t* name;
        There there;
        kiv::DeleteTreeFn deleteSource;
        const wchar_t* lockedSddl;  // an access list on a nested key of the source, or null
        DWORD code;
    };
    const Case cases[] = {
        {L"Other", There::Other, kiv::DeleteRegTree, nullptr, ERROR_ALREADY_EXISTS},
        {L"Same", There::Same, kiv::DeleteRegTree, nullptr, ERROR_SUCCESS},
        {L"Unreadable", There::Unreadable, kiv::DeleteRegTree, nullptr, ERROR_ACCESS_DENIED},
        {L"HalfDeleted", There::Nothing, halfDelete, nullptr, ERROR_ACCESS_DENIED},
        // A nested key that may not be deleted: refused before anything is written.
        {L"Undeletable", There::Nothing, kiv::DeleteRegTree, L"D:(D;;SD;;;WD)(A;;KA;;;WD)", ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        const std::wstring entry = from + L"\\" + c.name, older = to + L"\\" + c.name;
        WriteNestedEntry(entry, L"c:\\a.exe");
        if (c.there == There::Same) WriteNestedEntry(older, L"c:\\a.exe");
        if (c.there == There::Other || c.there == There::Unreadable)
            WriteRaw(kUser, older + L"\\Kept", L"Older", TextValue(REG_SZ, L"older"));
        const auto entryBefore = Tree(entry);
        const auto olderBefore = Tree(older);
        {
            DeniedRight locked(c.lockedSddl ? entry + L"\\Inner\\Deeper" : older + L"\\Kept",
                               c.lockedSddl                   ? c.lockedSddl
                               : c.there == There::Unreadable ? L"D:(D;;0x1;;;WD)(A;;KA;;;WD)"
                                                              : L"D:(A;;KA;;;WD)");
            EXPECT_EQ(c.code, kiv::MoveRegSubkey(source, target, c.name, c.deleteSource).Code()) << c.name;
        }
        if (c.code == ERROR_SUCCESS) {
            EXPECT_FALSE(KeyExists(kUser, entry)) << c.name;
            EXPECT_EQ(entryBefore, Tree(older)) << c.name;
        } else {
            EXPECT_EQ(entryBefore, Tree(entry)) << c.name;  // whole again where it was
            EXPECT_EQ(olderBefore, Tree(older)) << c.name;  // and the target as it was
        }
    }
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), kiv::MoveRegSubkey(source, target, L"Missing").Code());
    RegCloseKey(source);
    RegCloseKey(target);
}

// The access list of a key and of a nested key, protected from inheritance, and the
// key's owner, as the registry reads them back.
std::wstring SecurityText(const std::wstring& path) {
    kiv::UniqueHKey key;
    if (RegOpenKeyExW(kUser, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return L"(no key)";
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    std::vector<BYTE> descriptor(4096);
    DWORD bytes = static_cast<DWORD>(descriptor.size());
    if (RegGetKeySecurity(key.Get(), what, descriptor.data(), &bytes) != ERROR_SUCCESS) return L"(unreadable)";
    wchar_t* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1, what, &text, nullptr))
        return L"(unconvertible)";
    std::wstring result = text;
    LocalFree(text);
    return result;
}

TEST_F(ClassKeyTest, AMovedKeyKeepsItsOwnerAndAccessLists) {
    ScratchKey key(L"ClassKeySecurity");
    ScratchFolder folder(L"ClassKeySecurity");
    const std::wstring live = key.Path();
    WriteNestedEntry(live + L"\\Entry", folder.AddFile(L"app.exe"));
    Location* location = AddLocation(live, CoIdInKey);
    const std::wstring entry = live + L"\\Entry", inner = entry + L"\\Inner";
    // The entry owned by the system, as the installer's keys are (set first: the test
    // system drops a list's protection when the owner changes); protected lists of
    // their own, readable by everyone, changeable by the test's user.
    {
        PSECURITY_DESCRIPTOR owner = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:SY", SDDL_REVISION_1, &owner, nullptr));
        kiv::UniqueHKey owned;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(kUser, entry.c_str(), 0, WRITE_OWNER, owned.Put()));
        EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(owned.Get(), OWNER_SECURITY_INFORMATION, owner));
        LocalFree(owner);
    }
    DeniedRight entryList(entry, L"D:P(A;;KA;;;WD)(A;;KR;;;BU)");
    DeniedRight innerList(inner, L"D:P(A;;KA;;;WD)(A;;KR;;;AU)");
    const std::wstring entryBefore = SecurityText(entry), innerBefore = SecurityText(inner);
    ASSERT_NE(std::wstring::npos, entryBefore.find(L"D:P"));
    ASSERT_EQ(0u, entryBefore.find(L"O:SY"));
    m_kiv->Collect();
    CKivItem* item = FindByName(location, L"Entry");
    ASSERT_NE(nullptr, item);

    ASSERT_EQ(1, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(entryBefore, SecurityText(live + L"\\_disabledByKiv\\Entry"));
    EXPECT_EQ(innerBefore, SecurityText(live + L"\\_disabledByKiv\\Entry\\Inner"));
    ASSERT_EQ(1, m_kiv->EnableItem(item->m_globalId));
    EXPECT_EQ(entryBefore, SecurityText(entry));
    EXPECT_EQ(innerBefore, SecurityText(inner));
}

TEST_F(ClassKeyTest, AReadOnlyClassKeyListsItsEntriesAndRefusesEveryChange) {
    ScratchKey key(L"ClassKeyReadOnly");
    ScratchFolder folder(L"ClassKeyReadOnly");
    const std::wstring live = key.Path();
    WriteNestedEntry(live + L"\\Entry", folder.AddFile(L"app.exe"));
    WriteNestedEntry(live + L"\\_disabledByKiv\\Off", folder.AddFile(L"off.exe"));
    Location* location = AddLocation(live, CoIdInKey);
    const auto before = Tree(live);
    const wchar_t* const readOnly = L"D:P(A;;KRWD;;;WD)";
    DeniedRight liveDenied(live, readOnly), markerDenied(live + L"\\_disabledByKiv", readOnly);
    DeniedRight entryDenied(live + L"\\Entry", readOnly), offDenied(live + L"\\_disabledByKiv\\Off", readOnly);
    m_kiv->Collect();
    ASSERT_EQ(2u, location->m_itemIds.size());
    for (unsigned id : location->m_itemIds) {
        const bool on = m_kiv->GetItemEnabled(id) != 0;
        EXPECT_EQ(0, on ? m_kiv->DisableItem(id) : m_kiv->EnableItem(id));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
        EXPECT_EQ(0, m_kiv->RemoveItem(id));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    }
    EXPECT_EQ(before, Tree(live));
}

// A nested key that may not be deleted: a disable and a removal are refused before
// they change anything, and no marker is left behind.
TEST_F(ClassKeyTest, AnEntryWithAKeyThatMayNotBeDeletedIsRefusedWhole) {
    ScratchKey key(L"ClassKeyUndeletable");
    ScratchFolder folder(L"ClassKeyUndeletable");
    const std::wstring live = key.Path();
    WriteNestedEntry(live + L"\\Entry", folder.AddFile(L"app.exe"));
    Location* location = AddLocation(live, CoIdInKey);
    m_kiv->Collect();
    CKivItem* item = FindByName(location, L"Entry");
    ASSERT_NE(nullptr, item);
    const auto before = Tree(live);
    DeniedRight locked(live + L"\\Entry\\Inner\\Deeper", L"D:(D;;SD;;;WD)(A;;KA;;;WD)");
    EXPECT_EQ(0, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(0, m_kiv->RemoveItem(item->m_globalId));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(before, Tree(live));  // no marker made, nothing cut away
}
