#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "core/Records.h"
#include "filefacts/TestFolder.h"
#include "support/TestSupport.h"

using kivtest::ReadBytes;
using kivtest::TestFolder;
using kivtest::WriteBytes;

namespace {

const wchar_t kAbsent[] = L"<absent>";

// A key's text through the profile functions, or kAbsent.
std::wstring ReadKey(const std::wstring& file, const wchar_t* section, const std::wstring& key) {
    wchar_t buffer[1024] = {};
    if (file.empty())
        GetProfileStringW(section, key.c_str(), kAbsent, buffer, 1024);
    else
        GetPrivateProfileStringW(section, key.c_str(), kAbsent, buffer, 1024, file.c_str());
    return buffer;
}

void WriteKey(const std::wstring& file, const wchar_t* section, const std::wstring& key, const wchar_t* text) {
    if (file.empty())
        WriteProfileStringW(section, key.c_str(), text);
    else
        WritePrivateProfileStringW(section, key.c_str(), text, file.c_str());
}

// Every key of win.ini's section "windows" a test may touch, taken away for the
// test and put back as it was (or left absent) afterwards.
class WinIniKeysGuard {
public:
    WinIniKeysGuard() {
        for (const wchar_t* base : {L"Run", L"Load"})
            for (const wchar_t* suffix : {L"", L"_disabledByKiv", L"_removedByKiv", L"_disabledByKiv_removedByKiv"}) {
                const std::wstring key = std::wstring(base) + suffix;
                m_saved.emplace_back(key, ReadKey(L"", L"windows", key));
                WriteKey(L"", L"windows", key, nullptr);
            }
    }
    ~WinIniKeysGuard() {
        for (const auto& saved : m_saved)
            WriteKey(L"", L"windows", saved.first, saved.second == kAbsent ? nullptr : saved.second.c_str());
    }
    WinIniKeysGuard(const WinIniKeysGuard&) = delete;
    WinIniKeysGuard& operator=(const WinIniKeysGuard&) = delete;

private:
    std::vector<std::pair<std::wstring, std::wstring>> m_saved;
};

// A program in %TEMP%, one of the folders searched for bare names, so that a
// one-letter entry can name it.
class TempProgram {
public:
    explicit TempProgram(const std::wstring& name) {
        wchar_t folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        m_path = std::wstring(folder) + name;
        WriteBytes(m_path, "MZ");
    }
    ~TempProgram() { DeleteFileW(m_path.c_str()); }
    TempProgram(const TempProgram&) = delete;
    TempProgram& operator=(const TempProgram&) = delete;

private:
    std::wstring m_path;
};

// A facade over an empty catalogue and a case folder c:\kivtests\profiles\<case>
// with a program and a profile file of the case's own.
class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        kivtest::WriteBesideProgram(L"kivdata.dat", "<kivdata></kivdata>");
        kivtest::WriteBesideProgram(L"kivwl.dat", kivtest::Utf16Bytes(L"|0", false));
        m_kiv = CKiv::Init();
        m_category = new Category(L"test", 0);
        CKivTestAccess::Categories(m_kiv).push_back(m_category);
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_case.reset(new TestFolder(L"profiles", std::wstring(name.begin(), name.end())));
        m_app = *m_case / L"app.exe";
        m_saver = *m_case / L"saver.scr";
        WriteBytes(m_app, "MZ app");
        WriteBytes(m_saver, "MZ saver");
        m_ini = *m_case / L"system.ini";
    }
    void TearDown() override {
        CKiv::Dispose();
        m_case.reset();
    }

    Location* AddLocation(const std::wstring& path, EKivHandlerType type, unsigned ltype = Location::Folder) {
        auto* location = new Location(path, L"", ltype, type, 0);
        m_category->m_locations.push_back(location);
        return location;
    }

    CKivItem* Item(Location* location, size_t index) {
        return index < location->m_itemIds.size() ? m_kiv->ItemMapGet(location->m_itemIds[index]) : nullptr;
    }

    std::wstring Boot(const std::wstring& key) { return ReadKey(m_ini, L"boot", key); }
    void SetBoot(const std::wstring& key, const wchar_t* text) { WriteKey(m_ini, L"boot", key, text); }

    CKiv* m_kiv = nullptr;
    Category* m_category = nullptr;
    std::unique_ptr<TestFolder> m_case;
    std::wstring m_app, m_saver, m_ini;
};

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
    return text;
}

}  // namespace

TEST_F(ProfileTest, BootKeysMoveWithTheirWholeTextThroughDisableAndEnable) {
    const std::wstring shell = L"\"" + m_app + L"\" /boot";
    SetBoot(L"shell", shell.c_str());
    SetBoot(L"scrnsave.exe", m_saver.c_str());
    SetBoot(L"other", m_app.c_str());
    Location* location = AddLocation(m_ini, SystemIni);

    m_kiv->Collect();
    ASSERT_EQ(2u, location->m_itemIds.size());
    CKivItem* item = Item(location, 0);
    EXPECT_EQ(L"shell= app.exe", item->m_title);
    EXPECT_EQ(Lower(m_app), Lower(item->m_file.filePath));
    ASSERT_EQ(std::vector<std::wstring>{L"shell"}, item->m_regNames);
    EXPECT_EQ(2u, item->m_gotoKind);
    EXPECT_EQ(0u, item->m_removed);
    EXPECT_EQ(L"scrnsave.exe= saver.scr", Item(location, 1)->m_title);

    ASSERT_EQ(1, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(kAbsent, Boot(L"shell"));
    EXPECT_EQ(shell, Boot(L"shell_disabledByKiv"));

    m_kiv->Collect();
    ASSERT_EQ(2u, location->m_itemIds.size());
    item = Item(location, 1);  // the disabled pass comes second
    EXPECT_EQ(L"shell_disabledByKiv= app.exe", item->m_title);
    EXPECT_EQ(0u, item->m_enabled);
    ASSERT_EQ(std::vector<std::wstring>{L"shell"}, item->m_regNames);

    ASSERT_EQ(1, m_kiv->EnableItem(item->m_globalId));
    EXPECT_EQ(shell, Boot(L"shell"));
    EXPECT_EQ(kAbsent, Boot(L"shell_disabledByKiv"));
    EXPECT_EQ(m_app, Boot(L"other"));
}

TEST_F(ProfileTest, RemovedEntriesKeepTheirTextAndComeBackByRestore) {
    SetBoot(L"shell", m_app.c_str());
    SetBoot(L"scrnsave.exe_disabledByKiv", m_saver.c_str());
    Location* location = AddLocation(m_ini, SystemIni);
    m_kiv->Collect();
    ASSERT_EQ(2u, location->m_itemIds.size());
    const unsigned live = location->m_itemIds[0], off = location->m_itemIds[1];

    ASSERT_EQ(1, m_kiv->RemoveItem(live));
    ASSERT_EQ(1, m_kiv->RemoveItem(off));
    EXPECT_EQ(kAbsent, Boot(L"shell"));
    EXPECT_EQ(m_app, Boot(L"shell_removedByKiv"));
    EXPECT_EQ(kAbsent, Boot(L"scrnsave.exe_disabledByKiv"));
    EXPECT_EQ(m_saver, Boot(L"scrnsave.exe_disabledByKiv_removedByKiv"));

    m_kiv->Collect();
    ASSERT_EQ(2u, location->m_itemIds.size());
    CKivItem* removedLive = Item(location, 0);
    CKivItem* removedOff = Item(location, 1);
    EXPECT_EQ(L"shell_removedByKiv= app.exe", removedLive->m_title);
    EXPECT_EQ(1u, removedLive->m_removed);
    EXPECT_EQ(1u, removedLive->m_enabled);
    EXPECT_EQ(L"scrnsave.exe_disabledByKiv_removedByKiv= saver.scr", removedOff->m_title);
    EXPECT_EQ(1u, removedOff->m_removed);
    EXPECT_EQ(0u, removedOff->m_enabled);

    // A removed entry is not in use: a new "shell" beside it is not its to disable.
    const std::wstring newer = m_saver;
    SetBoot(L"shell", newer.c_str());
    EXPECT_EQ(0, m_kiv->DisableItem(removedLive->m_globalId));
    EXPECT_EQ(newer, Boot(L"shell"));
    EXPECT_EQ(0, m_kiv->RestoreItem(removedLive->m_globalId));  // would replace the newer entry
    EXPECT_EQ(1, m_kiv->IsRemoved(removedLive->m_globalId));
    EXPECT_EQ(m_app, Boot(L"shell_removedByKiv"));
    SetBoot(L"shell", nullptr);

    ASSERT_EQ(1, m_kiv->RestoreItem(removedLive->m_globalId));
    ASSERT_EQ(1, m_kiv->RestoreItem(removedOff->m_globalId));
    EXPECT_EQ(0, m_kiv->IsRemoved(removedOff->m_globalId));
    EXPECT_EQ(m_app, Boot(L"shell"));
    EXPECT_EQ(kAbsent, Boot(L"shell_removedByKiv"));
    EXPECT_EQ(m_saver, Boot(L"scrnsave.exe_disabledByKiv"));
    EXPECT_EQ(kAbsent, Boot(L"scrnsave.exe_disabledByKiv_removedByKiv"));
}

TEST_F(ProfileTest, AMarkedKeyHoldingAnotherEntryIsNeverOverwritten) {
    SetBoot(L"shell", m_app.c_str());
    SetBoot(L"shell_disabledByKiv", m_saver.c_str());
    Location* location = AddLocation(m_ini, SystemIni);
    m_kiv->Collect();
    ASSERT_EQ(2u, location->m_itemIds.size());
    EXPECT_EQ(0, m_kiv->DisableItem(location->m_itemIds[0]));
    EXPECT_EQ(0, m_kiv->EnableItem(location->m_itemIds[1]));
    EXPECT_EQ(m_app, Boot(L"shell"));
    EXPECT_EQ(m_saver, Boot(L"shell_disabledByKiv"));

    // The same text under both keys (a move whose delete failed) is one entry:
    // disabling completes the move.
    SetBoot(L"shell_disabledByKiv", m_app.c_str());
    EXPECT_EQ(1, m_kiv->DisableItem(location->m_itemIds[0]));
    EXPECT_EQ(kAbsent, Boot(L"shell"));
    EXPECT_EQ(m_app, Boot(L"shell_disabledByKiv"));
}

TEST_F(ProfileTest, OverLongValuesAreNeitherListedNorCut) {
    const std::wstring padded = m_app + L" " + std::wstring(300 - m_app.size(), L'x');
    SetBoot(L"shell", padded.c_str());
    const std::wstring fits = m_saver + L" /" + std::wstring(258 - m_saver.size(), L'y');  // 260 characters
    ASSERT_EQ(260u, fits.size());
    SetBoot(L"scrnsave.exe", fits.c_str());
    Location* location = AddLocation(m_ini, SystemIni);
    m_kiv->Collect();
    ASSERT_EQ(1u, location->m_itemIds.size());
    CKivItem* item = Item(location, 0);
    EXPECT_EQ(L"scrnsave.exe= saver.scr", item->m_title);

    // Grown past the limit after collection: the entry stays whole where it is.
    const std::wstring grown = fits + L"z";
    SetBoot(L"scrnsave.exe", grown.c_str());
    EXPECT_EQ(0, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(grown, Boot(L"scrnsave.exe"));
    EXPECT_EQ(kAbsent, Boot(L"scrnsave.exe_disabledByKiv"));
}

TEST_F(ProfileTest, TheProfileFileIsFoundAndWrittenThroughItsPathAsWritten) {
    kivtest::ScopedVariable variable(L"KIVTEST_PROFILE_CASE", m_case->Path());
    TempProgram letter(L"k.exe");
    SetBoot(L"shell", L"k");  // one letter names a program like any other text in "boot"
    // A location type other than the folder keeps its path as written.
    Location* location = AddLocation(L"%KIVTEST_PROFILE_CASE%\\system.ini", SystemIni, 3);
    Location* missing = AddLocation(*m_case / L"missing.ini", SystemIni);
    m_kiv->Collect();
    EXPECT_TRUE(missing->m_itemIds.empty());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((*m_case / L"missing.ini").c_str()));
    ASSERT_EQ(1u, location->m_itemIds.size());
    CKivItem* item = Item(location, 0);
    EXPECT_EQ(L"shell= k.exe", item->m_title);
    ASSERT_EQ(1, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(L"k", Boot(L"shell_disabledByKiv"));
    EXPECT_EQ(kAbsent, Boot(L"shell"));
}

TEST_F(ProfileTest, WinIniRunAndLoadRoundTripKeepArgumentsAndFurtherPrograms) {
    WinIniKeysGuard guard;
    TempProgram letter(L"k.exe");
    const std::wstring run = m_app + L" /min " + m_saver;
    WriteKey(L"", L"windows", L"Run", run.c_str());
    WriteKey(L"", L"windows", L"Load", L"k");  // one letter is no entry in win.ini
    Location* location = AddLocation(L"C:\\windows\\win.ini", WinIni);

    m_kiv->Collect();
    ASSERT_EQ(1u, location->m_itemIds.size());
    CKivItem* item = Item(location, 0);
    EXPECT_EQ(L"Run= app.exe", item->m_title);
    ASSERT_EQ(std::vector<std::wstring>{L"Run"}, item->m_regNames);

    ASSERT_EQ(1, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(kAbsent, ReadKey(L"", L"windows", L"Run"));
    EXPECT_EQ(run, ReadKey(L"", L"windows", L"Run_disabledByKiv"));

    m_kiv->Collect();
    ASSERT_EQ(1u, location->m_itemIds.size());
    item = Item(location, 0);
    EXPECT_EQ(L"Run_disabledByKiv= app.exe", item->m_title);
    EXPECT_EQ(0u, item->m_enabled);
    ASSERT_EQ(1, m_kiv->RemoveItem(item->m_globalId));
    EXPECT_EQ(run, ReadKey(L"", L"windows", L"Run_disabledByKiv_removedByKiv"));

    m_kiv->Collect();
    ASSERT_EQ(1u, location->m_itemIds.size());
    item = Item(location, 0);
    EXPECT_EQ(1u, item->m_removed);
    ASSERT_EQ(1, m_kiv->RestoreItem(item->m_globalId));
    ASSERT_EQ(1, m_kiv->EnableItem(item->m_globalId));
    EXPECT_EQ(run, ReadKey(L"", L"windows", L"Run"));
    EXPECT_EQ(kAbsent, ReadKey(L"", L"windows", L"Run_disabledByKiv"));
    EXPECT_EQ(kAbsent, ReadKey(L"", L"windows", L"Run_disabledByKiv_removedByKiv"));
}

TEST_F(ProfileTest, TwinsAndEmptyKeysYieldNothing) {
    WinIniKeysGuard guard;
    WriteKey(L"", L"windows", L"Run", m_app.c_str());
    SetBoot(L"shell", m_app.c_str());
    SetBoot(L"scrnsave.exe", L"");
    auto* winTwin = new Location(L"C:\\windows\\win.ini", L"", Location::Folder, WinIni, 1);
    auto* bootTwin = new Location(m_ini, L"", Location::Folder, SystemIni, 1);
    m_category->m_locations.push_back(winTwin);
    m_category->m_locations.push_back(bootTwin);
    Location* boot = AddLocation(m_ini, SystemIni);
    m_kiv->Collect();
    EXPECT_TRUE(winTwin->m_itemIds.empty());
    EXPECT_TRUE(bootTwin->m_itemIds.empty());
    ASSERT_EQ(1u, boot->m_itemIds.size());

    // An entry whose key went away meanwhile gives 0 and writes nothing.
    CKivItem* item = Item(boot, 0);
    SetBoot(L"shell", nullptr);
    EXPECT_EQ(0, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(0, m_kiv->RemoveItem(item->m_globalId));
    EXPECT_EQ(kAbsent, Boot(L"shell_disabledByKiv"));
    EXPECT_EQ(kAbsent, Boot(L"shell_removedByKiv"));
}
