#include <gtest/gtest.h>

#include <mstask.h>
#include <objbase.h>

#include <optional>

#include "core/Records.h"
#include "platform/Handles.h"
#include "support/RegistryTestKit.h"
#include "support/TestSupport.h"

using kiv::ComPtr;
using kivtest::Lower;
using kivtest::ScopedVariable;
using kivtest::ScratchFolder;

namespace {

const CLSID kClsidTaskScheduler = {0x148BD52A, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
const IID kIidTaskScheduler = {0x148BD527, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
const CLSID kClsidTask = {0x148BD520, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
const IID kIidTask = {0x148BD524, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
const IID kIidPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// What a work item's flags read as when it cannot be opened.
const DWORD kNoTask = 0xFFFFFFFF;

ComPtr<ITaskScheduler> Scheduler() {
    ComPtr<ITaskScheduler> scheduler;
    EXPECT_HRESULT_SUCCEEDED(
        CoCreateInstance(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, kIidTaskScheduler, scheduler.PutVoid()));
    return scheduler;
}

// A work item of the test's own, made through the scheduler and deleted when the
// test ends (and before it is made, should an earlier run have left it behind).
// Work items are opened and deleted by their name without ".job", which every
// implementation accepts.
class TestTask {
public:
    TestTask(const std::wstring& name, const std::wstring& program, DWORD flags) : m_name(name) {
        Delete();
        Create(program, flags);
    }
    ~TestTask() { Delete(); }
    TestTask(const TestTask&) = delete;
    TestTask& operator=(const TestTask&) = delete;

    // The name the scheduler's enumeration gives it.
    std::wstring Listed() const { return m_name + L".job"; }

    DWORD Flags() const {
        ComPtr<ITaskScheduler> scheduler = Scheduler();
        ComPtr<ITask> task;
        DWORD flags = 0;
        if (!scheduler) return kNoTask;
        HRESULT hr = scheduler->Activate(m_name.c_str(), kIidTask, reinterpret_cast<IUnknown**>(task.Put()));
        return SUCCEEDED(hr) && SUCCEEDED(task->GetFlags(&flags)) ? flags : kNoTask;
    }

private:
    void Create(const std::wstring& program, DWORD flags) {
        ComPtr<ITaskScheduler> scheduler = Scheduler();
        ASSERT_TRUE(scheduler);
        ComPtr<ITask> task;
        ASSERT_HRESULT_SUCCEEDED(
            scheduler->NewWorkItem(m_name.c_str(), kClsidTask, kIidTask, reinterpret_cast<IUnknown**>(task.Put())));
        ASSERT_HRESULT_SUCCEEDED(task->SetApplicationName(program.c_str()));
        ASSERT_HRESULT_SUCCEEDED(task->SetFlags(flags));
        ComPtr<IPersistFile> file;
        ASSERT_HRESULT_SUCCEEDED(task->QueryInterface(kIidPersistFile, file.PutVoid()));
        ASSERT_HRESULT_SUCCEEDED(file->Save(nullptr, TRUE));
    }
    void Delete() {
        if (ComPtr<ITaskScheduler> scheduler = Scheduler()) scheduler->Delete(m_name.c_str());
    }
    std::wstring m_name;
};

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
        auto* category = new Category(L"test", 0);
        CKivTestAccess::Categories(m_kiv).push_back(category);
        m_location = new Location(L"%windir%\\Tasks", L"", 2, TaskScheduler, 0);
        category->m_locations = {m_location};
    }
    void TearDown() override {
        CKiv::Dispose();
        CoUninitialize();
    }

    // The task's item after a fresh collection, or null.
    CKivItem* Collected(const TestTask& task) {
        m_kiv->Collect();
        for (unsigned id : m_location->m_itemIds) {
            CKivItem* item = m_kiv->ItemMapGet(id);
            if (item && item->m_title == task.Listed()) return item;
        }
        return nullptr;
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

// Under Wine the 2.0 interfaces list no task at all (their collection counts
// none), so whenever the handler takes the 2.0 path it cannot see the work item
// that the 1.0 path lists: that tells which path each call took.
TEST_F(TaskHandlerTest, TheSiblingLibraryChoosesTheGenerationAtEveryCall) {
    ScratchFolder folder(L"TaskGeneration");
    TestTask task(L"KivTaskTestGeneration", folder.AddFile(L"task.exe"), 0);
    CKivItem* item = Collected(task);
    ASSERT_NE(nullptr, item);
    const unsigned id = item->m_globalId;
    {
        ScopedVariable use2(L"HUBCORE_TASK_SCHEDULER", L"2");
        EXPECT_EQ(0, m_kiv->DisableItem(id));
        EXPECT_EQ(0u, task.Flags());
    }
    ASSERT_EQ(1, m_kiv->DisableItem(id));
    EXPECT_EQ(static_cast<DWORD>(TASK_FLAG_DISABLED), task.Flags());
    {
        // The enumeration choice is for collection only.
        ScopedVariable enumerate2(L"HUBCORE_TASK_ENUM", L"2");
        ASSERT_EQ(1, m_kiv->EnableItem(id));
        EXPECT_EQ(0u, task.Flags());
        EXPECT_EQ(nullptr, Collected(task));
    }
    EXPECT_NE(nullptr, Collected(task));
}
