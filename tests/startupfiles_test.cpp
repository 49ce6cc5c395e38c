#include <gtest/gtest.h>

#include <memory>

#include "core/Records.h"
#include "filefacts/TestFolder.h"
#include "handlers/KivHandler.h"
#include "support/TestSupport.h"

using kivtest::ComApartment;
using kivtest::ReadBytes;
using kivtest::TestFolder;
using kivtest::WriteBytes;

namespace {

bool IsFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
    return text;
}

// A facade over an empty catalogue, COM on the test's thread (shortcuts are read
// through the shell-link object), and a case folder c:\kivtests\startupfiles\<case>
// holding a "Startup" folder; the case folder goes with everything in it, the
// sibling disabled folder included.
class StartupFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_com.Ok());
        kivtest::WriteBesideProgram(L"kivdata.dat", "<kivdata></kivdata>");
        kivtest::WriteBesideProgram(L"kivwl.dat", kivtest::Utf16Bytes(L"|0", false));
        m_kiv = CKiv::Init();
        m_category = new Category(L"test", 0);
        CKivTestAccess::Categories(m_kiv).push_back(m_category);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = info->name();
        m_case.reset(new TestFolder(L"startupfiles", std::wstring(name.begin(), name.end())));
        m_startup = *m_case / L"Startup";
        m_disabled = m_startup + L"_disabledByKiv";
        CreateDirectoryW(m_startup.c_str(), nullptr);
    }
    void TearDown() override {
        CKiv::Dispose();
        m_case.reset();
    }

    Location* AddLocation(const std::wstring& path, unsigned type = Location::Folder,
                          const std::wstring& value = L"", unsigned char wow64 = 0) {
        auto* location = new Location(path, value, type, SimpleFile, wow64);
        m_category->m_locations.push_back(location);
        return location;
    }

    CKivItem* Find(Location* location, const std::wstring& title) {
        for (unsigned id : location->m_itemIds) {
            CKivItem* item = m_kiv->ItemMapGet(id);
            if (item && item->m_title == title) return item;
        }
        return nullptr;
    }

    // A program in the case folder for shortcuts to point at.
    std::wstring Program(const std::wstring& name) {
        const std::wstring path = *m_case / name;
        EXPECT_TRUE(WriteBytes(path, "MZ program " + std::string(name.begin(), name.end())));
        return path;
    }

    ComApartment m_com;
    CKiv* m_kiv = nullptr;
    Category* m_category = nullptr;
    std::unique_ptr<TestFolder> m_case;
    std::wstring m_startup, m_disabled;
};

}  // namespace

TEST_F(StartupFileTest, ShortcutRoundTripThroughTheDisabledFolder) {
    const std::wstring target = Program(L"target.exe");
    const std::wstring link = m_startup + L"\\App.lnk";
    ASSERT_HRESULT_SUCCEEDED(kivtest::MakeShortcut(link, target));
    const std::string linkBytes = ReadBytes(link);
    ASSERT_FALSE(linkBytes.empty());
    ASSERT_TRUE(WriteBytes(m_startup + L"\\tool.EXE", "MZ tool"));
    ASSERT_TRUE(WriteBytes(m_startup + L"\\desktop.ini", "[.ShellClassInfo]"));
    ASSERT_TRUE(WriteBytes(m_startup + L"\\notes.txt", "text"));
    ASSERT_TRUE(CreateDirectoryW((m_startup + L"\\folder.exe").c_str(), nullptr));
    Location* location = AddLocation(m_startup);

    m_kiv->Collect();
    ASSERT_EQ(2u, location->m_itemIds.size());  // neither the folder nor the non-programs
    ASSERT_NE(nullptr, Find(location, L"tool.EXE"));
    CKivItem* item = Find(location, L"App.lnk");
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(link, item->m_file.filePath);
    EXPECT_EQ(Lower(target), Lower(item->m_file.shortcutTarget));
    EXPECT_EQ(2u, item->m_gotoKind);
    EXPECT_EQ(1u, item->m_enabled);
    EXPECT_EQ(0u, item->m_win32);
    EXPECT_TRUE(item->m_regNames.empty());
    const std::wstring md5 = item->m_file.md5;

    // Disabling creates the sibling folder and moves the shortcut into it; the item
    // describes the file at its new place.
    ASSERT_EQ(1, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(0, m_kiv->GetItemEnabled(item->m_globalId));
    EXPECT_FALSE(IsFile(link));
    const std::wstring moved = m_disabled + L"\\App.lnk";
    EXPECT_EQ(linkBytes, ReadBytes(moved));
    EXPECT_EQ(moved, item->m_file.filePath);
    EXPECT_EQ(Lower(target), Lower(item->m_file.shortcutTarget));
    EXPECT_EQ(md5, item->m_file.md5);

    m_kiv->Collect();
    ASSERT_EQ(2u, location->m_itemIds.size());
    item = Find(location, L"App.lnk");
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(0u, item->m_enabled);
    EXPECT_EQ(moved, item->m_file.filePath);
    EXPECT_EQ(1u, Find(location, L"tool.EXE")->m_enabled);

    ASSERT_EQ(1, m_kiv->EnableItem(item->m_globalId));
    EXPECT_EQ(1, m_kiv->GetItemEnabled(item->m_globalId));
    EXPECT_EQ(linkBytes, ReadBytes(link));
    EXPECT_EQ(link, item->m_file.filePath);
    EXPECT_FALSE(IsFile(moved));
    EXPECT_TRUE(IsFolder(m_disabled));  // the emptied disabled folder stays
}

TEST_F(StartupFileTest, ANameTakenInTheOtherFolderIsNeverReplaced) {
    ASSERT_TRUE(CreateDirectoryW(m_disabled.c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(m_startup + L"\\app.exe", "MZ live"));
    ASSERT_TRUE(WriteBytes(m_disabled + L"\\app.exe", "MZ disabled"));
    Location* location = AddLocation(m_startup);
    m_kiv->Collect();
    ASSERT_EQ(2u, location->m_itemIds.size());
    CKivItem* live = m_kiv->ItemMapGet(location->m_itemIds[0]);
    CKivItem* off = m_kiv->ItemMapGet(location->m_itemIds[1]);
    ASSERT_EQ(1u, live->m_enabled);
    ASSERT_EQ(0u, off->m_enabled);

    EXPECT_EQ(0, m_kiv->DisableItem(live->m_globalId));
    EXPECT_EQ(0, m_kiv->EnableItem(off->m_globalId));
    EXPECT_EQ("MZ live", ReadBytes(m_startup + L"\\app.exe"));
    EXPECT_EQ("MZ disabled", ReadBytes(m_disabled + L"\\app.exe"));
    EXPECT_EQ(1, m_kiv->GetItemEnabled(live->m_globalId));
    EXPECT_EQ(m_startup + L"\\app.exe", live->m_file.filePath);  // a failed move keeps the facts

    // An item already in its place is not moved again: a second disable would bury
    // the file one folder deeper, out of reach of every collection.
    EXPECT_EQ(0, live->m_handler->EnableItem(live));
    EXPECT_EQ(0, off->m_handler->DisableItem(off));
    EXPECT_FALSE(IsFolder(m_disabled + L"_disabledByKiv"));
    EXPECT_EQ("MZ disabled", ReadBytes(m_disabled + L"\\app.exe"));
}

TEST_F(StartupFileTest, DisableFailsWhenTheDisabledFolderCannotBeMade) {
    ASSERT_TRUE(WriteBytes(m_disabled, "a file in the way"));
    ASSERT_TRUE(WriteBytes(m_startup + L"\\app.exe", "MZ"));
    Location* location = AddLocation(m_startup);
    m_kiv->Collect();
    ASSERT_EQ(1u, location->m_itemIds.size());
    EXPECT_EQ(0, m_kiv->DisableItem(location->m_itemIds[0]));
    EXPECT_TRUE(IsFile(m_startup + L"\\app.exe"));
    EXPECT_EQ("a file in the way", ReadBytes(m_disabled));
}

TEST_F(StartupFileTest, EnableReturnsToTheFolderWhoseSiblingHoldsTheFile) {
    // A marker inside another folder's name must not decide where the file goes back.
    const std::wstring startup = *m_case / L"Old_disabledByKiv";
    ASSERT_TRUE(CreateDirectoryW(startup.c_str(), nullptr));
    const std::wstring folder = startup + L"\\Startup";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(folder + L"\\app.exe", "MZ"));
    Location* location = AddLocation(folder);
    m_kiv->Collect();
    ASSERT_EQ(1u, location->m_itemIds.size());
    const unsigned id = location->m_itemIds[0];
    ASSERT_EQ(1, m_kiv->DisableItem(id));
    EXPECT_TRUE(IsFile(folder + L"_disabledByKiv\\app.exe"));
    ASSERT_EQ(1, m_kiv->EnableItem(id));
    EXPECT_TRUE(IsFile(folder + L"\\app.exe"));
    EXPECT_FALSE(IsFile(*m_case / L"Old\\app.exe"));
}

TEST_F(StartupFileTest, FoldersWithoutProgramsAndTwinsYieldNothing) {
    ASSERT_TRUE(WriteBytes(m_startup + L"\\desktop.ini", "[.ShellClassInfo]"));
    ASSERT_TRUE(CreateDirectoryW((m_startup + L"\\sub").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(m_startup + L"\\sub\\inner.exe", "MZ"));
    Location* plain = AddLocation(m_startup);
    Location* missing = AddLocation(*m_case / L"Missing");
    ASSERT_TRUE(CreateDirectoryW((*m_case / L"Other").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(*m_case / L"Other\\app.exe", "MZ"));
    Location* twin = AddLocation(*m_case / L"Other", Location::Folder, L"", 1);
    m_kiv->Collect();
    EXPECT_TRUE(plain->m_itemIds.empty());
    EXPECT_TRUE(missing->m_itemIds.empty());
    EXPECT_TRUE(twin->m_itemIds.empty());
}

TEST_F(StartupFileTest, RemoveDeletesInEitherFolderAndKeepsWhatItCannotDelete) {
    ASSERT_TRUE(CreateDirectoryW(m_disabled.c_str(), nullptr));
    const std::wstring off = m_disabled + L"\\off.exe";
    const std::wstring locked = m_startup + L"\\locked.exe";
    const std::wstring readOnly = m_startup + L"\\ro.exe";
    ASSERT_TRUE(WriteBytes(off, "MZ"));
    ASSERT_TRUE(WriteBytes(locked, "MZ"));
    ASSERT_TRUE(WriteBytes(readOnly, "MZ"));
    ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    Location* location = AddLocation(m_startup);
    m_kiv->Collect();
    ASSERT_EQ(3u, location->m_itemIds.size());

    EXPECT_EQ(1, m_kiv->RemoveItem(Find(location, L"off.exe")->m_globalId));
    EXPECT_FALSE(IsFile(off));
    EXPECT_EQ(1, m_kiv->RemoveItem(Find(location, L"ro.exe")->m_globalId));
    EXPECT_FALSE(IsFile(readOnly));

    // Open without delete sharing, the file cannot go: it stays, read-only as before.
    CKivItem* lockedItem = Find(location, L"locked.exe");
    {
        kiv::UniqueFile open(CreateFileW(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                         nullptr));
        ASSERT_TRUE(open.Valid());
        EXPECT_EQ(0, m_kiv->RemoveItem(lockedItem->m_globalId));
    }
    EXPECT_TRUE(IsFile(locked));
    EXPECT_NE(0u, GetFileAttributesW(locked.c_str()) & FILE_ATTRIBUTE_READONLY);

    // A deleted file cannot be brought back, nor removed twice.
    CKivItem* removed = Find(location, L"ro.exe");
    EXPECT_EQ(0, removed->m_handler->RestoreItem(removed));
    EXPECT_EQ(0, m_kiv->RemoveItem(removed->m_globalId));
    SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(StartupFileTest, SingleFileLocationNamesOneFileOfItsFolder) {
    kivtest::ScopedVariable variable(L"KIVTEST_STARTUP_CASE", m_case->Path());
    ASSERT_TRUE(WriteBytes(m_startup + L"\\tool.exe", "MZ tool"));
    ASSERT_TRUE(WriteBytes(m_startup + L"\\other.exe", "MZ other"));
    ASSERT_TRUE(WriteBytes(*m_case / L"outside.exe", "MZ outside"));
    // A location type that keeps its value keeps its path as written, too.
    Location* location = AddLocation(L"%KIVTEST_STARTUP_CASE%\\Startup", 3, L"tool.exe");
    Location* escaping = AddLocation(m_startup, 3, L"..\\outside.exe");
    Location* notProgram = AddLocation(m_startup, 3, L"desktop.ini");
    ASSERT_TRUE(WriteBytes(m_startup + L"\\desktop.ini", "[.ShellClassInfo]"));

    m_kiv->Collect();
    EXPECT_TRUE(escaping->m_itemIds.empty());
    EXPECT_TRUE(notProgram->m_itemIds.empty());
    ASSERT_EQ(1u, location->m_itemIds.size());
    CKivItem* item = m_kiv->ItemMapGet(location->m_itemIds[0]);
    EXPECT_EQ(L"tool.exe", item->m_title);
    EXPECT_EQ(Lower(m_startup + L"\\tool.exe"), Lower(item->m_file.filePath));

    ASSERT_EQ(1, m_kiv->DisableItem(item->m_globalId));
    EXPECT_TRUE(IsFile(m_disabled + L"\\tool.exe"));
    m_kiv->Collect();
    ASSERT_EQ(1u, location->m_itemIds.size());
    item = m_kiv->ItemMapGet(location->m_itemIds[0]);
    EXPECT_EQ(0u, item->m_enabled);
    EXPECT_EQ(L"tool.exe", item->m_title);

    ASSERT_EQ(1, m_kiv->EnableItem(item->m_globalId));
    EXPECT_TRUE(IsFile(m_startup + L"\\tool.exe"));
    ASSERT_EQ(1, m_kiv->RemoveItem(item->m_globalId));
    EXPECT_FALSE(IsFile(m_startup + L"\\tool.exe"));
    EXPECT_EQ("MZ other", ReadBytes(m_startup + L"\\other.exe"));
    EXPECT_EQ("MZ outside", ReadBytes(*m_case / L"outside.exe"));
}
