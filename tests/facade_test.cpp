#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "core/HostFiles.h"
#include "core/Records.h"
#include "platform/Handles.h"
#include "platform/RegPath.h"
#include "core/KivHandler.h"
#include "support/RegistryTestKit.h"
#include "support/TestSupport.h"

using kivtest::DeleteBesideProgram;
using kivtest::MessageBoxWatcher;
using kivtest::Utf16Bytes;
using kivtest::WriteBesideProgram;

namespace {

const char kEmptyCatalogue[] = "<?xml version=\"1.0\"?>\n<kivdata>\n</kivdata>\n";

// Makes a fixed number of items in each pass of every location it reads and can
// hold one location's first pass until the test lets it go.
class CountingHandler : public CKivHandler {
public:
    explicit CountingHandler(unsigned perPass) : m_perPass(perPass) {}
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override {
        ++m_calls;
        for (unsigned i = 0; i < m_perPass; ++i)
            new CKivItem(L"item", L"", location, GotoKind::RegistryValue, wow64, enabledPass, 0);
        if (location == m_holdAt && enabledPass == 1) {
            SetEvent(m_reached);
            WaitForSingleObject(m_release, 10000);
        }
    }

    // An action checks, twice, that the facade still holds the item it acts on.
    int EnableItem(CKivItem* item) override {
        CKiv* kiv = CKiv::Get();
        if (kiv->ItemMapGet(item->m_globalId) != item) ++m_strays;
        for (volatile int spin = 0; spin < 2000; ++spin) {}
        if (kiv->ItemMapGet(item->m_globalId) != item || item->m_title != L"item") ++m_strays;
        return 1;
    }

    unsigned m_perPass;
    std::atomic<int> m_strays{0};
    std::atomic<int> m_calls{0};
    Location* m_holdAt = nullptr;
    HANDLE m_reached = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE m_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~CountingHandler() override {
        CloseHandle(m_reached);
        CloseHandle(m_release);
    }
};

// A facade over an empty catalogue file, with categories added by hand and every
// location read by the test's own handler.
class FacadeTest : public kivtest::FacadeTest {
protected:
    FacadeTest() : kivtest::FacadeTest(L"0123456789abcdef0123456789abcdef|1\r\n") {}

    // Adds a category of n registry-key locations read by handler.
    std::vector<Location*> AddCategory(unsigned n, CKivHandler* handler) {
        Category* category = CKivTestAccess::AddCategory(m_kiv, L"category");
        std::vector<Location*> locations;
        for (unsigned i = 0; i < n; ++i) {
            locations.push_back(CKivTestAccess::AddLocation(
                m_kiv, category, L"HKCU\\Software\\KivTests\\loc" + std::to_wstring(i), L"", 0, RegValue));
            locations.back()->m_handler = handler;
        }
        return locations;
    }
};

std::vector<unsigned> Range(unsigned from, unsigned to) {
    std::vector<unsigned> ids;
    for (unsigned id = from; id <= to; ++id) ids.push_back(id);
    return ids;
}

}  // namespace

TEST(Lifecycle, InitAndDisposeWriteTheirLinesOnce) {
    WriteBesideProgram(L"kivdata.dat", kEmptyCatalogue);
    WriteBesideProgram(L"kivwl.dat", Utf16Bytes(L"0123456789abcdef0123456789abcdef|1", false));
    LogCapture log;
    CKiv::Dispose();  // nothing to dispose: nothing written
    EXPECT_TRUE(log.Calls().empty());
    EXPECT_EQ(nullptr, CKiv::Get());

    CKiv* first = CKiv::Init();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, CKiv::Get());
    CKiv* second = CKiv::Init();
    EXPECT_EQ(first, second);
    CKiv::Dispose();
    EXPECT_EQ(nullptr, CKiv::Get());
    CKiv::Dispose();

    std::vector<std::string> expected = {"KIV\t\t\t Init..\n",      "KIV\t\t\t Init.. OK\n",
                                         "KIV\t\t\t Init..\n",      "KIV\t\t\t Init.. Already done.\n",
                                         "KIV\t\t\t Disposing..\n", "KIV\t\t\t Disposing.. OK\n"};
    EXPECT_EQ(expected, log.Messages());
    DeleteBesideProgram(L"kivdata.dat");
    DeleteBesideProgram(L"kivwl.dat");
}

TEST(Lifecycle, MissingCatalogueShowsOneErrorBoxAndKeepsTheFacade) {
    DeleteBesideProgram(L"kivdata.dat");
    LogCapture log;
    MessageBoxWatcher boxes(L"Error");
    CKiv* kiv = CKiv::Init();
    ASSERT_NE(nullptr, kiv);
    EXPECT_EQ(kiv, CKiv::Get());
    ASSERT_EQ(1u, boxes.Seen().size());
    EXPECT_EQ(L"Unable to initialize KIV data.", boxes.Seen()[0]);
    std::vector<std::string> expected = {"KIV\t\t\t Init..\n", "KIV\t\t\t Kiv data file not found."};
    EXPECT_EQ(expected, log.Messages());
    EXPECT_EQ(static_cast<size_t>(WmiSubscriptions + 1), CKivTestAccess::Handlers(kiv).size());
    CKiv::Dispose();
}

TEST(Lifecycle, CatalogueThatIsAFolderCountsAsMissing) {
    std::wstring folder = kivtest::ProgramFolder() + L"kivdata.dat";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    LogCapture log;
    MessageBoxWatcher boxes(L"Error");
    CKiv::Init();
    EXPECT_EQ(1u, boxes.Seen().size());
    ASSERT_EQ(2u, log.Messages().size());
    EXPECT_EQ("KIV\t\t\t Kiv data file not found.", log.Messages()[1]);
    CKiv::Dispose();
    RemoveDirectoryW(folder.c_str());
}

TEST(Lifecycle, MissingWhitelistShowsItsBoxButLoadingSucceeds) {
    WriteBesideProgram(L"kivdata.dat", kEmptyCatalogue);
    DeleteBesideProgram(L"kivwl.dat");
    LogCapture log;
    MessageBoxWatcher whitelistBoxes(L"Quorvel KIV");
    MessageBoxWatcher errorBoxes(L"Error");
    CKiv::Init();
    ASSERT_EQ(1u, whitelistBoxes.Seen().size());
    EXPECT_EQ(L"Unable to initialize whitelist data.", whitelistBoxes.Seen()[0]);
    EXPECT_TRUE(errorBoxes.Seen().empty());
    ASSERT_EQ(2u, log.Messages().size());
    EXPECT_EQ("KIV\t\t\t Init.. OK\n", log.Messages()[1]);
    CKiv::Dispose();
    DeleteBesideProgram(L"kivdata.dat");
}

TEST_F(FacadeTest, OneHandlerPerTypeAndNoneOutsideTheEnumeration) {
    std::set<CKivHandler*> distinct;
    const int last = WmiSubscriptions;
    for (int type = 0; type <= last; ++type) {
        CKivHandler* handler = m_kiv->GetHandler(static_cast<EKivHandlerType>(type));
        ASSERT_NE(nullptr, handler) << type;
        distinct.insert(handler);
    }
    EXPECT_EQ(static_cast<size_t>(last + 1), distinct.size());
    EXPECT_EQ(nullptr, m_kiv->GetHandler(static_cast<EKivHandlerType>(last + 1)));
    EXPECT_EQ(nullptr, m_kiv->GetHandler(static_cast<EKivHandlerType>(-1)));
}

TEST_F(FacadeTest, GlobalIdsAreDenseInCreationOrderAndRestartWithEachCollect) {
    CountingHandler handler(2);
    auto first = AddCategory(2, &handler);
    auto second = AddCategory(1, &handler);
    m_kiv->Collect();
    // Each location: 2 items in the enabled pass, then 2 in the disabled pass.
    EXPECT_EQ(Range(1, 4), first[0]->m_itemIds);
    EXPECT_EQ(Range(5, 8), first[1]->m_itemIds);
    EXPECT_EQ(Range(9, 12), second[0]->m_itemIds);
    auto& map = CKivTestAccess::ItemMap(m_kiv);
    ASSERT_EQ(12u, map.size());
    for (unsigned id = 1; id <= 12; ++id) {
        CKivItem* item = m_kiv->ItemMapGet(id);
        ASSERT_NE(nullptr, item);
        EXPECT_EQ(id, item->m_globalId);
        EXPECT_EQ((id - 1) % 4 < 2 ? 1u : 0u, item->m_enabled) << id;
    }

    m_kiv->Collect();
    EXPECT_EQ(12u, map.size());
    EXPECT_EQ(Range(1, 4), first[0]->m_itemIds);
    EXPECT_EQ(Range(9, 12), second[0]->m_itemIds);
}

TEST_F(FacadeTest, DestroyingAnItemRemovesExactlyItsOwnId) {
    CountingHandler handler(3);
    auto locations = AddCategory(1, &handler);
    m_kiv->Collect();
    delete m_kiv->ItemMapGet(2);
    EXPECT_EQ((std::vector<unsigned>{1, 3, 4, 5, 6}), locations[0]->m_itemIds);
    EXPECT_EQ(nullptr, m_kiv->ItemMapGet(2));
    EXPECT_NE(nullptr, m_kiv->ItemMapGet(3));
    EXPECT_EQ(5u, CKivTestAccess::ItemMap(m_kiv).size());
}

TEST_F(FacadeTest, ItemMapLookupsOfUnknownIdsChangeNothing) {
    CountingHandler handler(1);
    AddCategory(1, &handler);
    m_kiv->Collect();
    auto& map = CKivTestAccess::ItemMap(m_kiv);
    EXPECT_EQ(nullptr, m_kiv->ItemMapGet(0));
    EXPECT_EQ(nullptr, m_kiv->ItemMapGet(99));
    m_kiv->ItemMapRemove(99);
    EXPECT_EQ(2u, map.size());
    EXPECT_EQ(0u, map.count(99));
}

TEST_F(FacadeTest, NewItemNeverTakesTheIdOfALivingItem) {
    CountingHandler handler(2);
    auto locations = AddCategory(1, &handler);
    m_kiv->Collect();  // IDs 1..4
    CKivItem* third = m_kiv->ItemMapGet(3);
    delete m_kiv->ItemMapGet(2);  // three left: 1, 3, 4
    auto* added = new CKivItem(L"late", L"", locations[0], GotoKind::RegistryValue, 0, 1, 0);
    EXPECT_NE(3u, added->m_globalId);
    EXPECT_NE(4u, added->m_globalId);
    EXPECT_EQ(third, m_kiv->ItemMapGet(3));
    EXPECT_EQ(added, m_kiv->ItemMapGet(added->m_globalId));
    // Registering an item again hands back the ID it already has.
    EXPECT_EQ(added->m_globalId, m_kiv->ItemMapAddNew(added));
    EXPECT_EQ(4u, CKivTestAccess::ItemMap(m_kiv).size());
    // An entry removed leaves its item alive until the next run; added again, the
    // map owns it once (the run below would free it twice otherwise).
    m_kiv->ItemMapRemove(3);
    EXPECT_EQ(nullptr, m_kiv->ItemMapGet(3));
    EXPECT_EQ(L"item", third->m_title);
    EXPECT_EQ(third, m_kiv->ItemMapGet(m_kiv->ItemMapAddNew(third)));
    m_kiv->Collect();
    // The last entry removed: its item still holds its ID, which a new item never
    // gets; added again, the item is listed by its new ID only.
    CKivItem* last = m_kiv->ItemMapGet(4);
    m_kiv->ItemMapRemove(4);
    auto* fresh = new CKivItem(L"fresh", L"", locations[0], GotoKind::RegistryValue, 0, 1, 0);
    EXPECT_EQ(5u, fresh->m_globalId);
    EXPECT_EQ(6u, m_kiv->ItemMapAddNew(last));
    EXPECT_EQ((std::vector<unsigned>{1, 2, 3, 5, 6}), locations[0]->m_itemIds);
}

TEST_F(FacadeTest, CollectWithoutCategoriesKeepsAnEmptyItemMap) {
    m_kiv->Collect();
    EXPECT_TRUE(CKivTestAccess::ItemMap(m_kiv).empty());
}

// Files are read beside the handler: every item still gets the facts of its own
// file, and IDs follow the order in which the handler made the items.
class FileHandler : public CKivHandler {
public:
    explicit FileHandler(const std::vector<std::wstring>& files) : m_files(files) {}
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override {
        for (size_t i = enabledPass ? 0 : m_files.size() / 2; i < m_files.size() / (enabledPass ? 2 : 1); ++i)
            new CKivItem(std::to_wstring(i), m_files[i], location, GotoKind::RegistryValue, wow64, enabledPass, 0);
    }
    std::vector<std::wstring> m_files;
};

TEST_F(FacadeTest, ItemsOfManyFilesKeepTheirOwnFactsAndTheirOrder) {
    kivtest::ScratchFolder folder(L"FacadeFiles");
    std::vector<std::wstring> files;
    for (int i = 0; i < 60; ++i) files.push_back(folder.AddFile(std::to_wstring(i) + L".bin", std::string(i, 'x')));
    files.push_back(folder.Path() + L"\\missing.bin");
    FileHandler handler(files);
    auto locations = AddCategory(2, &handler);
    LogCapture log;
    m_kiv->Collect();
    ASSERT_EQ(2 * files.size(), CKivTestAccess::ItemMap(m_kiv).size());
    // Each file's line is whole and comes in the order of the entries.
    std::vector<std::string> lines;
    for (const std::string& message : log.Messages())
        if (message.find("Unable to retrieve file info") != std::string::npos) lines.push_back(message);
    ASSERT_EQ(2 * files.size(), lines.size());
    for (size_t k = 0; k < lines.size(); ++k) {
        const std::wstring& file = files[k % files.size()];
        EXPECT_NE(std::string::npos, lines[k].find(std::string(file.begin(), file.end()) + "\n")) << lines[k];
    }
    for (unsigned id = 1; id <= 2 * files.size(); ++id) {
        const size_t i = (id - 1) % files.size();
        CKivItem* item = m_kiv->ItemMapGet(id);
        ASSERT_NE(nullptr, item);
        EXPECT_EQ(std::to_wstring(i), item->m_title);
        EXPECT_EQ(i < 60 ? i : 0u, item->m_file.size) << id;
        EXPECT_EQ(files[i], item->m_file.filePath);
        EXPECT_EQ(i < 60 ? 32u : 0u, item->m_file.md5.size()) << id;
    }
    EXPECT_EQ(Range(1, 61), locations[0]->m_itemIds);
}

// However many threads read the files (none: all on the collecting thread), every
// item gets the same facts, the same ID and the same log lines in the same order:
// files named by several entries, missing, unreadable (held open by another
// without sharing), a shortcut that cannot be loaded, a big file and tiny ones.
TEST_F(FacadeTest, FilesReadOnAnyNumberOfThreadsGiveTheSameItemsInTheSameOrder) {
    kivtest::ScratchFolder folder(L"FacadeReaders");
    std::vector<std::wstring> files;
    for (int i = 0; i < 24; ++i) files.push_back(folder.AddFile(std::to_wstring(i) + L".exe", std::string(i, 'z')));
    const std::wstring shared = folder.AddFile(L"shared.dll", "MZ" + std::string(300 << 10, 's'));
    const std::wstring locked = folder.AddFile(L"locked.sys", "MZ locked");
    kiv::UniqueFile holder(CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(holder);
    const std::wstring odd[] = {shared, folder.Path() + L"\\missing.exe", locked,
                                folder.AddFile(L"broken.lnk", "not a shortcut")};
    for (size_t k = 0; k < files.size(); k += 3) files.insert(files.begin() + k, odd[(k / 3) % 4]);
    FileHandler handler(files);
    AddCategory(3, &handler);
    struct Seen {
        std::vector<std::wstring> facts;
        std::vector<std::string> log;
    };
    const auto collect = [&](unsigned readers) {
        CKivTestAccess::SetFileReaders(m_kiv, readers);
        LogCapture log;
        m_kiv->Collect();
        Seen seen;
        seen.log = log.Messages();
        for (const auto& entry : CKivTestAccess::ItemMap(m_kiv)) {
            const KivFileFacts& f = entry.second->m_file;
            seen.facts.push_back(std::to_wstring(entry.first) + L"|" + entry.second->m_title + L"|" + f.filePath +
                                 L"|" + f.md5 + L"|" + std::to_wstring(f.size) + L"|" + f.extension + L"|" +
                                 std::to_wstring(f.modified.wMinute) + L"|" + f.version.Publisher());
        }
        return seen;
    };
    const Seen alone = collect(0);
    ASSERT_EQ(3 * files.size(), alone.facts.size());
    for (unsigned readers : {1u, 2u, 3u}) {
        const Seen seen = collect(readers);
        EXPECT_EQ(alone.facts, seen.facts) << readers << " readers";
        EXPECT_EQ(alone.log, seen.log) << readers << " readers";
    }
}

TEST_F(FacadeTest, StopBeforeCollectHasNoEffect) {
    CountingHandler handler(1);
    auto locations = AddCategory(3, &handler);
    m_kiv->StopCollect();
    m_kiv->Collect();
    EXPECT_EQ(6, handler.m_calls.load());
    EXPECT_EQ(2u, locations[2]->m_itemIds.size());
}

TEST_F(FacadeTest, StopDuringALocationFinishesItAndSkipsTheRest) {
    CountingHandler handler(1);
    auto first = AddCategory(3, &handler);
    auto later = AddCategory(2, &handler);
    // Items of an earlier run must be gone from the skipped locations too.
    m_kiv->Collect();
    handler.m_calls = 0;
    handler.m_holdAt = first[1];

    int busy = 0, done = 0;
    DWORD busyCode = 0;
    std::thread stopper([&] {
        WaitForSingleObject(handler.m_reached, 10000);
        // An item of the location being read is not registered before its whole
        // location is: its ID names nothing yet.
        busy = m_kiv->EnableItem(3);
        busyCode = GetLastError();
        done = m_kiv->EnableItem(2);
        m_kiv->StopCollect();
        SetEvent(handler.m_release);
    });
    m_kiv->Collect();
    stopper.join();

    EXPECT_EQ(0, busy);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), busyCode);
    EXPECT_EQ(1, done);
    EXPECT_EQ(4, handler.m_calls.load());  // both passes of the first two locations
    EXPECT_EQ(Range(1, 2), first[0]->m_itemIds);
    EXPECT_EQ(Range(3, 4), first[1]->m_itemIds);
    EXPECT_TRUE(first[2]->m_itemIds.empty());
    EXPECT_TRUE(later[0]->m_itemIds.empty());
    EXPECT_TRUE(later[1]->m_itemIds.empty());
    EXPECT_EQ(4u, CKivTestAccess::ItemMap(m_kiv).size());
    EXPECT_NE(nullptr, m_kiv->ItemMapGet(4));
    EXPECT_EQ(1, CKivTestAccess::StopFlag(m_kiv));
}

TEST_F(FacadeTest, ItemMapGetIsSafeFromASecondThreadDuringCollect) {
    CountingHandler handler(50);
    AddCategory(20, &handler);
    std::atomic<bool> done{false};
    std::atomic<unsigned> seen{0};
    std::thread reader([&] {
        while (!done) {
            unsigned id = seen + 1;
            if (CKivItem* item = m_kiv->ItemMapGet(id)) {
                if (item->m_globalId == id) seen = id;
            }
        }
    });
    m_kiv->Collect();
    done = true;
    reader.join();
    EXPECT_EQ(2000u, CKivTestAccess::ItemMap(m_kiv).size());
    EXPECT_EQ(m_kiv->ItemMapGet(2000)->m_globalId, 2000u);
}

TEST_F(FacadeTest, ActionsAndQueriesOnASecondThreadNeverMeetAFreedItem) {
    CountingHandler handler(20);
    AddCategory(5, &handler);  // 200 items a run
    std::atomic<bool> done{false};
    std::atomic<unsigned> acted{0}, dead{0}, wrong{0};
    std::thread actor([&] {
        for (unsigned id = 1; !done; id = id % 250 + 1) {
            if (m_kiv->EnableItem(id)) ++acted;
            else if (GetLastError() == ERROR_INVALID_PARAMETER) ++dead;
            else if (GetLastError() == ERROR_BUSY) continue;
            else ++wrong;
            const std::wstring title = m_kiv->GetItemTitle(0, id % 5, id % 40);
            if (!title.empty() && title != L"item") ++wrong;
            if (id % 50 == 0) m_kiv->ItemMapRemove(id);
            SwitchToThread();  // lets the collection in between calls
        }
    });
    unsigned runs = 0;
    for (const DWORD end = GetTickCount() + 2000; runs < 3 || GetTickCount() < end; ++runs) m_kiv->Collect();
    done = true;
    actor.join();
    EXPECT_EQ(0, handler.m_strays.load());
    EXPECT_EQ(0u, wrong.load());
    EXPECT_GT(acted.load(), 0u);
    EXPECT_GT(dead.load(), 0u);
}

TEST_F(FacadeTest, EnvironmentPathsReadALongPathWhole) {
    std::wstring path = L";C:\\first;;";
    for (int i = 0; i < 200; ++i) path += L"C:\\filler\\folder" + std::to_wstring(i) + L";";
    path += L"C:\\last";
    ASSERT_GT(path.size(), 2047u);
    {
        kivtest::ScopedVariable longPath(L"PATH", path);
        m_kiv->Collect();
    }

    const auto& paths = m_kiv->EnvPaths();
    ASSERT_EQ(202u, paths.size());
    EXPECT_EQ(L"C:\\first", paths.front());
    EXPECT_EQ(L"C:\\filler\\folder0", paths[1]);
    EXPECT_EQ(L"C:\\last", paths.back());
}

TEST(Records, RegistryLocationsSplitTheirRootAndFolderLocationsExpand) {
    Location user(L"HKCU\\Software\\X", L"ignored", 0, RegValue, 0);
    EXPECT_EQ(HKEY_CURRENT_USER, user.m_root);
    EXPECT_EQ(L"Software\\X", user.m_path);
    EXPECT_EQ(L"HKCU\\Software\\X", user.m_fullPath);
    EXPECT_EQ(L"", user.m_value);

    Location value(L"hklm\\software\\x", L"Shell", 1, RegValueEx, 1);
    EXPECT_EQ(HKEY_LOCAL_MACHINE, value.m_root);
    EXPECT_EQ(L"software\\x", value.m_path);
    EXPECT_EQ(L"Shell", value.m_value);
    EXPECT_EQ(1, value.m_wow64);

    Location bare(L"SOFTWARE\\Y", L"", 0, RegValue, 0);
    EXPECT_EQ(HKEY_LOCAL_MACHINE, bare.m_root);
    EXPECT_EQ(L"SOFTWARE\\Y", bare.m_path);

    kivtest::ScopedVariable folderVariable(L"KIVTEST_FOLDER", L"C:\\kivtests\\folder");
    Location folder(L"%KIVTEST_FOLDER%\\Startup", L"v", 2, SimpleFile, 0);
    EXPECT_EQ(L"C:\\kivtests\\folder\\Startup", folder.m_path);
    EXPECT_EQ(folder.m_path, folder.m_fullPath);
    EXPECT_EQ(L"", folder.m_value);

    Location other(L"C:\\x.ini", L"run", 7, WinIni, 0);
    EXPECT_EQ(L"C:\\x.ini", other.m_path);
    EXPECT_EQ(L"run", other.m_value);
}

TEST(HostFiles, ANameThatWouldOverrunThePathBufferIsRefused) {
    wchar_t path[MAX_PATH];
    EXPECT_EQ(kiv::HostFileResult::Ok, kiv::HostFilePath(L"kivdata.dat", path));
    EXPECT_EQ(kivtest::ProgramFolder() + L"kivdata.dat", std::wstring(path));
    std::wstring longName(MAX_PATH, L'n');
    EXPECT_EQ(kiv::HostFileResult::TooLong, kiv::HostFilePath(longName.c_str(), path));
}
