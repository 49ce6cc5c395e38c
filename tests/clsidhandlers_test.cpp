#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <shlwapi.h>

#include <map>

#include "core/Records.h"
#include "handlers/steps/RegistryTree.h"
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

// A class registered for one test (Wine's classes root shows the machine's classes).
class TestClass {
public:
    TestClass(const std::wstring& id, const std::wstring& name, const std::wstring& server)
        : m_key(L"Software\\Classes\\CLSID\\" + id) {
        if (!name.empty()) WriteRaw(HKEY_LOCAL_MACHINE, m_key, L"", TextValue(REG_SZ, name));
        WriteRaw(HKEY_LOCAL_MACHINE, m_key + L"\\InprocServer32", L"", TextValue(REG_SZ, server));
    }
    ~TestClass() { SHDeleteKeyW(HKEY_LOCAL_MACHINE, m_key.c_str()); }

private:
    std::wstring m_key;
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
    Location* AddLocation(const std::wstring& keyBelowHkcu, EKivHandlerType type) {
        auto* location = new Location(L"HKCU\\" + keyBelowHkcu, L"", 0, type, 0);
        m_category->m_locations.push_back(location);
        return location;
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

TEST(SubkeyMoves, AFailedDeleteMakesTheSourceWholeAndPutsTheTargetBack) {
    ScratchKey key(L"SubkeyMoveRollback");
    const std::wstring from = key.Path() + L"\\from";
    const std::wstring to = key.Path() + L"\\to";
    WriteNestedEntry(from + L"\\Entry", L"c:\\a.exe");
    WriteNestedEntry(from + L"\\Fresh", L"c:\\b.exe");
    WriteRaw(kUser, to + L"\\Entry\\Kept", L"Older", TextValue(REG_SZ, L"older"));
    const auto entryBefore = Tree(from + L"\\Entry");
    const auto freshBefore = Tree(from + L"\\Fresh");
    const auto olderBefore = Tree(to + L"\\Entry");
    HKEY source = nullptr, target = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(kUser, from.c_str(), 0, KEY_ALL_ACCESS, &source));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(kUser, to.c_str(), 0, KEY_ALL_ACCESS, &target));
    // A delete that takes part of the tree and then fails, as one stopped by a
    // nested key it may not delete would.
    auto halfDelete = [](HKEY parent, const std::wstring& name) {
        SHDeleteKeyW(parent, (name + L"\\Inner").c_str());
        return kiv::Status::Fail(ERROR_ACCESS_DENIED);
    };

    // The failed delete's cause is the move's.
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), kiv::MoveRegSubkey(source, target, L"Entry", halfDelete).Code());
    EXPECT_EQ(entryBefore, Tree(from + L"\\Entry"));
    EXPECT_EQ(olderBefore, Tree(to + L"\\Entry"));
    EXPECT_FALSE(kiv::MoveRegSubkey(source, target, L"Fresh", halfDelete));
    EXPECT_EQ(freshBefore, Tree(from + L"\\Fresh"));
    EXPECT_FALSE(KeyExists(kUser, to + L"\\Fresh"));

    {
        // An older entry that cannot be read whole could not be put back: no move.
        DeniedRight keptDenied(to + L"\\Entry\\Kept", L"D:(D;;0x1;;;WD)(A;;KA;;;WD)");
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), kiv::MoveRegSubkey(source, target, L"Entry").Code());
    }
    EXPECT_EQ(entryBefore, Tree(from + L"\\Entry"));
    EXPECT_EQ(olderBefore, Tree(to + L"\\Entry"));

    // A real move replaces the older entry rather than mixing with it.
    EXPECT_TRUE(kiv::MoveRegSubkey(source, target, L"Entry"));
    EXPECT_EQ(entryBefore, Tree(to + L"\\Entry"));
    EXPECT_FALSE(KeyExists(kUser, from + L"\\Entry"));
    EXPECT_FALSE(kiv::MoveRegSubkey(source, target, L"Missing"));
    RegCloseKey(source);
    RegCloseKey(target);
}
