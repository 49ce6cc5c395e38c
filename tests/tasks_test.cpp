#include <gtest/gtest.h>

#include <mstask.h>
#include <objbase.h>

#include <map>
#include <optional>
#include <vector>

#include "core/Records.h"
#include "core/KivHandler.h"
#include "handlers/TaskSchedulerClasses.h"
#include "platform/Environment.h"
#include "platform/Handles.h"
#include "support/RegistryTestKit.h"
#include "support/TaskServiceFake.h"
#include "support/TaskTestKit.h"
#include "support/TestSupport.h"

using kiv::ComPtr;
using kivtest::FakeAction;
using kivtest::FakeTask;
using kivtest::kNoTask;
using kivtest::Lower;
using kivtest::Scheduler;
using kivtest::ScopedVariable;
using kivtest::ScratchFolder;
using kivtest::TestTask;

namespace {

using kiv::kClsidTask;
using kiv::kClsidTaskScheduler;
using kiv::kIidPersistFile;
using kiv::kIidTask;
using kiv::kIidTaskScheduler;

// A facade over an empty catalogue with one task location, on a thread that has
// initialised COM. The sibling library is told to use Task Scheduler 1.0 unless a
// test says otherwise.
class TaskHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        kivtest::WriteBesideProgram(L"kivdata.dat", "<kivdata></kivdata>");
        kivtest::WriteBesideProgram(L"kivwl.dat", kivtest::Utf16Bytes(L"|0", false));
        m_kiv = CKiv::Init();
        Category* category = CKivTestAccess::AddCategory(m_kiv, L"test");
        m_location = CKivTestAccess::AddLocation(m_kiv, category, L"%windir%\\Tasks", L"", 2, TaskScheduler);
    }
    void TearDown() override {
        CKiv::Dispose();
        CoUninitialize();
    }

    // The item of that title after a fresh collection, or null.
    CKivItem* Collected(const std::wstring& title) {
        m_kiv->Collect();
        for (unsigned id : m_location->m_itemIds) {
            CKivItem* item = m_kiv->ItemMapGet(id);
            if (item && item->m_title == title) return item;
        }
        return nullptr;
    }
    CKivItem* Collected(const TestTask& task) { return Collected(task.Listed()); }
    // The ID of that item after a fresh collection (0, a dead ID, when it is missing).
    unsigned IdOf(const std::wstring& title) {
        CKivItem* item = Collected(title);
        EXPECT_NE(nullptr, item) << "no item " << testing::PrintToString(title);
        return item ? item->m_globalId : 0;
    }
    // The titles of a fresh collection with each item's state.
    std::map<std::wstring, unsigned> Listed() {
        m_kiv->Collect();
        std::map<std::wstring, unsigned> titles;
        for (unsigned id : m_location->m_itemIds) {
            const CKivItem* item = m_kiv->ItemMapGet(id);
            titles[item->m_title] = item->m_enabled;
        }
        return titles;
    }

    ScopedVariable m_generation{L"HUBCORE_TASK_SCHEDULER", L"1"};
    ScopedVariable m_enumeration{L"HUBCORE_TASK_ENUM", L""};
    CKiv* m_kiv = nullptr;
    Location* m_location = nullptr;
};

}  // namespace

TEST_F(TaskHandlerTest, WorkItemsAreListedByStateUnderTheirEnumeratedNameWhenTheirProgramExists) {
    ScratchFolder folder(L"TaskCollect");
    const std::wstring program = folder.AddFile(L"task.exe");
    TestTask on(L"KivTaskTestOn", program, 0);
    TestTask off(L"KivTaskTestOff", program, TASK_FLAG_DISABLED);
    TestTask gone(L"KivTaskTestGone", folder.Path() + L"\\missing.exe", 0);

    CKivItem* onItem = Collected(on);
    ASSERT_NE(nullptr, onItem);
    EXPECT_EQ(1u, onItem->m_enabled);
    EXPECT_EQ(std::vector<std::wstring>{on.Listed()}, onItem->m_regNames);
    EXPECT_EQ(Lower(program), Lower(onItem->m_file.filePath));

    CKivItem* offItem = Collected(off);
    ASSERT_NE(nullptr, offItem);
    EXPECT_EQ(0u, offItem->m_enabled);
    EXPECT_EQ(nullptr, Collected(gone));
}

TEST_F(TaskHandlerTest, DisableAndEnableChangeOnlyTheDisabledFlagAndRemovalDeletesTheWorkItemOnce) {
    ScratchFolder folder(L"TaskFlags");
    const DWORD others = TASK_FLAG_RUN_ONLY_IF_LOGGED_ON | TASK_FLAG_DONT_START_IF_ON_BATTERIES;
    TestTask task(L"KivTaskTestFlags", folder.AddFile(L"task.exe"), others);
    CKivItem* item = Collected(task);
    ASSERT_NE(nullptr, item);

    ASSERT_EQ(1, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(others | TASK_FLAG_DISABLED, task.Flags());
    item = Collected(task);
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(0u, item->m_enabled);

    ASSERT_EQ(1, m_kiv->EnableItem(item->m_globalId));
    EXPECT_EQ(others, task.Flags());
    item = Collected(task);
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(1u, item->m_enabled);

    const unsigned id = item->m_globalId;
    ASSERT_EQ(1, m_kiv->RemoveItem(id));
    EXPECT_EQ(kNoTask, task.Flags());
    EXPECT_EQ(0, m_kiv->RemoveItem(id));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());  // gone, not "failed"
}

// The scheduler opens work items whatever the case of their name; the handler
// must act only on the one it listed.
TEST_F(TaskHandlerTest, ActionsFindTheTaskOnlyUnderTheExactNameItWasListedWith) {
    ScratchFolder folder(L"TaskNames");
    const std::wstring program = folder.AddFile(L"task.exe");
    std::optional<TestTask> task;
    task.emplace(L"KivTaskTestCase", program, 0);
    CKivItem* item = Collected(*task);
    ASSERT_NE(nullptr, item);

    task.reset();
    task.emplace(L"KIVTASKTESTCASE", program, 0);
    EXPECT_EQ(0, m_kiv->DisableItem(item->m_globalId));
    EXPECT_EQ(0, m_kiv->RemoveItem(item->m_globalId));
    EXPECT_EQ(0u, task->Flags());
}

// The 2.0 path, through a Task Scheduler of the test's own.
class TaskServiceTest : public TaskHandlerTest {
protected:
    void SetUp() override {
        TaskHandlerTest::SetUp();
        m_program = m_folder.AddFile(L"task.exe");
        m_other = m_folder.AddFile(L"other.exe");
    }
    // Nothing of the service and none of the strings is left after a call.
    void ExpectAllReleased() {
        EXPECT_EQ(0, m_service.LiveObjects());
        EXPECT_EQ(0, m_service.LiveStrings());
    }
    FakeTask Task(const std::wstring& name, std::vector<FakeAction> actions, bool enabled = true) {
        FakeTask task;
        task.name = name;
        task.actions = std::move(actions);
        task.enabled = enabled;
        return task;
    }

    ScopedVariable m_use2{L"HUBCORE_TASK_SCHEDULER", L"2"};
    kivtest::FakeTaskService m_service;
    ScratchFolder m_folder{L"TaskService"};
    std::wstring m_program, m_other;
};

TEST_F(TaskServiceTest, OnlyVisibleRootTasksWithAnExecutableProgramAreListedByTheirState) {
    m_service.Add(Task(L"On", {{true, m_program}}));
    m_service.Add(Task(L"Off", {{true, m_program}}, false));
    m_service.Add(Task(L"Hidden", {{true, m_program}})).hidden = true;
    m_service.Add(Task(L"InFolder", {{true, m_program}}), L"Vendor");
    m_service.Add(Task(L"MessageOnly", {{false, m_program}}));
    m_service.Add(Task(L"NoAction", {}));
    m_service.Add(Task(L"Denied", {{true, m_program}})).definitionError = E_ACCESSDENIED;
    m_service.Add(Task(L"Vanished", {{true, m_program}})).itemError = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    m_service.Add(Task(L"Missing", {{true, m_folder.Path() + L"\\gone.exe"}}));
    m_service.Add(Task(L"Second", {{false, m_program}, {true, L""}, {true, m_other}, {true, m_program}}));

    EXPECT_EQ((std::map<std::wstring, unsigned>{{L"On", 1}, {L"Off", 0}, {L"Second", 1}}), Listed());
    CKivItem* item = Collected(L"Second");
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(Lower(m_other), Lower(item->m_file.filePath));
    EXPECT_EQ(std::vector<std::wstring>{L"Second"}, item->m_regNames);
    ExpectAllReleased();
}

TEST_F(TaskServiceTest, ActionsReachTheRootTaskOfExactlyTheListedNameAndShowInTheNextCollection) {
    FakeTask& task = m_service.Add(Task(L"Updater", {{true, m_program}}));
    FakeTask& namesake = m_service.Add(Task(L"Updater", {{true, m_program}}), L"Vendor");
    const unsigned id = IdOf(L"Updater");

    ASSERT_EQ(1, m_kiv->DisableItem(id));
    EXPECT_FALSE(task.enabled);
    EXPECT_EQ((std::map<std::wstring, unsigned>{{L"Updater", 0}}), Listed());
    const unsigned disabled = IdOf(L"Updater");
    task.enableError = E_ACCESSDENIED;
    EXPECT_EQ(0, m_kiv->EnableItem(disabled));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    task.enableError = S_OK;
    ASSERT_EQ(1, m_kiv->EnableItem(disabled));
    EXPECT_TRUE(task.enabled);

    const unsigned live = IdOf(L"Updater");
    task.name = L"UPDATER";  // the service would take this name: the handler must not
    EXPECT_EQ(0, m_kiv->DisableItem(live));
    EXPECT_EQ(0, m_kiv->RemoveItem(live));
    EXPECT_TRUE(task.enabled);
    task.name = L"Updater";
    task.deleteError = E_ACCESSDENIED;
    EXPECT_EQ(0, m_kiv->RemoveItem(live));
    task.deleteError = S_OK;
    ASSERT_EQ(1, m_kiv->RemoveItem(live));
    EXPECT_TRUE(task.deleted);
    EXPECT_EQ(nullptr, m_service.Find(L"Updater"));
    EXPECT_FALSE(namesake.deleted);
    EXPECT_EQ(0, m_kiv->RemoveItem(live));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_EQ(0, m_kiv->DisableItem(live));  // an enable would answer at once: the item reads enabled
    ExpectAllReleased();
}

TEST_F(TaskServiceTest, AServiceThatCannotBeReachedYieldsNothingAndKeepsNothing) {
    m_service.Add(Task(L"Updater", {{true, m_program}}, false));
    for (HRESULT* failing : {&m_service.createError, &m_service.connectError}) {
        const unsigned id = IdOf(L"Updater");
        *failing = HRESULT_FROM_WIN32(ERROR_SERVICE_NOT_ACTIVE);
        EXPECT_EQ(0, m_kiv->EnableItem(id));
        EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE), GetLastError());
        EXPECT_TRUE(Listed().empty());
        *failing = S_OK;
    }
    EXPECT_FALSE(m_service.Find(L"Updater")->enabled);
    ExpectAllReleased();
}

// The sibling library is asked at every call; under Wine the 1.0 path is the real
// scheduler and the 2.0 path the test's own, so each call shows which one it took.
TEST_F(TaskServiceTest, TheSiblingLibraryChoosesTheGenerationAtEveryCall) {
    TestTask workItem(L"KivTaskTestGeneration", m_program, 0);
    FakeTask& task = m_service.Add(Task(L"KivTaskFakeGeneration", {{true, m_program}}));
    EXPECT_EQ((std::map<std::wstring, unsigned>{{L"KivTaskFakeGeneration", 1}}), Listed());
    unsigned id = IdOf(L"KivTaskFakeGeneration");
    {
        ScopedVariable use1(L"HUBCORE_TASK_SCHEDULER", L"1");
        EXPECT_EQ(0, m_kiv->DisableItem(id));
        EXPECT_TRUE(task.enabled);
        EXPECT_NE(nullptr, Collected(workItem));
        EXPECT_EQ(nullptr, Collected(L"KivTaskFakeGeneration"));
        // Ordinal 9 moves collection alone to 2.0.
        ScopedVariable enumerate2(L"HUBCORE_TASK_ENUM", L"2");
        EXPECT_EQ((std::map<std::wstring, unsigned>{{L"KivTaskFakeGeneration", 1}}), Listed());
        id = IdOf(L"KivTaskFakeGeneration");
        EXPECT_EQ(0, m_kiv->DisableItem(id));
        EXPECT_TRUE(task.enabled);
    }
    ASSERT_EQ(1, m_kiv->DisableItem(id));
    EXPECT_FALSE(task.enabled);
    EXPECT_EQ(0u, workItem.Flags());
    ExpectAllReleased();
}

// Collected through 2.0, acted on through 1.0: the item's name lacks the ".job"
// the work-item enumeration adds.
TEST_F(TaskServiceTest, WorkItemsAreFoundUnderTheirTaskNameWhenCollectionUsedTheOtherGeneration) {
    ScopedVariable use1(L"HUBCORE_TASK_SCHEDULER", L"1");
    ScopedVariable enumerate2(L"HUBCORE_TASK_ENUM", L"2");
    TestTask workItem(L"KivTaskTestCross", m_program, 0);
    FakeTask& task = m_service.Add(Task(L"KivTaskTestCross", {{true, m_program}}));
    const unsigned id = IdOf(L"KivTaskTestCross");
    ASSERT_EQ(1, m_kiv->DisableItem(id));
    EXPECT_EQ(static_cast<DWORD>(TASK_FLAG_DISABLED), workItem.Flags());
    ASSERT_EQ(1, m_kiv->EnableItem(id));
    EXPECT_EQ(0u, workItem.Flags());
    EXPECT_TRUE(task.enabled);

    task.name = L"KIVTASKTESTCROSS";
    EXPECT_EQ(0, m_kiv->DisableItem(IdOf(L"KIVTASKTESTCROSS")));
    EXPECT_EQ(0u, workItem.Flags());
    task.name = L"KivTaskTestCross";
    ASSERT_EQ(1, m_kiv->RemoveItem(IdOf(L"KivTaskTestCross")));
    EXPECT_EQ(kNoTask, workItem.Flags());
    EXPECT_FALSE(task.deleted);

    const std::wstring tasks = kiv::ExpandPlain(L"%systemroot%\\Tasks\\");
    EXPECT_EQ(tasks + L"Updater.job", kiv::WorkItemFile(L"Updater"));
    EXPECT_EQ(tasks + L"Updater.job", kiv::WorkItemFile(L"Updater.job"));
    ExpectAllReleased();
}

// The console cannot select a task, so the go-to only opens it: the test gives the
// console file an "open" command of its own that copies the file it was given.
TEST_F(TaskServiceTest, TheGoToOpensTheConsoleWithoutAskingTheService) {
    const std::wstring classes = L"Software\\Classes\\";
    HKEY existing = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (classes + L".msc").c_str(), 0, KEY_READ, &existing) == ERROR_SUCCESS) {
        RegCloseKey(existing);
        GTEST_SKIP() << "console files already have an association here";
    }
    const std::wstring console = kiv::ExpandPlain(L"%windir%\\system32\\taskschd.msc");
    ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(console.c_str()));
    m_service.Add(Task(L"Updater", {{true, m_program}}));
    CKivItem* item = Collected(L"Updater");
    ASSERT_NE(nullptr, item);
    const int createdBefore = m_service.created;
    // No console, even at the second try, and no error box that would hold the thread.
    EXPECT_EQ(0, item->m_handler->GoTo(item));

    const std::wstring opened = m_folder.Path() + L"\\opened.txt";
    const std::wstring command =
        kiv::ExpandPlain(L"\"%windir%\\system32\\cmd.exe\" /c copy \"%1\" \"") + opened + L"\"";
    kivtest::WriteRaw(HKEY_LOCAL_MACHINE, classes + L".msc", L"", kivtest::TextValue(REG_SZ, L"KivTest.Console"));
    kivtest::WriteRaw(HKEY_LOCAL_MACHINE, classes + L"KivTest.Console\\shell\\open\\command", L"",
                      kivtest::TextValue(REG_SZ, command));
    const std::string content = "the test's console";
    kivtest::WriteFileBytes(console, content);
    const int result = item->m_handler->GoTo(item);
    for (int wait = 0; wait < 100 && GetFileAttributesW(opened.c_str()) == INVALID_FILE_ATTRIBUTES; ++wait) Sleep(100);
    Sleep(200);  // lets the copy finish
    DeleteFileW(console.c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (classes + L"KivTest.Console").c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (classes + L".msc").c_str());

    EXPECT_EQ(1, result);
    WIN32_FILE_ATTRIBUTE_DATA copy = {};
    ASSERT_TRUE(GetFileAttributesExW(opened.c_str(), GetFileExInfoStandard, &copy));
    EXPECT_EQ(content.size(), copy.nFileSizeLow);
    EXPECT_EQ(createdBefore, m_service.created);
    EXPECT_EQ(0, m_service.LiveObjects());
}
