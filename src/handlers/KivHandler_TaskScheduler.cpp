// Reads and changes scheduled tasks through the Task Scheduler's own interfaces.
// The host's sibling library decides, at every call, whether the 2.0 interfaces
// (root folder only) or the 1.0 interfaces (work items) are used. The calling
// thread must have initialised COM.
#include <windows.h>
#include <mstask.h>
#include <objbase.h>
#include <shellapi.h>
// The interface header declares a class named like the handler type's enumerator
// "TaskScheduler"; it is renamed here, since only its identifier is used.
#define TaskScheduler TaskSchedulerCoclass
#include <taskschd.h>
#undef TaskScheduler

#include <functional>
#include <new>
#include <string>

#include "core/Records.h"
#include "handlers/HandlerKinds.h"
#include "handlers/TaskSchedulerClasses.h"
#include "hubcore.h"
#include "iteminfo/CommandLine.h"
#include "platform/Environment.h"
#include "platform/Handles.h"
#include "platform/Navigation.h"
#include "platform/RegPath.h"
#include "platform/Status.h"
#include "platform/TaskMemory.h"
#include "platform/Text.h"

namespace {

using kiv::ComPtr;
using kiv::kClsidTaskScheduler;
using kiv::kClsidTaskService;
using kiv::kIidExecAction;
using kiv::kIidPersistFile;
using kiv::kIidTask;
using kiv::kIidTaskScheduler;
using kiv::kIidTaskService;
using kiv::Status;
using kiv::UniqueBstr;

const ULONG kNamesPerBatch = 5;
const wchar_t kJobSuffix[] = L".job";
const size_t kJobSuffixChars = 4;

// How the 2.0 service object is obtained: the scheduler's class, in process.
HRESULT CreateTaskService(ITaskService** service) {
    return CoCreateInstance(kClsidTaskService, nullptr, CLSCTX_INPROC_SERVER, kIidTaskService,
                            reinterpret_cast<void**>(service));
}

kiv::TaskServiceFactory g_taskService = &CreateTaskService;

bool UseTaskService() { return HubUseTaskScheduler2() != 0; }

bool HasName(const CKivItem* item) { return item && !item->m_regNames.empty() && !item->m_regNames[0].empty(); }

std::wstring BstrText(const UniqueBstr& text) {
    return text ? std::wstring(text.Get(), SysStringLen(text.Get())) : std::wstring();
}

// An item for a task whose state matches the pass and whose program is an
// existing file.
void AddTaskItem(Location* location, const std::wstring& name, const std::wstring& program, bool enabled,
                 unsigned enabledPass) {
    if (enabled != (enabledPass != 0)) return;
    std::wstring file = program;
    if (!kiv::ResolveEntry(file, 0)) return;
    auto* item = new CKivItem(name, file, location, GotoKind::Explorer, 0, enabledPass, 0);
    item->m_regNames.push_back(name);
}

// ---- Task Scheduler 1.0: work items ----

// An action's failure keeps the scheduler's cause: a code of the system wrapped in
// an HRESULT (access denied, file not found) reaches the host as that code.
Status OpenScheduler(ComPtr<ITaskScheduler>& scheduler) {
    const HRESULT hr =
        CoCreateInstance(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, kIidTaskScheduler, scheduler.PutVoid());
    if (SUCCEEDED(hr) && !scheduler) return Status::Fail(ERROR_GEN_FAILURE);
    return Status::FromHresult(hr);
}

// Hands each work-item name to visit, batch by batch and from the last to the
// first name of a batch, until visit returns true; returns whether it did.
bool WalkWorkItems(ITaskScheduler* scheduler, const std::function<bool(const std::wstring&)>& visit) {
    ComPtr<IEnumWorkItems> items;
    if (FAILED(scheduler->Enum(items.Put())) || !items) return false;
    for (;;) {
        kiv::TaskStringArray batch;
        if (FAILED(items->Next(kNamesPerBatch, batch.PutArray(), batch.PutCount())) || batch.Count() == 0) return false;
        for (ULONG i = batch.Count(); i-- > 0;)
            if (batch.At(i) && visit(batch.At(i))) return true;
    }
}

bool EndsWithJob(const std::wstring& name) {
    const size_t length = name.size();
    return length > kJobSuffixChars &&
           kiv::PrefixCompare(name.c_str() + length - kJobSuffixChars, kJobSuffix, kJobSuffixChars) == 0;
}

// The work item an item names, as the enumeration lists it. An item collected
// through the 2.0 interfaces carries the task's name without the ".job" that the
// 1.0 enumeration adds, so either form is taken; both compare with regard to case.
bool FindWorkItem(ITaskScheduler* scheduler, const std::wstring& name, std::wstring& listed) {
    const std::wstring withSuffix = name + kJobSuffix;
    return WalkWorkItems(scheduler, [&](const std::wstring& found) {
        if (found != name && found != withSuffix) return false;
        listed = found;
        return true;
    });
}

// The enumeration names work items with their ".job" extension. Windows takes that
// name back; other implementations take only the name without it, which is tried
// when the first call fails.
HRESULT CallWithWorkItemName(const std::wstring& name, const std::function<HRESULT(const wchar_t*)>& call) {
    HRESULT hr = call(name.c_str());
    if (SUCCEEDED(hr) || !EndsWithJob(name)) return hr;
    return call(name.substr(0, name.size() - kJobSuffixChars).c_str());
}

Status ActivateWorkItem(ITaskScheduler* scheduler, const std::wstring& name, ComPtr<ITask>& task) {
    HRESULT hr = CallWithWorkItemName(name, [&](const wchar_t* text) {
        return scheduler->Activate(text, kIidTask, reinterpret_cast<IUnknown**>(task.Put()));
    });
    if (SUCCEEDED(hr) && !task) return Status::Fail(ERROR_GEN_FAILURE);
    return Status::FromHresult(hr);
}

// The scheduler and the work item an item names, as the enumeration lists it; a
// work item no longer listed is not found.
Status FindListedWorkItem(const std::wstring& name, ComPtr<ITaskScheduler>& scheduler, std::wstring& listed) {
    const Status opened = OpenScheduler(scheduler);
    if (!opened) return opened;
    return FindWorkItem(scheduler.Get(), name, listed) ? Status::Ok() : Status::Fail(ERROR_FILE_NOT_FOUND);
}

void CollectWorkItem(ITaskScheduler* scheduler, Location* location, const std::wstring& name, unsigned enabledPass) {
    ComPtr<ITask> task;
    if (!ActivateWorkItem(scheduler, name, task)) return;
    DWORD flags = 0;
    if (FAILED(task->GetFlags(&flags))) return;
    kiv::UniqueTaskString program;
    if (FAILED(task->GetApplicationName(program.Put())) || !program) return;
    AddTaskItem(location, name, program.Get(), (flags & TASK_FLAG_DISABLED) == 0, enabledPass);
}

void CollectWorkItems(Location* location, unsigned enabledPass) {
    ComPtr<ITaskScheduler> scheduler;
    if (!OpenScheduler(scheduler)) return;
    WalkWorkItems(scheduler.Get(), [&](const std::wstring& name) {
        CollectWorkItem(scheduler.Get(), location, name, enabledPass);
        return false;
    });
}

// Sets or clears only the disabled flag and saves the work item.
Status SetWorkItemDisabled(const std::wstring& name, bool disabled) {
    ComPtr<ITaskScheduler> scheduler;
    std::wstring listed;
    ComPtr<ITask> task;
    Status step = FindListedWorkItem(name, scheduler, listed);
    if (step) step = ActivateWorkItem(scheduler.Get(), listed, task);
    if (!step) return step;
    DWORD flags = 0;
    HRESULT hr = task->GetFlags(&flags);
    flags = disabled ? (flags | TASK_FLAG_DISABLED) : (flags & ~static_cast<DWORD>(TASK_FLAG_DISABLED));
    if (SUCCEEDED(hr)) hr = task->SetFlags(flags);
    ComPtr<IPersistFile> file;
    if (SUCCEEDED(hr)) hr = task->QueryInterface(kIidPersistFile, file.PutVoid());
    if (SUCCEEDED(hr) && !file) hr = E_NOINTERFACE;
    if (SUCCEEDED(hr)) hr = file->Save(nullptr, TRUE);
    return Status::FromHresult(hr);
}

Status DeleteWorkItem(const std::wstring& name) {
    ComPtr<ITaskScheduler> scheduler;
    std::wstring listed;
    const Status found = FindListedWorkItem(name, scheduler, listed);
    if (!found) return found;
    return Status::FromHresult(
        CallWithWorkItemName(listed, [&](const wchar_t* text) { return scheduler->Delete(text); }));
}

// ---- Task Scheduler 2.0: the tasks of the root folder ----

struct RootFolder {
    ComPtr<ITaskFolder> folder;
    ComPtr<IRegisteredTaskCollection> tasks;
};

// Connects to the local service as the current user; hidden tasks are not listed.
Status OpenRootFolder(RootFolder& root) {
    ComPtr<ITaskService> service;
    HRESULT hr = g_taskService(service.Put());
    if (SUCCEEDED(hr) && !service) hr = E_NOINTERFACE;
    VARIANT empty;
    VariantInit(&empty);
    if (SUCCEEDED(hr)) hr = service->Connect(empty, empty, empty, empty);
    UniqueBstr path(SysAllocString(L"\\"));
    if (SUCCEEDED(hr) && !path) hr = E_OUTOFMEMORY;
    if (SUCCEEDED(hr)) hr = service->GetFolder(path.Get(), root.folder.Put());
    if (SUCCEEDED(hr) && !root.folder) hr = E_NOINTERFACE;
    if (SUCCEEDED(hr)) hr = root.folder->GetTasks(0, root.tasks.Put());
    if (SUCCEEDED(hr) && !root.tasks) hr = E_NOINTERFACE;
    return Status::FromHresult(hr);
}

// Hands each task of the collection with its name to visit, by index from 1, until
// visit returns true; returns whether it did.
bool WalkRegisteredTasks(IRegisteredTaskCollection* tasks,
                         const std::function<bool(IRegisteredTask*, const std::wstring&)>& visit) {
    LONG count = 0;
    if (FAILED(tasks->get_Count(&count))) return false;
    for (LONG i = 1; i <= count; ++i) {
        VARIANT index;
        VariantInit(&index);
        index.vt = VT_I4;
        index.lVal = i;
        ComPtr<IRegisteredTask> task;
        if (FAILED(tasks->get_Item(index, task.Put())) || !task) continue;
        UniqueBstr name;
        if (FAILED(task->get_Name(name.Put()))) continue;
        if (visit(task.Get(), BstrText(name))) return true;
    }
    return false;
}

// The path of the first executable action that names one; actions of other kinds
// are passed over.
bool FirstProgramPath(IRegisteredTask* task, std::wstring& path) {
    ComPtr<ITaskDefinition> definition;
    ComPtr<IActionCollection> actions;
    LONG count = 0;
    if (FAILED(task->get_Definition(definition.Put())) || !definition ||
        FAILED(definition->get_Actions(actions.Put())) || !actions || FAILED(actions->get_Count(&count)))
        return false;
    for (LONG i = 1; i <= count; ++i) {
        ComPtr<IAction> action;
        ComPtr<IExecAction> exec;
        if (FAILED(actions->get_Item(i, action.Put())) || !action ||
            FAILED(action->QueryInterface(kIidExecAction, exec.PutVoid())) || !exec)
            continue;
        UniqueBstr text;
        if (FAILED(exec->get_Path(text.Put()))) continue;
        path = BstrText(text);
        if (!path.empty()) return true;
    }
    return false;
}

void CollectRegisteredTasks(Location* location, unsigned enabledPass) {
    RootFolder root;
    if (!OpenRootFolder(root)) return;
    WalkRegisteredTasks(root.tasks.Get(), [&](IRegisteredTask* task, const std::wstring& name) {
        std::wstring program;
        VARIANT_BOOL enabled = VARIANT_FALSE;
        if (FirstProgramPath(task, program) && SUCCEEDED(task->get_Enabled(&enabled)))
            AddTaskItem(location, name, program, enabled != VARIANT_FALSE, enabledPass);
        return false;
    });
}

Status SetRegisteredTaskEnabled(const std::wstring& name, bool enabled) {
    RootFolder root;
    Status step = OpenRootFolder(root);
    if (!step) return step;
    step = Status::Fail(ERROR_FILE_NOT_FOUND);
    WalkRegisteredTasks(root.tasks.Get(), [&](IRegisteredTask* task, const std::wstring& found) {
        if (found != name) return false;
        step = Status::FromHresult(task->put_Enabled(enabled ? VARIANT_TRUE : VARIANT_FALSE));
        return true;
    });
    return step;
}

Status DeleteRegisteredTask(const std::wstring& name) {
    RootFolder root;
    const Status opened = OpenRootFolder(root);
    if (!opened) return opened;
    auto named = [&name](IRegisteredTask*, const std::wstring& found) { return found == name; };
    if (!WalkRegisteredTasks(root.tasks.Get(), named)) return Status::Fail(ERROR_FILE_NOT_FOUND);
    UniqueBstr text(SysAllocStringLen(name.data(), static_cast<UINT>(name.size())));
    if (!text) return Status::Fail(ERROR_OUTOFMEMORY);
    return Status::FromHresult(root.folder->DeleteTask(text.Get(), 0));
}

// ---- Showing a task ----

// The console cannot be told which task to select; it opens on its library. A
// console that cannot be started is reported by the result alone: an error box
// would hold the host's thread until the user closed it, and the second try would
// show it again.
int OpenTaskConsole() {
    const std::wstring console = kiv::ExpandPlain(L"%windir%\\system32\\taskschd.msc");
    if (console.empty()) return 0;
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = console.c_str();
    info.nShow = SW_SHOW;
    return kiv::StartWithOneRetry([&info] { return ShellExecuteExW(&info); }) ? 1 : 0;
}

int ShowWorkItemFile(const std::wstring& name) {
    const std::wstring file = kiv::WorkItemFile(name);
    return file.empty() ? 0 : kiv::SelectInExplorer(file.c_str());
}

}  // namespace

namespace {

class CKivHandler_TaskScheduler : public CKivHandler {
public:
    ~CKivHandler_TaskScheduler() override;
    int DisableItem(CKivItem* item) override;
    int EnableItem(CKivItem* item) override;
    int RemoveItem(CKivItem* item) override;
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
    int GoTo(CKivItem* item) override;
};

}  // namespace
namespace kiv {

HRESULT NewTaskService(ITaskService** service) { return g_taskService(service); }

TaskServiceFactory SetTaskServiceFactory(TaskServiceFactory factory) {
    TaskServiceFactory previous = g_taskService;
    g_taskService = factory ? factory : &CreateTaskService;
    return previous;
}

std::wstring WorkItemFile(const std::wstring& name) {
    const std::wstring folder = ExpandPlain(L"%systemroot%\\Tasks");
    if (folder.empty()) return folder;
    return folder + L"\\" + name + (EndsWithJob(name) ? L"" : kJobSuffix);
}

}  // namespace kiv

CKivHandler_TaskScheduler::~CKivHandler_TaskScheduler() = default;

int CKivHandler_TaskScheduler::DisableItem(CKivItem* item) {
    if (!HasName(item)) return Status::Fail(ERROR_INVALID_PARAMETER).Report();
    const std::wstring& name = item->m_regNames[0];
    return (UseTaskService() ? SetRegisteredTaskEnabled(name, false) : SetWorkItemDisabled(name, true)).Report();
}

int CKivHandler_TaskScheduler::EnableItem(CKivItem* item) {
    if (!HasName(item)) return Status::Fail(ERROR_INVALID_PARAMETER).Report();
    const std::wstring& name = item->m_regNames[0];
    return (UseTaskService() ? SetRegisteredTaskEnabled(name, true) : SetWorkItemDisabled(name, false)).Report();
}

int CKivHandler_TaskScheduler::RemoveItem(CKivItem* item) {
    if (!HasName(item)) return Status::Fail(ERROR_INVALID_PARAMETER).Report();
    const std::wstring& name = item->m_regNames[0];
    return (UseTaskService() ? DeleteRegisteredTask(name) : DeleteWorkItem(name)).Report();
}

void CKivHandler_TaskScheduler::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    if (wow64) return;
    if (UseTaskService() || HubEnumTaskScheduler2() != 0) CollectRegisteredTasks(location, enabledPass);
    else CollectWorkItems(location, enabledPass);
}

int CKivHandler_TaskScheduler::GoTo(CKivItem* item) {
    if (UseTaskService()) return OpenTaskConsole();
    return HasName(item) ? ShowWorkItemFile(item->m_regNames[0]) : 0;
}

CKivHandler* NewTaskSchedulerHandler() { return new (std::nothrow) CKivHandler_TaskScheduler(); }
