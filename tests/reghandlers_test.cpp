#include <gtest/gtest.h>

#include <shlwapi.h>

#include "core/Records.h"
#include "core/KivHandler.h"
#include "handlers/steps/ListEntries.h"
#include "handlers/steps/RegistryValues.h"
#include "support/RegistryTestKit.h"
#include "support/TestSupport.h"

using kivtest::KeyExists;
using kivtest::Lower;
using kivtest::RawValue;
using kivtest::ReadRaw;
using kivtest::ScratchFolder;
using kivtest::ScratchKey;
using kivtest::TextValue;
using kivtest::WriteRaw;

namespace {

// A facade over an empty catalogue with one category whose locations the test adds.
class RegHandlerTest : public kivtest::FacadeTest {
protected:
    Location* AddLocation(const std::wstring& keyBelowHkcu, EKivHandlerType type, unsigned ltype = 0,
                          const std::wstring& value = L"") {
        return FacadeTest::AddLocation(L"HKCU\\" + keyBelowHkcu, value, ltype, type);
    }
};

}  // namespace

TEST_F(RegHandlerTest, RunKeyValuesRoundTripWithTypeAndExactBytes) {
    ScratchKey key(L"RunRoundTrip");
    ScratchFolder folder(L"RunRoundTrip");
    std::wstring app = folder.AddFile(L"app.exe");
    folder.AddFile(L"tool.exe");
    kivtest::ScopedVariable runDir(L"KIVTEST_RUNDIR", folder.Path());
    const std::wstring live = key.Path();
    const std::wstring marker = live + L"\\_disabledByKiv";
    RawValue quoted = TextValue(REG_SZ, L"\"" + app + L"\" /min");
    RawValue expand = TextValue(REG_EXPAND_SZ, L"%KIVTEST_RUNDIR%\\tool.exe");
    WriteRaw(HKEY_CURRENT_USER, live, L"App", quoted);
    WriteRaw(HKEY_CURRENT_USER, live, L"Tool", expand);
    RawValue number;
    number.type = REG_DWORD;
    number.bytes = {1, 0, 0, 0};
    WriteRaw(HKEY_CURRENT_USER, live, L"Number", number);
    WriteRaw(HKEY_CURRENT_USER, live, L"Long", TextValue(REG_SZ, app + std::wstring(300, L' ')));
    Location* location = AddLocation(live, RegValue);

    m_kiv->Collect();
    ASSERT_EQ(2u, location->m_itemIds.size());  // the DWORD and the over-long value give none
    CKivItem* appItem = FindTitle(location, L"App");
    ASSERT_NE(nullptr, appItem);
    EXPECT_EQ(Lower(app), Lower(appItem->m_file.filePath));
    EXPECT_EQ(GotoKind::RegistryValue, appItem->m_gotoKind);
    ASSERT_EQ(1u, appItem->m_regNames.size());
    EXPECT_EQ(L"App", appItem->m_regNames[0]);
    CKivItem* toolItem = FindTitle(location, L"Tool");
    ASSERT_NE(nullptr, toolItem);

    ASSERT_EQ(1, m_kiv->DisableItem(appItem->m_globalId));
    ASSERT_EQ(1, m_kiv->DisableItem(toolItem->m_globalId));
    EXPECT_EQ(0, m_kiv->GetItemEnabled(appItem->m_globalId));
    RawValue moved;
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, live, L"App", moved));
    ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, marker, L"App", moved));
    EXPECT_EQ(quoted, moved);
    ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, marker, L"Tool", moved));
    EXPECT_EQ(expand, moved);

    // The next collection lists them in the disabled pass.
    m_kiv->Collect();
    ASSERT_EQ(2u, location->m_itemIds.size());
    appItem = FindTitle(location, L"App");
    ASSERT_NE(nullptr, appItem);
    EXPECT_EQ(0u, appItem->m_enabled);

    ASSERT_EQ(1, m_kiv->EnableItem(appItem->m_globalId));
    EXPECT_EQ(1, m_kiv->GetItemEnabled(appItem->m_globalId));
    ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, live, L"App", moved));
    EXPECT_EQ(quoted, moved);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, marker));  // still holds "Tool"

    toolItem = FindTitle(location, L"Tool");
    ASSERT_EQ(1, m_kiv->EnableItem(toolItem->m_globalId));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, marker));  // emptied, so deleted
    ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, live, L"Tool", moved));
    EXPECT_EQ(expand, moved);
}

TEST_F(RegHandlerTest, RemovalDeletesTheValueAndAnEmptiedMarker) {
    ScratchKey key(L"RunRemove");
    ScratchFolder folder(L"RunRemove");
    std::wstring app = folder.AddFile(L"app.exe");
    const std::wstring live = key.Path();
    const std::wstring marker = live + L"\\_disabledByKiv";
    WriteRaw(HKEY_CURRENT_USER, live, L"Live", TextValue(REG_SZ, app));
    WriteRaw(HKEY_CURRENT_USER, marker, L"Off", TextValue(REG_SZ, app));
    Location* location = AddLocation(live, RegValue);
    m_kiv->Collect();
    CKivItem* liveItem = FindTitle(location, L"Live");
    CKivItem* offItem = FindTitle(location, L"Off");
    ASSERT_TRUE(liveItem && offItem);

    // Removing an enabled item leaves the marker subkey alone.
    ASSERT_EQ(1, m_kiv->RemoveItem(liveItem->m_globalId));
    RawValue value;
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, live, L"Live", value));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, marker));
    EXPECT_EQ(1, m_kiv->GetItemEnabled(liveItem->m_globalId));  // fields unchanged
    EXPECT_EQ(0, m_kiv->IsRemoved(liveItem->m_globalId));

    ASSERT_EQ(1, m_kiv->RemoveItem(offItem->m_globalId));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, marker));
    EXPECT_EQ(0, m_kiv->RemoveItem(offItem->m_globalId));  // already gone
}

TEST_F(RegHandlerTest, FailedMovesLeaveTheRegistryAndTheItemAsTheyWere) {
    ScratchKey key(L"RunFailures");
    ScratchFolder folder(L"RunFailures");
    std::wstring app = folder.AddFile(L"app.exe");
    const std::wstring live = key.Path();
    const std::wstring marker = live + L"\\_disabledByKiv";
    WriteRaw(HKEY_CURRENT_USER, live, L"App", TextValue(REG_SZ, app));
    Location* location = AddLocation(live, RegValue);
    m_kiv->Collect();
    CKivItem* item = FindTitle(location, L"App");
    ASSERT_NE(nullptr, item);

    // The value vanished behind the item's back: nothing to move, nothing made.
    RegDeleteKeyValueW(HKEY_CURRENT_USER, live.c_str(), L"App");
    EXPECT_EQ(0, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(1, m_kiv->GetItemEnabled(item->m_globalId));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, marker));

    // Enabling an item with no marker subkey fails and keeps the item's state.
    item->m_enabled = 0;
    EXPECT_EQ(0, m_kiv->EnableItem(item->m_globalId));
    EXPECT_EQ(0, m_kiv->GetItemEnabled(item->m_globalId));
    // Disabling an item already disabled has nothing to move: it succeeds, keeps the
    // item disabled and makes no marker subkey.
    EXPECT_EQ(1, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(0, m_kiv->GetItemEnabled(item->m_globalId));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, marker));
}

// The program wrote its value back after the user disabled it: both are listed, and
// neither move may write over the other.
TEST_F(RegHandlerTest, AMoveNeverWritesOverAnotherEntryOfTheSameName) {
    ScratchKey key(L"RunOverwrite");
    ScratchFolder folder(L"RunOverwrite");
    std::wstring app = folder.AddFile(L"app.exe");
    const std::wstring live = key.Path();
    const std::wstring marker = live + L"\\_disabledByKiv";
    const RawValue current = TextValue(REG_SZ, app + L" /new");
    const RawValue older = TextValue(REG_SZ, app + L" /old");
    WriteRaw(HKEY_CURRENT_USER, live, L"App", current);
    WriteRaw(HKEY_CURRENT_USER, marker, L"App", older);
    Location* location = AddLocation(live, RegValue);
    m_kiv->Collect();
    ASSERT_EQ(2u, location->m_itemIds.size());
    for (unsigned id : location->m_itemIds) {
        const bool on = m_kiv->GetItemEnabled(id) != 0;
        EXPECT_EQ(0, on ? m_kiv->DisableItem(id) : m_kiv->EnableItem(id));
        EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
        EXPECT_EQ(on ? 1 : 0, m_kiv->GetItemEnabled(id));
        RawValue value;
        ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, live, L"App", value));
        EXPECT_EQ(current, value);
        ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, marker, L"App", value));
        EXPECT_EQ(older, value);
    }

    // The same command on both sides is one entry: the move ends by leaving one copy.
    WriteRaw(HKEY_CURRENT_USER, live, L"App", older);
    m_kiv->Collect();
    const unsigned on = m_kiv->GetItemEnabled(location->m_itemIds[0]) ? location->m_itemIds[0] : location->m_itemIds[1];
    ASSERT_EQ(1, m_kiv->DisableItem(on));
    RawValue value;
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, live, L"App", value));
    ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, marker, L"App", value));
    EXPECT_EQ(older, value);
}

// Under an access list that grants only reading, as HKLM is for a standard user:
// every entry is listed, and every action is refused before it changes anything.
TEST_F(RegHandlerTest, ReadOnlyPlacesListEveryEntryAndRefuseEveryChange) {
    ScratchKey key(L"RunReadOnly");
    ScratchFolder folder(L"RunReadOnly");
    const std::wstring app = folder.AddFile(L"app.exe");
    const std::wstring live = key.Path() + L"\\Run";
    const std::wstring marker = live + L"\\_disabledByKiv";
    const std::wstring list = key.Path() + L"\\List";
    WriteRaw(HKEY_CURRENT_USER, live, L"On", TextValue(REG_SZ, app));
    WriteRaw(HKEY_CURRENT_USER, marker, L"Off", TextValue(REG_SZ, app));
    WriteRaw(HKEY_CURRENT_USER, list, L"Cmd", TextValue(REG_SZ, app));
    WriteRaw(HKEY_CURRENT_USER, list, L"AppInit_DLLs", TextValue(REG_SZ, app));
    Location* run = AddLocation(live, RegValue);
    Location* single = AddLocation(list, RegValueEx, 1, L"Cmd");
    Location* appInit = AddLocation(list, AppInitDll, 1, L"AppInit_DLLs");
    const wchar_t* const readOnly = L"D:P(A;;KRWD;;;WD)";
    kivtest::DeniedRight liveDenied(live, readOnly), markerDenied(marker, readOnly), listDenied(list, readOnly);
    m_kiv->Collect();
    ASSERT_EQ(2u, run->m_itemIds.size());
    ASSERT_EQ(1u, single->m_itemIds.size());
    ASSERT_EQ(1u, appInit->m_itemIds.size());

    std::vector<unsigned> ids = run->m_itemIds;
    ids.push_back(single->m_itemIds[0]);
    ids.push_back(appInit->m_itemIds[0]);
    for (unsigned id : ids) {
        const bool on = m_kiv->GetItemEnabled(id) != 0;
        EXPECT_EQ(0, on ? m_kiv->DisableItem(id) : m_kiv->EnableItem(id)) << id;
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError()) << id;
        EXPECT_EQ(0, m_kiv->RemoveItem(id)) << id;
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError()) << id;
    }
    RawValue value;
    EXPECT_TRUE(ReadRaw(HKEY_CURRENT_USER, live, L"On", value));
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, live, L"Off", value));
    EXPECT_TRUE(ReadRaw(HKEY_CURRENT_USER, marker, L"Off", value));
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, marker, L"On", value));
    for (const wchar_t* name : {L"Cmd", L"AppInit_DLLs"}) {
        ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, list, name, value));
        EXPECT_EQ(TextValue(REG_SZ, app), value);
    }
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, list + L"\\_disabledByKiv"));
}

TEST_F(RegHandlerTest, RegistryLocationIsTheLiveKeyAndFitsOrEmptiesTheCallersBuffers) {
    ScratchKey key(L"RunLocation");
    ScratchFolder folder(L"RunLocation");
    WriteRaw(HKEY_CURRENT_USER, key.Path() + L"\\_disabledByKiv", L"Off",
             TextValue(REG_SZ, folder.AddFile(L"app.exe")));
    Location* location = AddLocation(key.Path(), RegValue);
    m_kiv->Collect();
    ASSERT_EQ(1u, location->m_itemIds.size());
    unsigned id = location->m_itemIds[0];

    wchar_t keyText[260] = L"untouched";
    wchar_t valueText[260] = L"untouched";
    m_kiv->Ostrel_GetItemRegLocation(id, keyText, valueText, 260, 260);
    EXPECT_EQ(L"HKCU\\" + key.Path(), std::wstring(keyText));
    EXPECT_EQ(L"Off", std::wstring(valueText));

    wchar_t small[8] = L"x";
    wchar_t value2[260] = L"untouched";
    m_kiv->Ostrel_GetItemRegLocation(id, small, value2, 8, 260);
    EXPECT_EQ(L"", std::wstring(small));  // never a cut key
    EXPECT_EQ(L"Off", std::wstring(value2));
    m_kiv->Ostrel_GetItemRegLocation(id, nullptr, value2, 0, 260);             // a null buffer is left alone
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());  // but the key did not fit
    wchar_t unused[4] = L"x";
    m_kiv->Ostrel_GetItemRegLocation(id, keyText, unused, 260, 0);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(L"x", std::wstring(unused));
    EXPECT_EQ(1, m_kiv->Ostrel_ItemCompatible(id));
}

TEST_F(RegHandlerTest, ClassValuesAreTitledByTheirDataOrTheirClass) {
    ScratchKey key(L"ClassValues");
    ScratchFolder folder(L"ClassValues");
    std::wstring server = folder.AddFile(L"server.dll");
    const std::wstring named = L"{6F1A2B3C-1111-4222-8333-944455556666}";
    const std::wstring nameless = L"{6F1A2B3C-1111-4222-8333-944455556667}";
    const std::wstring serverless = L"{6F1A2B3C-1111-4222-8333-944455556668}";
    // Wine's classes root shows the machine's classes only.
    const std::wstring classes = L"Software\\Classes\\CLSID\\";
    const HKEY machine = HKEY_LOCAL_MACHINE;
    WriteRaw(machine, classes + named, L"", TextValue(REG_SZ, L"Kiv Test Class"));
    WriteRaw(machine, classes + named + L"\\InprocServer32", L"", TextValue(REG_SZ, server));
    WriteRaw(machine, classes + nameless + L"\\InprocServer32", L"", TextValue(REG_SZ, server));
    WriteRaw(machine, classes + serverless, L"", TextValue(REG_SZ, L"Gone"));
    WriteRaw(machine, classes + serverless + L"\\InprocServer32", L"",
             TextValue(REG_SZ, folder.Path() + L"\\missing.dll"));

    WriteRaw(HKEY_CURRENT_USER, key.Path(), named, TextValue(REG_SZ, L""));
    WriteRaw(HKEY_CURRENT_USER, key.Path() + L"\\sub", named, TextValue(REG_SZ, L"Own Title"));
    WriteRaw(HKEY_CURRENT_USER, key.Path(), L"ByData", TextValue(REG_SZ, nameless));
    WriteRaw(HKEY_CURRENT_USER, key.Path(), L"Missing", TextValue(REG_SZ, serverless));
    Location* location = AddLocation(key.Path(), CoIdInValue);
    Location* titled = AddLocation(key.Path() + L"\\sub", CoIdInValue);
    m_kiv->Collect();

    ASSERT_EQ(2u, location->m_itemIds.size());
    CKivItem* byName = FindTitle(location, L"Kiv Test Class");
    ASSERT_NE(nullptr, byName);
    EXPECT_EQ(named, byName->m_regNames[0]);
    EXPECT_EQ(Lower(server), Lower(byName->m_file.filePath));
    CKivItem* byData = FindTitle(location, server);  // a class without a name is titled by its server
    ASSERT_NE(nullptr, byData);
    EXPECT_EQ(L"ByData", byData->m_regNames[0]);
    ASSERT_EQ(1u, titled->m_itemIds.size());
    EXPECT_NE(nullptr, FindTitle(titled, L"Own Title"));

    // Class values move like run values.
    ASSERT_EQ(1, m_kiv->DisableItem(byData->m_globalId));
    RawValue value;
    EXPECT_TRUE(ReadRaw(HKEY_CURRENT_USER, key.Path() + L"\\_disabledByKiv", L"ByData", value));
    SHDeleteKeyW(machine, (classes + named).c_str());
    SHDeleteKeyW(machine, (classes + nameless).c_str());
    SHDeleteKeyW(machine, (classes + serverless).c_str());
}

TEST(ListEntries, MatchOnlyWholeEntries) {
    using kiv::FindListEntry;
    const size_t npos = std::wstring::npos;
    EXPECT_EQ(8u, FindListEntry(L"mya.dll a.dll", L"a.dll"));
    EXPECT_EQ(npos, FindListEntry(L"mya.dll", L"a.dll"));
    EXPECT_EQ(npos, FindListEntry(L"a.dllx", L"a.dll"));
    EXPECT_EQ(0u, FindListEntry(L"a.dll,b.dll", L"a.dll"));
    EXPECT_EQ(6u, FindListEntry(L"a.dll,b.dll", L"b.dll"));
    EXPECT_EQ(npos, FindListEntry(L"A.DLL", L"a.dll"));  // case-sensitive
    EXPECT_EQ(npos, FindListEntry(L"", L"a.dll"));

    // Comma-only lists: an element is the whole text between commas, blanks trimmed.
    size_t begin = 0, end = 0;
    ASSERT_TRUE(kiv::FindListElement(L"u.exe, C:\\My App\\a.exe ,", L"C:\\My App\\a.exe", begin, end));
    EXPECT_EQ(6u, begin);
    EXPECT_EQ(23u, end);
    EXPECT_FALSE(kiv::FindListElement(L"u.exe,a.exe /x", L"a.exe", begin, end));
    EXPECT_FALSE(kiv::FindListElement(L"u.exe a.exe", L"a.exe", begin, end));
    EXPECT_FALSE(kiv::FindListElement(L",,", L"", begin, end));
}

TEST_F(RegHandlerTest, ListEntriesMoveBetweenTheLiveAndTheMarkerValue) {
    ScratchKey key(L"ListValue");
    ScratchFolder folder(L"ListValue");
    std::wstring a = folder.AddFile(L"a.dll");
    std::wstring b = folder.AddFile(L"mya.dll");
    const std::wstring live = key.Path();
    const std::wstring marker = live + L"\\_disabledByKiv";
    WriteRaw(HKEY_CURRENT_USER, live, L"List", TextValue(REG_EXPAND_SZ, b + L", " + a));
    Location* location = AddLocation(live, RegValue, 1, L"List");

    kiv::ListCollect(location, 1, 0);
    ASSERT_EQ(2u, location->m_itemIds.size());
    CKivItem* itemA = FindTitle(location, a);
    CKivItem* itemB = FindTitle(location, b);
    ASSERT_TRUE(itemA && itemB);

    ASSERT_TRUE(kiv::ListDisable(itemA));
    RawValue value;
    ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, live, L"List", value));
    EXPECT_EQ(TextValue(REG_EXPAND_SZ, b + L", "), value);  // separators stay, type and terminator kept
    ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, marker, L"List", value));
    EXPECT_EQ(TextValue(REG_EXPAND_SZ, a), value);
    ASSERT_TRUE(kiv::ListDisable(itemB));
    ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, marker, L"List", value));
    EXPECT_EQ(TextValue(REG_EXPAND_SZ, a + L" " + b), value);

    itemA->m_enabled = 0;
    ASSERT_TRUE(kiv::ListEnable(itemA));
    ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, marker, L"List", value));
    EXPECT_EQ(TextValue(REG_EXPAND_SZ, b), value);  // mya.dll untouched by a.dll's enable
    ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, live, L"List", value));
    EXPECT_EQ(TextValue(REG_EXPAND_SZ, L",  " + a), value);

    itemB->m_enabled = 0;
    ASSERT_TRUE(kiv::ListRemove(itemB));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, marker));  // last entry gone, marker deleted
}

TEST_F(RegHandlerTest, UnreadableListValuesAreNeverReplaced) {
    ScratchKey key(L"ListUnreadable");
    ScratchFolder folder(L"ListUnreadable");
    std::wstring a = folder.AddFile(L"a.dll");
    const std::wstring live = key.Path();
    const std::wstring marker = live + L"\\_disabledByKiv";
    WriteRaw(HKEY_CURRENT_USER, live, L"List", TextValue(REG_SZ, a));
    RawValue huge = TextValue(REG_SZ, std::wstring(400, L'x'));
    WriteRaw(HKEY_CURRENT_USER, marker, L"List", huge);
    Location* location = AddLocation(live, RegValue, 1, L"List");
    kiv::ListCollect(location, 1, 0);
    ASSERT_EQ(1u, location->m_itemIds.size());
    CKivItem* item = m_kiv->ItemMapGet(location->m_itemIds[0]);

    // The registry's own answer for the over-long marker value is the cause.
    EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA), kiv::ListDisable(item).Code());
    RawValue value;
    ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, marker, L"List", value));
    EXPECT_EQ(huge, value);
    ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, live, L"List", value));
    EXPECT_EQ(TextValue(REG_SZ, a), value);
}

// A handler's failed change leaves its cause in the thread's last error, and a
// change that succeeds leaves no older error behind.
TEST_F(RegHandlerTest, HandlerChangesPublishTheirCause) {
    ScratchKey key(L"ChangeCause");
    ScratchFolder folder(L"ChangeCause");
    const std::wstring live = key.Path();
    const RawValue app = TextValue(REG_SZ, folder.AddFile(L"app.exe"));
    WriteRaw(HKEY_CURRENT_USER, live, L"App", app);
    WriteRaw(HKEY_CURRENT_USER, live, L"List", TextValue(REG_SZ, folder.AddFile(L"a.dll")));
    Location* values = AddLocation(live, RegValue);
    Location* list = AddLocation(live, AppInitDll, 1, L"List");
    m_kiv->Collect();
    CKivItem* entry = FindTitle(values, L"App");
    ASSERT_NE(nullptr, entry);
    ASSERT_EQ(1u, list->m_itemIds.size());
    CKivItem* listed = m_kiv->ItemMapGet(list->m_itemIds[0]);

    {
        HKEY opened = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, live.c_str(), 0, KEY_ALL_ACCESS, &opened));
        RegDeleteValueW(opened, L"App");
        RegCloseKey(opened);
    }
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(0, entry->m_handler->DisableItem(entry));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, live + L"\\_disabledByKiv"));

    WriteRaw(HKEY_CURRENT_USER, live, L"App", app);
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(1, entry->m_handler->DisableItem(entry));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    entry->m_enabled = 0;
    EXPECT_EQ(1, entry->m_handler->EnableItem(entry));

    // A list that no longer holds the entry: not found among its elements.
    WriteRaw(HKEY_CURRENT_USER, live, L"List", TextValue(REG_SZ, L"other.dll"));
    EXPECT_EQ(0, listed->m_handler->RemoveItem(listed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_FOUND), GetLastError());
}

TEST(RegistryText, ReadsAreBoundedAndOverlongWritesRefused) {
    ScratchKey key(L"RegistryText");
    HKEY opened = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, key.Path().c_str(), 0, KEY_ALL_ACCESS, &opened));
    // Exactly 520 bytes of text with no terminator: read whole, never past the data.
    WriteRaw(HKEY_CURRENT_USER, key.Path(), L"Full", TextValue(REG_SZ, std::wstring(260, L'A'), false));
    kiv::RegValueData value;
    ASSERT_EQ(kiv::ValueRead::Ok, kiv::ReadRegValue(opened, L"Full", value));
    EXPECT_EQ(std::wstring(260, L'A'), value.Text());
    WriteRaw(HKEY_CURRENT_USER, key.Path(), L"Over", TextValue(REG_SZ, std::wstring(261, L'A'), false));
    EXPECT_EQ(kiv::ValueRead::Unreadable, kiv::ReadRegValue(opened, L"Over", value));
    EXPECT_EQ(kiv::ValueRead::Absent, kiv::ReadRegValue(opened, L"None", value));

    // A list text whose terminator would not fit in 520 bytes is not written.
    EXPECT_TRUE(kiv::WriteRegText(opened, L"List", REG_EXPAND_SZ, std::wstring(259, L'b')));
    EXPECT_FALSE(kiv::WriteRegText(opened, L"List", REG_SZ, std::wstring(260, L'c')));
    RawValue stored;
    ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, key.Path(), L"List", stored));
    EXPECT_EQ(TextValue(REG_EXPAND_SZ, std::wstring(259, L'b')), stored);
    RegCloseKey(opened);
}

TEST(RegistryMoves, AValueMoveNeverWritesOverAnotherAndUndoesItsCopy) {
    ScratchKey key(L"MoveRollback");
    const std::wstring from = key.Path() + L"\\from";
    const std::wstring to = key.Path() + L"\\to";
    const RawValue moving = TextValue(REG_SZ, L"new data");
    const RawValue other = TextValue(REG_EXPAND_SZ, L"new data");  // the same text, another type
    struct Case {
        const wchar_t* name;
        const RawValue* there;  // what the target holds before, or null
        bool sourceWritable;
        DWORD code;
        bool sourceKept;  // whether the source is still there after
    };
    const Case cases[] = {
        {L"Other", &other, true, ERROR_ALREADY_EXISTS, true},
        {L"Same", &moving, true, ERROR_SUCCESS, false},
        {L"Fresh", nullptr, false, ERROR_ACCESS_DENIED, true},  // the delete fails: the copy goes again
        {L"SameLocked", &moving, false, ERROR_ACCESS_DENIED, true},
    };
    for (const Case& c : cases) {
        WriteRaw(HKEY_CURRENT_USER, from, c.name, moving);
        if (c.there) WriteRaw(HKEY_CURRENT_USER, to, c.name, *c.there);
        HKEY source = nullptr, target = nullptr;
        const REGSAM rights = c.sourceWritable ? KEY_READ | KEY_WRITE : KEY_QUERY_VALUE;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, from.c_str(), 0, rights, &source));
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, to.c_str(), 0, KEY_READ | KEY_WRITE, &target));
        EXPECT_EQ(c.code, kiv::MoveRegValue(source, target, c.name).Code()) << c.name;
        RawValue value;
        EXPECT_EQ(c.sourceKept, ReadRaw(HKEY_CURRENT_USER, from, c.name, value)) << c.name;
        const bool targetHeld = ReadRaw(HKEY_CURRENT_USER, to, c.name, value);
        const RawValue* expected = c.code == ERROR_SUCCESS ? &moving : c.there;
        EXPECT_EQ(expected != nullptr, targetHeld) << c.name;
        if (expected && targetHeld) {
            EXPECT_EQ(*expected, value) << c.name;
        }
        RegCloseKey(source);
        RegCloseKey(target);
    }
}

TEST_F(RegHandlerTest, ListEditsLeaveValuesThatAreNotTextAlone) {
    ScratchKey key(L"ListNotText");
    ScratchFolder folder(L"ListNotText");
    std::wstring a = folder.AddFile(L"a.dll");
    const std::wstring live = key.Path();
    // A multi-string list: collection reads its first string, but an edit would
    // rewrite it as plain text and lose the rest.
    RawValue multi = TextValue(REG_MULTI_SZ, a + std::wstring(1, L'\0') + L"other.dll" + std::wstring(1, L'\0'));
    WriteRaw(HKEY_CURRENT_USER, live, L"List", multi);
    Location* location = AddLocation(live, RegValue, 1, L"List");
    kiv::ListCollect(location, 1, 0);
    ASSERT_EQ(1u, location->m_itemIds.size());
    CKivItem* item = m_kiv->ItemMapGet(location->m_itemIds[0]);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), kiv::ListDisable(item).Code());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_DATA), kiv::ListRemove(item).Code());
    RawValue value;
    ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, live, L"List", value));
    EXPECT_EQ(multi, value);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, live + L"\\_disabledByKiv"));

    // A marker value of another type is not replaced by text either.
    WriteRaw(HKEY_CURRENT_USER, live, L"List", TextValue(REG_SZ, a));
    RawValue number;
    number.type = REG_DWORD;
    number.bytes = {7, 0, 0, 0};
    WriteRaw(HKEY_CURRENT_USER, live + L"\\_disabledByKiv", L"List", number);
    EXPECT_FALSE(kiv::ListDisable(item));
    ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, live + L"\\_disabledByKiv", L"List", value));
    EXPECT_EQ(number, value);
    ASSERT_TRUE(ReadRaw(HKEY_CURRENT_USER, live, L"List", value));
    EXPECT_EQ(TextValue(REG_SZ, a), value);
}

TEST(MultiStrings, SplitWithinTheBytesAndReportAGap) {
    std::vector<std::wstring> strings;
    const std::wstring full = std::wstring(L"a.exe") + L'\0' + L"b.exe" + L'\0' + L'\0';
    EXPECT_TRUE(kiv::SplitMultiString(full.c_str(), static_cast<DWORD>(full.size() * 2), strings));
    EXPECT_EQ((std::vector<std::wstring>{L"a.exe", L"b.exe"}), strings);
    // A last string without its NUL ends with the data, never past it.
    EXPECT_TRUE(kiv::SplitMultiString(full.c_str(), 8, strings));
    EXPECT_EQ((std::vector<std::wstring>{L"a.ex"}), strings);
    const std::wstring gap = std::wstring(L"a.exe") + L'\0' + L'\0' + L"b.exe" + L'\0' + L'\0';
    EXPECT_FALSE(kiv::SplitMultiString(gap.c_str(), static_cast<DWORD>(gap.size() * 2), strings));
    EXPECT_EQ((std::vector<std::wstring>{L"a.exe"}), strings);
}
