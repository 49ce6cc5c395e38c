#include <gtest/gtest.h>

#include <windows.h>
#include <shlwapi.h>

#include <memory>
#include <utility>
#include <vector>

#include "core/Records.h"
#include "filefacts/TestFolder.h"
#include "support/RegistryTestKit.h"
#include "support/TestSupport.h"

using kivtest::WriteBytes;

namespace {

const wchar_t kAbsent[] = L"<absent>";
const std::wstring kWinIni;  // no file: win.ini through the system's profile functions

std::wstring ReadKey(const std::wstring& file, const wchar_t* section, const std::wstring& key) {
    wchar_t buffer[1024] = {};
    if (file.empty()) GetProfileStringW(section, key.c_str(), kAbsent, buffer, 1024);
    else GetPrivateProfileStringW(section, key.c_str(), kAbsent, buffer, 1024, file.c_str());
    return buffer;
}

void WriteKey(const std::wstring& file, const wchar_t* section, const std::wstring& key, const wchar_t* text) {
    if (file.empty()) WriteProfileStringW(section, key.c_str(), text);
    else WritePrivateProfileStringW(section, key.c_str(), text, file.c_str());
}

// Every key of win.ini's section "windows" a test may touch, taken away for the
// test and put back as it was (or left absent) afterwards.
class WinIniKeysGuard {
public:
    WinIniKeysGuard() {
        for (const wchar_t* base : {L"Run", L"Load"})
            for (const wchar_t* suffix : {L"", L"_disabledByKiv", L"_removedByKiv", L"_disabledByKiv_removedByKiv"}) {
                const std::wstring key = std::wstring(base) + suffix;
                m_saved.emplace_back(key, ReadKey(kWinIni, L"windows", key));
                WriteKey(kWinIni, L"windows", key, nullptr);
            }
    }
    ~WinIniKeysGuard() {
        for (const auto& saved : m_saved)
            WriteKey(kWinIni, L"windows", saved.first, saved.second == kAbsent ? nullptr : saved.second.c_str());
    }

private:
    std::vector<std::pair<std::wstring, std::wstring>> m_saved;
};

// A facade over an empty catalogue; a folder c:\kivtests\profiles\<case> with two
// programs, a profile file of the case's own, and k.exe in %TEMP% (a folder
// searched for bare names) so that the one-letter text "k" names a program.
class ProfileTest : public kivtest::FacadeTest {
protected:
    void SetUp() override {
        FacadeTest::SetUp();
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_case.reset(new kivtest::TestFolder(L"profiles", std::wstring(name.begin(), name.end())));
        m_app = *m_case / L"app.exe";
        m_saver = *m_case / L"saver.scr";
        m_ini = *m_case / L"system.ini";
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        m_letter = std::wstring(temp) + L"k.exe";
        ASSERT_TRUE(WriteBytes(m_app, "MZ") && WriteBytes(m_saver, "MZ") && WriteBytes(m_letter, "MZ"));
    }
    void TearDown() override {
        FacadeTest::TearDown();
        m_case.reset();
        DeleteFileW(m_letter.c_str());
    }

    Location* AddLocation(const std::wstring& path, EKivHandlerType type, unsigned ltype = Location::Folder,
                          unsigned char wow64 = 0) {
        return FacadeTest::AddLocation(path, L"", ltype, type, wow64);
    }
    CKivItem* Item(Location* location, size_t index) { return m_kiv->ItemMapGet(location->m_itemIds.at(index)); }
    std::wstring Boot(const std::wstring& key) { return ReadKey(m_ini, L"boot", key); }
    void SetBoot(const std::wstring& key, const std::wstring& text) { WriteKey(m_ini, L"boot", key, text.c_str()); }
    void DeleteBoot(const std::wstring& key) { WriteKey(m_ini, L"boot", key, nullptr); }

    std::unique_ptr<kivtest::TestFolder> m_case;
    std::wstring m_app, m_saver, m_ini, m_letter;
};

}  // namespace

TEST_F(ProfileTest, BootEntriesMoveWholeThroughEveryState) {
    const std::wstring shell = L"\"" + m_app + L"\" /boot";
    SetBoot(L"shell", shell);
    SetBoot(L"scrnsave.exe", L"k");  // one letter names a program like any other text in "boot"
    Location* location = AddLocation(m_ini, SystemIni);
    m_kiv->Collect();
    ASSERT_EQ(2u, location->m_itemIds.size());
    CKivItem* item = Item(location, 0);
    EXPECT_EQ(L"shell= app.exe", item->m_title);
    ASSERT_EQ(std::vector<std::wstring>{L"shell"}, item->m_regNames);
    EXPECT_EQ(L"scrnsave.exe= k.exe", Item(location, 1)->m_title);

    ASSERT_EQ(1, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(kAbsent, Boot(L"shell"));
    EXPECT_EQ(shell, Boot(L"shell_disabledByKiv"));

    m_kiv->Collect();
    item = Item(location, 1);  // the disabled pass comes second
    EXPECT_EQ(L"shell_disabledByKiv= app.exe", item->m_title);
    EXPECT_EQ(0u, item->m_enabled);
    ASSERT_EQ(1, m_kiv->RemoveItem(item->m_globalId));
    EXPECT_EQ(kAbsent, Boot(L"shell_disabledByKiv"));
    EXPECT_EQ(shell, Boot(L"shell_disabledByKiv_removedByKiv"));

    m_kiv->Collect();
    item = Item(location, 1);
    EXPECT_EQ(L"shell_disabledByKiv_removedByKiv= app.exe", item->m_title);
    EXPECT_EQ(1u, item->m_removed);
    ASSERT_EQ(1, m_kiv->RestoreItem(item->m_globalId));
    ASSERT_EQ(1, m_kiv->EnableItem(item->m_globalId));
    EXPECT_EQ(shell, Boot(L"shell"));
    EXPECT_EQ(kAbsent, Boot(L"shell_disabledByKiv"));
    EXPECT_EQ(kAbsent, Boot(L"shell_disabledByKiv_removedByKiv"));
}

TEST_F(ProfileTest, RemovalsAreUndoneInTheSameRunIntoTheStateTheyLeft) {
    SetBoot(L"shell", m_app);
    SetBoot(L"scrnsave.exe_disabledByKiv", m_saver);
    Location* location = AddLocation(m_ini, SystemIni);
    m_kiv->Collect();
    ASSERT_EQ(2u, location->m_itemIds.size());
    CKivItem* live = Item(location, 0);
    CKivItem* off = Item(location, 1);
    ASSERT_EQ(L"scrnsave.exe_disabledByKiv= saver.scr", off->m_title);

    ASSERT_EQ(1, m_kiv->RemoveItem(live->m_globalId));
    EXPECT_EQ(1, m_kiv->IsRemoved(live->m_globalId));
    EXPECT_EQ(0, m_kiv->DisableItem(live->m_globalId));  // removed: no longer in use
    ASSERT_EQ(1, m_kiv->RestoreItem(live->m_globalId));
    EXPECT_EQ(m_app, Boot(L"shell"));
    EXPECT_EQ(kAbsent, Boot(L"shell_removedByKiv"));

    // Removed while disabled, it comes back disabled; never over a newer entry.
    ASSERT_EQ(1, m_kiv->RemoveItem(off->m_globalId));
    EXPECT_EQ(m_saver, Boot(L"scrnsave.exe_disabledByKiv_removedByKiv"));
    SetBoot(L"scrnsave.exe_disabledByKiv", m_app);
    EXPECT_EQ(0, m_kiv->RestoreItem(off->m_globalId));
    EXPECT_EQ(m_app, Boot(L"scrnsave.exe_disabledByKiv"));
    EXPECT_EQ(m_saver, Boot(L"scrnsave.exe_disabledByKiv_removedByKiv"));
    DeleteBoot(L"scrnsave.exe_disabledByKiv");
    ASSERT_EQ(1, m_kiv->RestoreItem(off->m_globalId));
    EXPECT_EQ(m_saver, Boot(L"scrnsave.exe_disabledByKiv"));
    EXPECT_EQ(kAbsent, Boot(L"scrnsave.exe"));
}

TEST_F(ProfileTest, NoActionOverwritesAnotherEntryOrWritesACutOne) {
    SetBoot(L"shell", m_app);
    SetBoot(L"shell_disabledByKiv", m_saver);
    SetBoot(L"scrnsave.exe_removedByKiv", m_saver);
    Location* location = AddLocation(m_ini, SystemIni);
    m_kiv->Collect();
    ASSERT_EQ(3u, location->m_itemIds.size());
    CKivItem* live = Item(location, 0);
    CKivItem* removed = Item(location, 1);
    CKivItem* off = Item(location, 2);
    EXPECT_EQ(0, m_kiv->DisableItem(live->m_globalId));
    EXPECT_EQ(0, m_kiv->EnableItem(off->m_globalId));
    EXPECT_EQ(m_app, Boot(L"shell"));
    EXPECT_EQ(m_saver, Boot(L"shell_disabledByKiv"));

    // A removed entry is not in use: a new key of its name is not its to disable,
    // nor to replace by a restore.
    SetBoot(L"scrnsave.exe", m_app);
    EXPECT_EQ(0, m_kiv->DisableItem(removed->m_globalId));
    EXPECT_EQ(0, m_kiv->RestoreItem(removed->m_globalId));
    EXPECT_EQ(m_app, Boot(L"scrnsave.exe"));
    EXPECT_EQ(m_saver, Boot(L"scrnsave.exe_removedByKiv"));

    // The same text under both keys (a move whose delete failed) is one entry.
    SetBoot(L"shell_disabledByKiv", m_app);
    EXPECT_EQ(1, m_kiv->DisableItem(live->m_globalId));
    EXPECT_EQ(kAbsent, Boot(L"shell"));

    // Longer than 260 characters: not listed, and not moved when it grew after collection.
    const std::wstring fits = m_app + L" /" + std::wstring(258 - m_app.size(), L'y');
    SetBoot(L"shell", fits);
    DeleteBoot(L"shell_disabledByKiv");
    m_kiv->Collect();
    CKivItem* item = Item(location, 0);
    ASSERT_EQ(L"shell= app.exe", item->m_title);
    SetBoot(L"shell", fits + L"z");
    SetBoot(L"scrnsave.exe", fits + L"z");
    EXPECT_EQ(0, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(fits + L"z", Boot(L"shell"));
    EXPECT_EQ(kAbsent, Boot(L"shell_disabledByKiv"));

    // A key gone since collection gives 0 and writes nothing.
    DeleteBoot(L"shell");
    EXPECT_EQ(0, m_kiv->RemoveItem(item->m_globalId));
    EXPECT_EQ(kAbsent, Boot(L"shell_removedByKiv"));
    m_kiv->Collect();
    EXPECT_EQ(1u, location->m_itemIds.size());  // only the removed scrnsave.exe; the grown one is not listed
}

TEST_F(ProfileTest, ActionsWriteTheFileCollectionRead) {
    kivtest::ScopedVariable variable(L"KIVTEST_PROFILE_CASE", m_case->Path());
    SetBoot(L"shell", m_app);
    // A location type other than the folder keeps its path as written.
    Location* location = AddLocation(L"%KIVTEST_PROFILE_CASE%\\system.ini", SystemIni, 3);
    Location* missing = AddLocation(*m_case / L"missing.ini", SystemIni);
    Location* twin = AddLocation(m_ini, SystemIni, Location::Folder, 1);
    m_kiv->Collect();
    EXPECT_TRUE(missing->m_itemIds.empty());
    EXPECT_TRUE(twin->m_itemIds.empty());
    ASSERT_EQ(1u, location->m_itemIds.size());
    ASSERT_EQ(1, m_kiv->DisableItem(location->m_itemIds[0]));
    EXPECT_EQ(m_app, Boot(L"shell_disabledByKiv"));
    EXPECT_EQ(kAbsent, Boot(L"shell"));
}

TEST_F(ProfileTest, WinIniEntriesKeepTheirArgumentsAndFurtherPrograms) {
    WinIniKeysGuard guard;
    const std::wstring run = m_app + L" /min " + m_saver;
    WriteKey(kWinIni, L"windows", L"Run", run.c_str());
    WriteKey(kWinIni, L"windows", L"Load", L"k");  // one letter is no entry in win.ini
    Location* location = AddLocation(L"C:\\windows\\win.ini", WinIni);
    Location* twin = AddLocation(L"C:\\windows\\win.ini", WinIni, Location::Folder, 1);

    m_kiv->Collect();
    EXPECT_TRUE(twin->m_itemIds.empty());
    ASSERT_EQ(1u, location->m_itemIds.size());
    CKivItem* item = Item(location, 0);
    EXPECT_EQ(L"Run= app.exe", item->m_title);
    ASSERT_EQ(1, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(kAbsent, ReadKey(kWinIni, L"windows", L"Run"));
    EXPECT_EQ(run, ReadKey(kWinIni, L"windows", L"Run_disabledByKiv"));

    m_kiv->Collect();
    item = Item(location, 0);
    EXPECT_EQ(L"Run_disabledByKiv= app.exe", item->m_title);
    ASSERT_EQ(1, m_kiv->EnableItem(item->m_globalId));
    ASSERT_EQ(1, m_kiv->RemoveItem(item->m_globalId));
    EXPECT_EQ(run, ReadKey(kWinIni, L"windows", L"Run_removedByKiv"));
    EXPECT_EQ(kAbsent, ReadKey(kWinIni, L"windows", L"Run"));
}

TEST_F(ProfileTest, AWholeQuotedEntryKeepsItsQuotesThroughAMove) {
    // The profile functions hand the text back without the quotes around it; a path
    // with a blank would come back as two words.
    const std::wstring spaced = *m_case / L"my app.exe";
    ASSERT_TRUE(WriteBytes(spaced, "MZ"));
    const std::wstring quoted = L"\"" + spaced + L"\"";
    SetBoot(L"shell", quoted);
    Location* location = AddLocation(m_ini, SystemIni);
    m_kiv->Collect();
    ASSERT_EQ(1u, location->m_itemIds.size());
    const unsigned id = location->m_itemIds[0];
    ASSERT_EQ(1, m_kiv->DisableItem(id));
    ASSERT_EQ(1, m_kiv->EnableItem(id));
    std::vector<wchar_t> section(4096);
    GetPrivateProfileSectionW(L"boot", section.data(), 4096, m_ini.c_str());
    EXPECT_EQ(L"shell=" + quoted, std::wstring(section.data()));
}

// A profile key the system keeps in a registry value that a registry location of
// the catalogue lists is shown and changed through that location only.
TEST_F(ProfileTest, KeysMappedOntoAListedRegistryValueAreLeftToThatLocation) {
    const std::wstring mapping = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping\\kivmaptest.ini";
    struct Cleanup {
        std::wstring key, file;
        ~Cleanup() {
            SHDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
            SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KivTestMapping");
            SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\KivTestMapping");
            DeleteFileW(file.c_str());
        }
    };
    wchar_t windows[MAX_PATH] = {};
    ASSERT_NE(0u, GetWindowsDirectoryW(windows, MAX_PATH));
    Cleanup cleanup{mapping, std::wstring(windows) + L"\\kivmaptest.ini"};
    const std::wstring mapped = cleanup.file, elsewhere = *m_case / L"kivmaptest.ini";
    for (const std::wstring& file : {mapped, elsewhere}) {
        WriteKey(file, L"boot", L"shell", m_app.c_str());
        WriteKey(file, L"boot", L"scrnsave.exe", m_saver.c_str());
    }
    // The profile functions read and write a mapped key in its registry value.
    kivtest::WriteRaw(HKEY_LOCAL_MACHINE, mapping + L"\\boot", L"shell",
                      kivtest::TextValue(REG_SZ, L"#SYS:KivTestMapping\\Winlogon"));
    kivtest::WriteRaw(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KivTestMapping\\Winlogon", L"Shell",
                      kivtest::TextValue(REG_SZ, m_app));
    Location* profile = AddLocation(mapped, SystemIni);
    Location* other = AddLocation(elsewhere, SystemIni);
    auto titles = [&](Location* location) {
        std::vector<std::wstring> out;
        for (unsigned id : location->m_itemIds) out.push_back(m_kiv->ItemMapGet(id)->m_title);
        return out;
    };

    // Mapped but listed by no location: the profile handler keeps the key.
    m_kiv->Collect();
    ASSERT_EQ(2u, profile->m_itemIds.size());
    const unsigned shellId = profile->m_itemIds[0];
    Location* listing = AddLocation(L"HKLM\\SOFTWARE\\KivTestMapping\\Winlogon", RegValueEx, Location::RegistryValue);
    listing->m_value = L"Shell";
    // An item from before the location was listed changes nothing in the file.
    EXPECT_EQ(0, m_kiv->DisableItem(shellId));
    EXPECT_EQ(m_app, ReadKey(mapped, L"boot", L"shell"));
    EXPECT_EQ(kAbsent, ReadKey(mapped, L"boot", L"shell_disabledByKiv"));
    EXPECT_TRUE(kivtest::KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KivTestMapping\\Winlogon"));

    m_kiv->Collect();
    EXPECT_EQ(std::vector<std::wstring>{L"scrnsave.exe= saver.scr"}, titles(profile));
    EXPECT_EQ(1u, listing->m_itemIds.size());
    // The system maps files of the Windows folder only.
    EXPECT_EQ(2u, other->m_itemIds.size());

    // A whole section mapped onto a key whose values a run-key location lists.
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, (mapping + L"\\boot").c_str());
    kivtest::WriteRaw(HKEY_LOCAL_MACHINE, mapping, L"boot",
                      kivtest::TextValue(REG_SZ, L"USR:Software\\KivTestMapping"));
    kivtest::WriteRaw(HKEY_CURRENT_USER, L"Software\\KivTestMapping", L"shell", kivtest::TextValue(REG_SZ, m_app));
    kivtest::WriteRaw(HKEY_CURRENT_USER, L"Software\\KivTestMapping", L"scrnsave.exe",
                      kivtest::TextValue(REG_SZ, m_saver));
    Location* runKey = AddLocation(L"HKCU\\Software\\KivTestMapping", RegValue, Location::RegistryKey);
    m_kiv->Collect();
    EXPECT_TRUE(profile->m_itemIds.empty());
    EXPECT_EQ(2u, runKey->m_itemIds.size());
}
