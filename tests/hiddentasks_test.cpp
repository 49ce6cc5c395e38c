// Tasks that only the scheduler's registry cache shows. Wine keeps no such cache,
// so each test writes the keys and the definition file for real; Wine's scheduler
// lists no task, and where a test needs it to list one it is handed the in-memory
// 2.0 service of the scheduled task tests.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/Records.h"
#include "handlers/steps/TaskCacheEntries.h"
#include "platform/Handles.h"
#include "support/RegistryTestKit.h"
#include "support/TaskServiceFake.h"
#include "support/TestSupport.h"

using kivtest::KeyExists;
using kivtest::Lower;
using kivtest::RawValue;
using kivtest::ReadRaw;
using kivtest::ScratchFolder;
using kivtest::TextValue;
using kivtest::WriteRaw;

namespace {

const std::wstring kCache = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache";
const std::wstring kStore = kCache + L"\\_removedByKiv";

// The "Actions" layout the reader accepts, built piece by piece.
struct Actions {
    std::vector<BYTE> bytes;
    Actions& Word(WORD value) { return Raw(&value, sizeof(value)); }
    Actions& Length(DWORD value) { return Raw(&value, sizeof(value)); }
    Actions& Text(const std::wstring& text) {
        Length(static_cast<DWORD>(text.size() * sizeof(wchar_t)));
        return Raw(text.data(), text.size() * sizeof(wchar_t));
    }
    Actions& Raw(const void* data, size_t size) {
        const BYTE* p = static_cast<const BYTE*>(data);
        bytes.insert(bytes.end(), p, p + size);
        return *this;
    }
};

Actions Exec(const std::wstring& program, const std::wstring& arguments, WORD version = 3, WORD kind = 0x6666) {
    Actions a;
    a.Word(version).Text(L"Author").Word(kind).Text(L"").Text(program).Text(arguments).Text(L"").Word(0);
    return a;
}

RawValue Binary(const Actions& actions) {
    RawValue raw;
    raw.type = REG_BINARY;
    raw.bytes = actions.bytes;
    return raw;
}

// One task written into the cache (definition, trigger index and tree key) and its
// definition file; everything of the test's own is deleted at the end.
class CachedTask {
public:
    CachedTask(const std::wstring& id, const std::wstring& folder, const std::wstring& name, const Actions& actions)
        : m_id(id), m_folder(folder), m_name(name) {
        Clean();
        const std::wstring definition = kCache + L"\\Tasks\\" + id;
        WriteRaw(HKEY_LOCAL_MACHINE, definition, L"Path", TextValue(REG_SZ, Path()));
        WriteRaw(HKEY_LOCAL_MACHINE, definition, L"Actions", Binary(actions));
        WriteRaw(HKEY_LOCAL_MACHINE, kCache + L"\\Plain\\" + id, L"", TextValue(REG_SZ, L""));
        WriteRaw(HKEY_LOCAL_MACHINE, TreeKey(kCache), L"Id", TextValue(REG_SZ, id));
        CreateDirectoryW(kiv::TaskFilesFolder().c_str(), nullptr);
        CreateDirectoryW(FileIn(kiv::TaskFilesFolder(), false).c_str(), nullptr);
        kivtest::WriteFileBytes(File(), "<Task/>");
    }
    ~CachedTask() { Clean(); }

    std::wstring Path() const { return L"\\" + m_folder + L"\\" + m_name; }
    std::wstring TreeKey(const std::wstring& base) const { return base + L"\\Tree\\" + m_folder + L"\\" + m_name; }
    std::wstring File() const { return FileIn(kiv::TaskFilesFolder(), true); }
    std::wstring RemovedFile() const { return FileIn(kiv::RemovedTaskFilesFolder(), true); }
    const std::wstring& Id() const { return m_id; }

private:
    std::wstring FileIn(const std::wstring& base, bool withName) const {
        return base + L"\\" + m_folder + (withName ? L"\\" + m_name : L"");
    }
    void Clean() {
        for (const std::wstring& base : {kCache, kStore}) {
            for (const wchar_t* sub : {L"\\Tasks\\", L"\\Plain\\"})
                RegDeleteTreeW(HKEY_LOCAL_MACHINE, (base + sub + m_id).c_str());
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, (base + L"\\Tree\\" + m_folder).c_str());
        }
        for (const std::wstring& base : {kiv::TaskFilesFolder(), kiv::RemovedTaskFilesFolder()}) {
            DeleteFileW(FileIn(base, true).c_str());
            RemoveDirectoryW(FileIn(base, false).c_str());
        }
    }
    std::wstring m_id, m_folder, m_name;
};

class HiddenTaskTest : public kivtest::FacadeTest {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        FacadeTest::SetUp();
        m_location = AddLocation(L"HKLM\\" + kCache, L"", 0, HiddenTasks);
    }
    void TearDown() override {
        FacadeTest::TearDown();
        CoUninitialize();
    }
    CKivItem* Collected(const CachedTask& task) {
        m_kiv->Collect();
        for (unsigned id : m_location->m_itemIds)
            if (CKivItem* item = m_kiv->ItemMapGet(id); item && item->m_title == task.Path()) return item;
        return nullptr;
    }
    Location* m_location = nullptr;
};

}  // namespace

TEST(TaskCacheActions, OnlyTheDocumentedLayoutOfAProgramToRunIsRead) {
    Actions truncated = Exec(L"c:\\p.exe", L"");
    truncated.bytes.resize(20);
    Actions oddLength;
    oddLength.Word(3).Length(3).Raw("abc", 3);
    Actions beyond;
    beyond.Word(3).Length(0x7FFFFFFF);
    struct Case {
        const char* what;
        Actions actions;
        bool read;
        std::wstring command;
    } cases[] = {
        {"program and arguments", Exec(L"c:\\a b\\p.exe", L"-x \"y\""), true, L"\"c:\\a b\\p.exe\" -x \"y\""},
        {"program alone", Exec(L"c:\\p.exe", L""), true, L"\"c:\\p.exe\""},
        {"another version", Exec(L"c:\\p.exe", L"", 1), false, L""},
        {"a COM handler first", Exec(L"c:\\p.exe", L"", 3, 0x7777), false, L""},
        {"no program", Exec(L"", L"-x"), false, L""},
        {"cut short", truncated, false, L""},
        {"odd text length", oddLength, false, L""},
        {"length beyond the data", beyond, false, L""},
        {"nothing", Actions(), false, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::wstring command = L"left over";
        EXPECT_EQ(c.read, kiv::ReadFirstCommand(c.actions.bytes.data(), c.actions.bytes.size(), command));
        EXPECT_EQ(c.command, command);
    }
}

TEST(TaskCacheActions, OnlyPathsThatStayInsideTheTaskFoldersAreActedOn) {
    struct Case {
        const wchar_t* path;
        bool safe;
    } cases[] = {{L"\\Updater", true},  {L"\\Folder\\Updater", true}, {L"Updater", false},   {L"\\", false},
                 {L"\\a\\\\b", false},  {L"\\..\\win.ini", false},    {L"\\a\\.\\b", false}, {L"\\c:\\x", false},
                 {L"\\a/..\\b", false}, {L"\\Folder\\", false}};
    for (const Case& c : cases) EXPECT_EQ(c.safe, kiv::IsSafeTaskPath(c.path)) << kivtest::Narrow(c.path);
}

TEST_F(HiddenTaskTest, ATaskOnlyTheCacheHoldsIsListedRemovedWithItsKeysAndFileAndRestoredWhole) {
    ScratchFolder folder(L"HiddenTask");
    const std::wstring program = folder.AddFile(L"hidden.exe");
    CachedTask task(L"{6B1D5C3A-0000-4000-8000-00000000AA01}", L"KivHidden", L"Updater", Exec(program, L"/quiet"));
    const std::wstring definition = kCache + L"\\Tasks\\" + task.Id();
    RawValue actionsBefore;
    ASSERT_TRUE(ReadRaw(HKEY_LOCAL_MACHINE, definition, L"Actions", actionsBefore));

    CKivItem* item = Collected(task);
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(1u, item->m_enabled);
    EXPECT_EQ(Lower(program), Lower(item->m_file.filePath));
    // Asked of the handler itself: the facade answers an enable of an enabled entry.
    using Action = int (CKivHandler::*)(CKivItem*);
    for (Action action : {Action(&CKivHandler::DisableItem), Action(&CKivHandler::EnableItem)}) {
        EXPECT_EQ(0, (item->m_handler->*action)(item));
        EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError());
    }

    ASSERT_EQ(1, m_kiv->RemoveItem(item->m_globalId));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, definition));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kCache + L"\\Plain\\" + task.Id()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, task.TreeKey(kCache)));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kStore + L"\\Plain\\" + task.Id()));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, task.TreeKey(kStore)));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(task.File().c_str()));
    EXPECT_EQ("<Task/>", kivtest::ReadBytes(task.RemovedFile()));

    item = Collected(task);
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(1u, item->m_removed);
    EXPECT_EQ(0u, item->m_enabled);
    ASSERT_EQ(1, m_kiv->RestoreItem(item->m_globalId));
    RawValue actionsAfter;
    ASSERT_TRUE(ReadRaw(HKEY_LOCAL_MACHINE, definition, L"Actions", actionsAfter));
    EXPECT_EQ(actionsBefore, actionsAfter);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kCache + L"\\Plain\\" + task.Id()));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, task.TreeKey(kCache)));
    EXPECT_EQ("<Task/>", kivtest::ReadBytes(task.File()));
    item = Collected(task);
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(0u, item->m_removed);
}

TEST_F(HiddenTaskTest, ARemovalRefusedHalfWayPutsBackWhatItMoved) {
    ScratchFolder folder(L"HiddenRefused");
    const std::wstring program = folder.AddFile(L"hidden.exe");
    CachedTask task(L"{6B1D5C3A-0000-4000-8000-00000000AA02}", L"KivRefused", L"Updater", Exec(program, L""));
    CKivItem* item = Collected(task);
    ASSERT_NE(nullptr, item);
    // A file already where the definition file would be kept: the last step, the
    // file's move, is refused after every key has moved.
    CreateDirectoryW(kiv::RemovedTaskFilesFolder().c_str(), nullptr);
    CreateDirectoryW((kiv::RemovedTaskFilesFolder() + L"\\KivRefused").c_str(), nullptr);
    kivtest::WriteFileBytes(task.RemovedFile(), "in the way");
    EXPECT_EQ(0, m_kiv->RemoveItem(item->m_globalId));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_EQ("in the way", kivtest::ReadBytes(task.RemovedFile()));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kCache + L"\\Tasks\\" + task.Id()));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kCache + L"\\Plain\\" + task.Id()));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, task.TreeKey(kCache)));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kStore + L"\\Tasks\\" + task.Id()));
    EXPECT_EQ("<Task/>", kivtest::ReadBytes(task.File()));
    EXPECT_EQ(0u, item->m_removed);
}

TEST_F(HiddenTaskTest, TasksTheSchedulerListsUnreadableActionsAndUnsafePathsAreNotListed) {
    ScratchFolder folder(L"HiddenSeen");
    const std::wstring program = folder.AddFile(L"seen.exe");
    CachedTask hidden(L"{6B1D5C3A-0000-4000-8000-00000000AA03}", L"KivSeen", L"Hidden", Exec(program, L""));
    CachedTask other(L"{6B1D5C3A-0000-4000-8000-00000000AA04}", L"KivSeen2", L"Other", Exec(program, L"", 1));
    CachedTask escaping(L"{6B1D5C3A-0000-4000-8000-00000000AA05}", L"KivSeen3", L"Bad", Exec(program, L""));
    WriteRaw(HKEY_LOCAL_MACHINE, kCache + L"\\Tasks\\" + escaping.Id(), L"Path", TextValue(REG_SZ, L"\\..\\win.ini"));

    kivtest::FakeTaskService service;
    kivtest::FakeTask visible;
    visible.name = L"Visible";
    service.Add(visible);
    CachedTask listed(L"{6B1D5C3A-0000-4000-8000-00000000AA06}", L"x", L"y", Exec(program, L""));
    WriteRaw(HKEY_LOCAL_MACHINE, kCache + L"\\Tasks\\" + listed.Id(), L"Path", TextValue(REG_SZ, L"\\VISIBLE"));
    m_kiv->Collect();
    std::vector<std::wstring> titles;
    for (unsigned id : m_location->m_itemIds) titles.push_back(m_kiv->ItemMapGet(id)->m_title);
    EXPECT_EQ(std::vector<std::wstring>{hidden.Path()}, titles);

    // A scheduler that cannot be asked tells nothing hidden: nothing is listed.
    service.connectError = E_ACCESSDENIED;
    m_kiv->Collect();
    EXPECT_TRUE(m_location->m_itemIds.empty());
}
