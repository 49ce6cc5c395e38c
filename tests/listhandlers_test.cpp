#include <gtest/gtest.h>

#include <windows.h>
#include <shlwapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/Records.h"
#include "support/RegistryTestKit.h"
#include "support/TestSupport.h"

using kivtest::KeyExists;
using kivtest::RawValue;
using kivtest::ScratchFolder;
using kivtest::ScratchKey;
using kivtest::TextValue;

namespace {

RawValue Multi(const std::vector<std::wstring>& strings) {
    std::wstring text;
    for (const std::wstring& s : strings) text += s + L'\0';
    return TextValue(REG_MULTI_SZ, text);  // the text's own terminator closes the list
}

// A facade over an empty catalogue, and one key and folder of the test's own.
class ListHandlerTest : public kivtest::FacadeTest {
protected:
    ListHandlerTest() : m_key(Name()), m_folder(Name()), m_live(m_key.Path()), m_marker(m_live + L"\\_disabledByKiv") {}
    static std::wstring Name() {
        const char* test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        return L"List" + std::wstring(test, test + strlen(test)).substr(0, 40);
    }

    Location* Add(EKivHandlerType type, const std::wstring& value, const std::wstring& key = L"") {
        return AddLocation(L"HKCU\\" + (key.empty() ? m_live : key), value, 1, type);
    }
    void Write(const std::wstring& key, const std::wstring& name, const RawValue& value) {
        kivtest::WriteRaw(HKEY_CURRENT_USER, key, name, value);
    }
    RawValue Read(const std::wstring& key, const std::wstring& name) {
        RawValue value;  // type REG_NONE when absent
        kivtest::ReadRaw(HKEY_CURRENT_USER, key, name, value);
        return value;
    }
    // The item of the location with this registry name 0 (the enabled one first).
    unsigned Id(const Location* location, const std::wstring& regName) {
        unsigned found = 0;
        for (unsigned id : location->m_itemIds) {
            CKivItem* item = m_kiv->ItemMapGet(id);
            if (item->m_regNames[0] == regName && (!found || item->m_enabled)) found = id;
        }
        return found;
    }

    ScratchKey m_key;
    ScratchFolder m_folder;
    const std::wstring m_live, m_marker;
};

}  // namespace

TEST_F(ListHandlerTest, SingleStringMovesWholeWithItsType) {
    m_folder.AddFile(L"tool.exe");
    kivtest::ScopedVariable dir(L"KIVTEST_EXDIR", m_folder.Path());
    const RawValue command = TextValue(REG_EXPAND_SZ, L"%KIVTEST_EXDIR%\\tool.exe /quiet");
    Write(m_live, L"Cmd", command);
    Location* location = Add(RegValueEx, L"Cmd");
    m_kiv->Collect();
    ASSERT_EQ(1u, location->m_itemIds.size());
    EXPECT_EQ(L"tool.exe", m_kiv->ItemMapGet(Id(location, L"Cmd"))->m_title);

    ASSERT_EQ(1, m_kiv->DisableItem(Id(location, L"Cmd")));
    EXPECT_EQ(REG_NONE, Read(m_live, L"Cmd").type);
    EXPECT_EQ(command, Read(m_marker, L"Cmd"));
    m_kiv->Collect();
    ASSERT_EQ(0, m_kiv->GetItemEnabled(Id(location, L"Cmd")));
    ASSERT_EQ(1, m_kiv->EnableItem(Id(location, L"Cmd")));
    EXPECT_EQ(command, Read(m_live, L"Cmd"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_marker));
}

TEST_F(ListHandlerTest, MultiStringEntriesMoveOneAtATime) {
    const std::wstring a = m_folder.AddFile(L"a.exe"), missing = m_folder.Path() + L"\\missing.exe";
    const std::wstring b = L"\"" + m_folder.AddFile(L"b.exe") + L"\" /arg";
    Write(m_live, L"List", Multi({missing, a, b}));
    Location* location = Add(RegValueEx, L"List");
    m_kiv->Collect();
    ASSERT_EQ(2u, location->m_itemIds.size());  // the missing file gives none
    EXPECT_EQ(L"b.exe", m_kiv->ItemMapGet(Id(location, b))->m_title);

    // The first disable starts the marker list, the next appends to it.
    ASSERT_EQ(1, m_kiv->DisableItem(Id(location, b)));
    ASSERT_EQ(1, m_kiv->DisableItem(Id(location, a)));
    EXPECT_EQ(Multi({missing}), Read(m_live, L"List"));
    EXPECT_EQ(Multi({b, a}), Read(m_marker, L"List"));

    // A copy found back in the live list is another entry: the one moved joins it.
    Write(m_live, L"List", Multi({missing, a}));
    ASSERT_EQ(1, m_kiv->EnableItem(Id(location, a)));
    EXPECT_EQ(Multi({missing, a, a}), Read(m_live, L"List"));
    EXPECT_EQ(Multi({b}), Read(m_marker, L"List"));
    ASSERT_EQ(1, m_kiv->EnableItem(Id(location, b)));
    EXPECT_EQ(Multi({missing, a, a, b}), Read(m_live, L"List"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_marker));
}

TEST_F(ListHandlerTest, MultiStringRemovalTakesOnlyTheWholeMatchingString) {
    const std::wstring a = m_folder.AddFile(L"a.exe"), c = m_folder.AddFile(L"c.exe");
    const std::wstring withArgs = a + L" /x";  // holds a's text, but is another entry
    Write(m_live, L"List", Multi({withArgs, a, c}));
    Write(m_marker, L"List", Multi({c}));
    Location* location = Add(RegValueEx, L"List");
    m_kiv->Collect();
    ASSERT_EQ(4u, location->m_itemIds.size());
    unsigned disabledC = location->m_itemIds.back();
    ASSERT_EQ(0, m_kiv->GetItemEnabled(disabledC));

    const size_t before = Read(m_live, L"List").bytes.size();
    ASSERT_EQ(1, m_kiv->RemoveItem(Id(location, a)));
    EXPECT_EQ(Multi({withArgs, c}), Read(m_live, L"List"));
    EXPECT_EQ(before - 2 * (a.size() + 1), Read(m_live, L"List").bytes.size());
    EXPECT_EQ(0, m_kiv->RemoveItem(Id(location, a)));
    ASSERT_EQ(1, m_kiv->RemoveItem(disabledC));  // its marker list empties and goes
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_marker));

    // A live list keeps its value, closed by two NULs, when its last entry goes.
    Write(m_live, L"List", Multi({a}));
    ASSERT_EQ(1, m_kiv->DisableItem(Id(location, a)));
    EXPECT_EQ(std::vector<BYTE>(4, 0), Read(m_live, L"List").bytes);
}

TEST_F(ListHandlerTest, ValuesThatCannotBeReadOrWouldNotFitAreNeverReplaced) {
    const std::wstring a = m_folder.AddFile(L"a.exe");
    Write(m_live, L"List", Multi({a}));
    Write(m_live, L"Single", TextValue(REG_SZ, a));
    Location* list = Add(RegValueEx, L"List");
    Location* single = Add(RegValueEx, L"Single");
    m_kiv->Collect();

    // Too long to read, of another kind, and too long once the entry is added.
    for (const RawValue& held : {TextValue(REG_MULTI_SZ, std::wstring(300, L'x')), TextValue(REG_SZ, L"older"),
                                 Multi({std::wstring(250, L'y')})}) {
        Write(m_marker, L"List", held);
        EXPECT_EQ(0, m_kiv->DisableItem(Id(list, a)));
        EXPECT_EQ(held, Read(m_marker, L"List"));
        EXPECT_EQ(Multi({a}), Read(m_live, L"List"));
    }
    // A disabled list is not overwritten by a single string of the same name.
    Write(m_marker, L"Single", Multi({a}));
    EXPECT_EQ(0, m_kiv->DisableItem(Id(single, L"Single")));
    EXPECT_EQ(Multi({a}), Read(m_marker, L"Single"));

    // Other types give no items, and items made before the change cannot touch them.
    const RawValue number{REG_DWORD, {1, 0, 0, 0}};
    Write(m_live, L"List", number);
    EXPECT_EQ(0, m_kiv->RemoveItem(Id(list, a)));
    m_kiv->Collect();
    EXPECT_TRUE(list->m_itemIds.empty());
    EXPECT_EQ(number, Read(m_live, L"List"));
}

TEST_F(ListHandlerTest, WinlogonListsHoldWholeCommandLinesBetweenCommasWhateverTheNameCase) {
    const std::wstring a = m_folder.AddFile(L"a.exe"), b = m_folder.AddFile(L"my agent.exe");
    const std::wstring winlogon = m_live + L"\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    const std::wstring marker = winlogon + L"\\_disabledByKiv";
    Write(winlogon, L"Userinit", TextValue(REG_SZ, a + L", " + b + L","));
    Write(m_live, L"Shell", TextValue(REG_SZ, a + L", " + b));
    Location* list = Add(RegValueEx, L"USERINIT", winlogon);
    Location* elsewhere = Add(RegValueEx, L"Shell");  // not below Winlogon: one command line
    m_kiv->Collect();
    ASSERT_EQ(2u, list->m_itemIds.size());  // the blank inside b's path does not cut it
    EXPECT_EQ(b, m_kiv->ItemMapGet(Id(list, b))->m_title);
    ASSERT_EQ(1u, elsewhere->m_itemIds.size());
    EXPECT_EQ(L"a.exe", m_kiv->ItemMapGet(elsewhere->m_itemIds[0])->m_title);

    // The element goes with its comma; enabling adds it after the closing comma.
    ASSERT_EQ(1, m_kiv->DisableItem(Id(list, b)));
    EXPECT_EQ(TextValue(REG_SZ, a + L","), Read(winlogon, L"Userinit"));
    EXPECT_EQ(TextValue(REG_SZ, b + L","), Read(marker, L"Userinit"));
    ASSERT_EQ(1, m_kiv->EnableItem(Id(list, b)));
    EXPECT_EQ(TextValue(REG_SZ, a + L"," + b), Read(winlogon, L"Userinit"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, marker));  // emptied by the enable
    // The last element takes the comma before it; enabling adds one, never a blank.
    ASSERT_EQ(1, m_kiv->DisableItem(Id(list, b)));
    ASSERT_EQ(1, m_kiv->DisableItem(Id(list, a)));
    EXPECT_EQ(TextValue(REG_SZ, L""), Read(winlogon, L"Userinit"));
    EXPECT_EQ(TextValue(REG_SZ, b + L"," + a + L","), Read(marker, L"Userinit"));
    // Disabled, the path with a blank is still one entry, and comes back whole.
    m_kiv->Collect();
    ASSERT_EQ(2u, list->m_itemIds.size());
    EXPECT_EQ(0u, m_kiv->ItemMapGet(Id(list, b))->m_enabled);
    ASSERT_EQ(1, m_kiv->EnableItem(Id(list, a)));
    ASSERT_EQ(1, m_kiv->EnableItem(Id(list, b)));
    EXPECT_EQ(TextValue(REG_SZ, a + L"," + b), Read(winlogon, L"Userinit"));
    // A marker of an earlier version holds words: each is an entry of its own, and
    // the next disable turns them into elements.
    const std::wstring c = m_folder.AddFile(L"c.exe");
    Write(marker, L"Userinit", TextValue(REG_SZ, a + L" " + c));
    m_kiv->Collect();
    ASSERT_EQ(4u, list->m_itemIds.size());
    ASSERT_EQ(1, m_kiv->EnableItem(Id(list, c)));
    EXPECT_EQ(TextValue(REG_SZ, a), Read(marker, L"Userinit"));
    ASSERT_EQ(1, m_kiv->DisableItem(Id(list, b)));
    EXPECT_EQ(TextValue(REG_SZ, a + L"," + b + L","), Read(marker, L"Userinit"));
    RegDeleteTreeW(HKEY_CURRENT_USER, marker.c_str());
    // An element of two program names is one entry, disabled and enabled whole.
    Write(winlogon, L"Userinit", TextValue(REG_SZ, a + L" " + c));
    m_kiv->Collect();
    ASSERT_EQ(1u, list->m_itemIds.size());
    ASSERT_EQ(1, m_kiv->DisableItem(list->m_itemIds[0]));
    m_kiv->Collect();
    ASSERT_EQ(1u, list->m_itemIds.size());
    ASSERT_EQ(1, m_kiv->EnableItem(list->m_itemIds[0]));
    EXPECT_EQ(TextValue(REG_SZ, a + L" " + c), Read(winlogon, L"Userinit"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, marker));
    Write(winlogon, L"Userinit", TextValue(REG_SZ, a + L"," + b));
    m_kiv->Collect();

    // An entry that is only part of an element is not one: nothing is written.
    const RawValue withArgument = TextValue(REG_SZ, a + L"," + b + L" /x");
    Write(winlogon, L"Userinit", withArgument);
    EXPECT_EQ(0, m_kiv->DisableItem(Id(list, b)));
    EXPECT_EQ(0, m_kiv->RemoveItem(Id(list, b)));
    EXPECT_EQ(withArgument, Read(winlogon, L"Userinit"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, marker));

    // A disabled entry removed empties its marker value, which goes with its key.
    ASSERT_EQ(1, m_kiv->DisableItem(Id(list, a)));
    ASSERT_EQ(1, m_kiv->RemoveItem(Id(list, a)));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, marker));
    EXPECT_EQ(TextValue(REG_SZ, b + L" /x"), Read(winlogon, L"Userinit"));
}

TEST_F(ListHandlerTest, EachCopyOfAnEntryListedTwiceMovesOnItsOwn) {
    const std::wstring a = m_folder.AddFile(L"a.dll");
    Write(m_live, L"AppInit_DLLs", TextValue(REG_SZ, a + L" " + a));
    Write(m_live, L"List", Multi({a, a}));
    Location* words = Add(AppInitDll, L"AppInit_DLLs");
    Location* strings = Add(RegValueEx, L"List");
    m_kiv->Collect();
    ASSERT_EQ(2u, words->m_itemIds.size());
    ASSERT_EQ(2u, strings->m_itemIds.size());
    for (const Location* location : {words, strings})
        for (unsigned id : location->m_itemIds) ASSERT_EQ(1, m_kiv->DisableItem(id));
    EXPECT_EQ(TextValue(REG_SZ, L" "), Read(m_live, L"AppInit_DLLs"));
    EXPECT_EQ(TextValue(REG_SZ, a + L" " + a), Read(m_marker, L"AppInit_DLLs"));
    EXPECT_EQ(std::vector<BYTE>(4, 0), Read(m_live, L"List").bytes);
    EXPECT_EQ(Multi({a, a}), Read(m_marker, L"List"));

    // One copy back, the other removed from the marker: each leaves exactly one.
    for (const Location* location : {words, strings}) {
        ASSERT_EQ(1, m_kiv->EnableItem(location->m_itemIds[0]));
        ASSERT_EQ(1, m_kiv->RemoveItem(location->m_itemIds[1]));
    }
    EXPECT_EQ(TextValue(REG_SZ, L"  " + a), Read(m_live, L"AppInit_DLLs"));
    EXPECT_EQ(Multi({a}), Read(m_live, L"List"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_marker));
}

TEST_F(ListHandlerTest, AppInitEntriesMoveAndAllReportTheListValue) {
    const std::wstring a = m_folder.AddFile(L"a.dll"), c = m_folder.AddFile(L"c.dll");
    const std::wstring rest = m_folder.AddFile(L"notes.txt") + L" " + m_folder.Path() + L"\\gone.dll";
    Write(m_live, L"AppInit_DLLs", TextValue(REG_SZ, a + L"," + rest + L" " + c));
    Location* location = Add(AppInitDll, L"AppInit_DLLs");
    m_kiv->Collect();
    ASSERT_EQ(2u, location->m_itemIds.size());  // not the text file, not the missing library

    ASSERT_EQ(1, m_kiv->DisableItem(Id(location, c)));
    EXPECT_EQ(TextValue(REG_SZ, c), Read(m_marker, L"AppInit_DLLs"));
    for (unsigned id : location->m_itemIds) {
        wchar_t key[260] = L"", value[260] = L"";
        m_kiv->Ostrel_GetItemRegLocation(id, key, value, 260, 260);
        EXPECT_EQ(L"HKCU\\" + m_live, std::wstring(key));
        EXPECT_EQ(L"AppInit_DLLs", std::wstring(value));
    }
    ASSERT_EQ(1, m_kiv->RemoveItem(Id(location, c)));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, m_marker));
    ASSERT_EQ(1, m_kiv->RemoveItem(Id(location, a)));
    EXPECT_EQ(TextValue(REG_SZ, L"," + rest), Read(m_live, L"AppInit_DLLs"));  // separators stay
}

// The entry is kept in the marker before the live list is written: a live list
// that may be read (and given a marker) but not written gets it back out of the
// marker, and a marker made for it alone goes again.
TEST_F(ListHandlerTest, ADisableThatCannotWriteTheLiveListTakesTheEntryBackOutOfTheMarker) {
    const std::wstring a = m_folder.AddFile(L"a.dll");
    for (const RawValue& marked : {RawValue(), TextValue(REG_SZ, L"older.dll")}) {
        SHDeleteKeyW(HKEY_CURRENT_USER, m_marker.c_str());
        if (marked.type != REG_NONE) Write(m_marker, L"AppInit_DLLs", marked);
        Write(m_live, L"AppInit_DLLs", TextValue(REG_SZ, a));
        Location* location = Add(AppInitDll, L"AppInit_DLLs");
        m_kiv->Collect();
        const unsigned id = Id(location, a);
        ASSERT_NE(0u, id);
        {
            // Reading and making subkeys (0x4), but not setting values.
            kivtest::DeniedRight noValues(m_live, L"D:P(A;;KRWD;;;WD)(A;;0x4;;;WD)");
            EXPECT_EQ(0, m_kiv->DisableItem(id));
            EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
        }
        EXPECT_EQ(1, m_kiv->GetItemEnabled(id));
        EXPECT_EQ(TextValue(REG_SZ, a), Read(m_live, L"AppInit_DLLs"));
        EXPECT_EQ(marked, Read(m_marker, L"AppInit_DLLs"));
        EXPECT_EQ(marked.type != REG_NONE, KeyExists(HKEY_CURRENT_USER, m_marker));
    }
}

// The entry is back in the live list before the marker is changed: a marker that
// may not be changed takes it out again, and the list reads as before.
TEST_F(ListHandlerTest, AnEnableThatCannotChangeTheMarkerTakesTheEntryBackOut) {
    const std::wstring a = m_folder.AddFile(L"a.dll");
    struct Case {
        const wchar_t* name;
        RawValue live;  // REG_NONE: no live value
    };
    const Case cases[] = {{L"no live value", RawValue()}, {L"a live list", TextValue(REG_SZ, L"other.dll")}};
    for (const Case& c : cases) {
        if (c.live.type == REG_NONE) RegDeleteKeyValueW(HKEY_CURRENT_USER, m_live.c_str(), L"AppInit_DLLs");
        else Write(m_live, L"AppInit_DLLs", c.live);
        Write(m_marker, L"AppInit_DLLs", TextValue(REG_SZ, a));
        Location* location = Add(AppInitDll, L"AppInit_DLLs");
        m_kiv->Collect();
        const unsigned id = Id(location, a);
        ASSERT_NE(0u, id) << kivtest::Narrow(c.name);
        {
            kivtest::DeniedRight readOnly(m_marker, L"D:P(A;;KRWD;;;WD)");
            EXPECT_EQ(0, m_kiv->EnableItem(id)) << kivtest::Narrow(c.name);
            EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
        }
        EXPECT_EQ(0, m_kiv->GetItemEnabled(id));
        EXPECT_EQ(c.live, Read(m_live, L"AppInit_DLLs")) << kivtest::Narrow(c.name);
        EXPECT_EQ(TextValue(REG_SZ, a), Read(m_marker, L"AppInit_DLLs")) << kivtest::Narrow(c.name);
    }
}
