#include <gtest/gtest.h>

#include <memory>

#include "core/Records.h"
#include "filefacts/TestFolder.h"
#include "core/KivHandler.h"
#include "support/TestSupport.h"

using kivtest::Lower;
using kivtest::ReadBytes;
using kivtest::WriteBytes;

namespace {

DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }
bool IsFile(const std::wstring& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A facade over an empty catalogue, COM on the test's thread (shortcuts are read
// through the shell-link object) and a folder c:\kivtests\startupfiles\<case>
// holding "Startup"; the sibling disabled folder goes with the case folder.
class StartupFileTest : public kivtest::FacadeTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_com.Ok());
        FacadeTest::SetUp();
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_case.reset(new kivtest::TestFolder(L"startupfiles", std::wstring(name.begin(), name.end())));
        m_startup = *m_case / L"Startup";
        m_disabled = m_startup + L"_disabledByKiv";
        CreateDirectoryW(m_startup.c_str(), nullptr);
    }
    void TearDown() override {
        FacadeTest::TearDown();
        m_case.reset();
    }

    Location* AddLocation(const std::wstring& path, unsigned type = Location::Folder, const std::wstring& value = L"",
                          unsigned char wow64 = 0) {
        return FacadeTest::AddLocation(path, value, type, SimpleFile, wow64);
    }
    CKivItem* Item(Location* location, size_t index) { return m_kiv->ItemMapGet(location->m_itemIds.at(index)); }

    kivtest::ComApartment m_com;
    std::unique_ptr<kivtest::TestFolder> m_case;
    std::wstring m_startup, m_disabled;
};

}  // namespace

TEST_F(StartupFileTest, ShortcutMovesToTheDisabledFolderAndBack) {
    // A program with an icon, so that the item has one to hand out.
    const std::wstring target = *m_case / L"target.exe";
    wchar_t system[MAX_PATH] = {};
    ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
    ASSERT_TRUE(CopyFileW((std::wstring(system) + L"\\notepad.exe").c_str(), target.c_str(), FALSE));
    const std::wstring link = m_startup + L"\\App.lnk";
    ASSERT_HRESULT_SUCCEEDED(kivtest::MakeShortcut(link, target));
    const std::string linkBytes = ReadBytes(link);
    ASSERT_TRUE(WriteBytes(m_startup + L"\\desktop.ini", "[.ShellClassInfo]"));
    ASSERT_TRUE(CreateDirectoryW((m_startup + L"\\folder.exe").c_str(), nullptr));
    Location* location = AddLocation(m_startup);
    Location* missing = AddLocation(*m_case / L"Missing");
    Location* twin = AddLocation(m_startup, Location::Folder, L"", 1);  // a view flag is no folder's

    m_kiv->Collect();
    EXPECT_TRUE(missing->m_itemIds.empty());
    EXPECT_TRUE(twin->m_itemIds.empty());
    ASSERT_EQ(1u, location->m_itemIds.size());  // neither desktop.ini nor the folder
    CKivItem* item = Item(location, 0);
    EXPECT_EQ(L"App.lnk", item->m_title);
    EXPECT_EQ(link, item->m_file.filePath);
    EXPECT_EQ(Lower(target), Lower(item->m_file.shortcutTarget));

    // What the host read before the move stays readable, unchanged, while the item
    // lives; what it reads after is the file at its new place.
    const wchar_t* pathBefore = m_kiv->GetItemFilePath(item->m_globalId);
    const wchar_t* md5Before = m_kiv->GetItemFileMd5(item->m_globalId);
    const std::wstring md5 = md5Before;
    const HICON iconBefore = m_kiv->GetItemIcon(item->m_globalId);
    ASSERT_NE(nullptr, iconBefore);
    ASSERT_EQ(1, m_kiv->DisableItem(item->m_globalId));
    const std::wstring moved = m_disabled + L"\\App.lnk";
    EXPECT_EQ(link, std::wstring(pathBefore));
    EXPECT_EQ(md5, std::wstring(md5Before));
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(iconBefore, &info));
    if (info.hbmMask) DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    EXPECT_EQ(moved, std::wstring(m_kiv->GetItemFilePath(item->m_globalId)));
    EXPECT_NE(iconBefore, m_kiv->GetItemIcon(item->m_globalId));
    EXPECT_FALSE(IsFile(link));
    EXPECT_EQ(linkBytes, ReadBytes(moved));
    EXPECT_EQ(moved, item->m_file.filePath);  // the item describes the file at its new place
    EXPECT_EQ(Lower(target), Lower(item->m_file.shortcutTarget));

    m_kiv->Collect();
    ASSERT_EQ(1u, location->m_itemIds.size());
    item = Item(location, 0);
    EXPECT_EQ(0u, item->m_enabled);
    EXPECT_EQ(moved, item->m_file.filePath);

    ASSERT_EQ(1, m_kiv->EnableItem(item->m_globalId));
    EXPECT_EQ(linkBytes, ReadBytes(link));
    EXPECT_EQ(link, item->m_file.filePath);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, Attributes(m_disabled));  // the emptied folder stays
}

TEST_F(StartupFileTest, FailedMovesReplaceNothingAndMoveNothing) {
    ASSERT_TRUE(CreateDirectoryW(m_disabled.c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(m_startup + L"\\app.exe", "MZ live"));
    ASSERT_TRUE(WriteBytes(m_disabled + L"\\app.exe", "MZ disabled"));
    Location* location = AddLocation(m_startup);
    m_kiv->Collect();
    ASSERT_EQ(2u, location->m_itemIds.size());
    CKivItem* live = Item(location, 0);
    CKivItem* off = Item(location, 1);

    // The name is taken in the other folder either way.
    EXPECT_EQ(0, m_kiv->DisableItem(live->m_globalId));
    EXPECT_EQ(0, m_kiv->EnableItem(off->m_globalId));
    // An item already in its place is not moved again: a second disable would bury
    // the file one folder deeper, out of reach of every collection.
    EXPECT_EQ(0, live->m_handler->EnableItem(live));
    EXPECT_EQ(0, off->m_handler->DisableItem(off));
    // Asked of the facade, the state already holds: nothing moves and that is a success.
    EXPECT_EQ(1, m_kiv->EnableItem(live->m_globalId));
    EXPECT_EQ(1, m_kiv->DisableItem(off->m_globalId));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, Attributes(m_disabled + L"_disabledByKiv"));
    EXPECT_EQ("MZ live", ReadBytes(m_startup + L"\\app.exe"));
    EXPECT_EQ("MZ disabled", ReadBytes(m_disabled + L"\\app.exe"));
    EXPECT_EQ(m_startup + L"\\app.exe", live->m_file.filePath);

    // A file where the disabled folder would go.
    const std::wstring blocked = *m_case / L"Blocked";
    ASSERT_TRUE(CreateDirectoryW(blocked.c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(blocked + L"_disabledByKiv", "in the way"));
    ASSERT_TRUE(WriteBytes(blocked + L"\\app.exe", "MZ"));
    Location* other = AddLocation(blocked);
    m_kiv->Collect();
    EXPECT_EQ(0, m_kiv->DisableItem(other->m_itemIds.at(0)));
    EXPECT_TRUE(IsFile(blocked + L"\\app.exe"));
}

TEST_F(StartupFileTest, EnableReturnsToTheFolderWhoseSiblingHoldsTheFile) {
    // A marker inside another folder's name must not decide where the file goes back.
    const std::wstring folder = *m_case / L"Old_disabledByKiv\\Startup";
    ASSERT_TRUE(CreateDirectoryW((*m_case / L"Old_disabledByKiv").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((*m_case / L"Old").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(folder + L"\\app.exe", "MZ"));
    Location* location = AddLocation(folder);
    m_kiv->Collect();
    const unsigned id = location->m_itemIds.at(0);
    ASSERT_EQ(1, m_kiv->DisableItem(id));
    ASSERT_EQ(1, m_kiv->EnableItem(id));
    EXPECT_TRUE(IsFile(folder + L"\\app.exe"));
    EXPECT_FALSE(IsFile(*m_case / L"Old\\app.exe"));
}

TEST_F(StartupFileTest, RemoveDeletesInEitherFolderAndKeepsWhatItCannotDelete) {
    ASSERT_TRUE(CreateDirectoryW(m_disabled.c_str(), nullptr));
    const std::wstring off = m_disabled + L"\\off.exe", locked = m_startup + L"\\locked.exe";
    ASSERT_TRUE(WriteBytes(off, "MZ") && WriteBytes(locked, "MZ"));
    ASSERT_TRUE(SetFileAttributesW(off.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    Location* location = AddLocation(m_startup);
    m_kiv->Collect();
    CKivItem* lockedItem = Item(location, 0);
    CKivItem* offItem = Item(location, 1);

    EXPECT_EQ(1, m_kiv->RemoveItem(offItem->m_globalId));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, Attributes(off));
    EXPECT_EQ(0, offItem->m_handler->RestoreItem(offItem));  // a deleted file cannot come back

    // Open without delete sharing the file cannot go: it stays, read-only as before.
    {
        kiv::UniqueFile open(
            CreateFileW(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(open.Valid());
        EXPECT_EQ(0, m_kiv->RemoveItem(lockedItem->m_globalId));
    }
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_READONLY), Attributes(locked) & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(StartupFileTest, SingleFileLocationNamesOneFileOfItsFolder) {
    kivtest::ScopedVariable variable(L"KIVTEST_STARTUP_CASE", m_case->Path());
    ASSERT_TRUE(WriteBytes(m_startup + L"\\tool.exe", "MZ tool"));
    ASSERT_TRUE(WriteBytes(*m_case / L"outside.exe", "MZ outside"));
    // A location type that keeps its value also keeps its path as written.
    Location* location = AddLocation(L"%KIVTEST_STARTUP_CASE%\\Startup", 3, L"tool.exe");
    Location* escaping = AddLocation(m_startup, 3, L"..\\outside.exe");

    m_kiv->Collect();
    EXPECT_TRUE(escaping->m_itemIds.empty());
    ASSERT_EQ(1u, location->m_itemIds.size());
    EXPECT_EQ(L"tool.exe", Item(location, 0)->m_title);
    ASSERT_EQ(1, m_kiv->DisableItem(location->m_itemIds[0]));

    m_kiv->Collect();
    ASSERT_EQ(1u, location->m_itemIds.size());
    CKivItem* item = Item(location, 0);
    EXPECT_EQ(0u, item->m_enabled);
    EXPECT_EQ(Lower(m_disabled + L"\\tool.exe"), Lower(item->m_file.filePath));
    ASSERT_EQ(1, m_kiv->RemoveItem(item->m_globalId));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, Attributes(m_disabled + L"\\tool.exe"));
    EXPECT_EQ("MZ outside", ReadBytes(*m_case / L"outside.exe"));
}
