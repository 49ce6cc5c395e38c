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
#include "hubcore.h"
#include "iteminfo/CommandLine.h"
#include "platform/Environment.h"
#include "platform/Handles.h"
#include "platform/Navigation.h"
#include "platform/RegPath.h"
#include "platform/TaskMemory.h"
#include "platform/Text.h"

namespace {

using kiv::ComPtr;
using kiv::UniqueBstr;

// Classes and interfaces of both generations, created in process.
const CLSID kClsidTaskService = {0x0F87369F, 0xA4E5, 0x4CFC, {0xBD, 0x3E, 0x73, 0xE6, 0x15, 0x45, 0x72, 0xDD}};
const IID kIidTaskService = {0x2FABA4C7, 0x4DA9, 0x4013, {0x96, 0x97, 0x20, 0xCC, 0x3F, 0xD4, 0x0F, 0x85}};
const IID kIidExecAction = {0x4C3D624D, 0xFD6B, 0x49A3, {0xB9, 0xB7, 0x09, 0xCB, 0x3C, 0xD3, 0xF0, 0x47}};
const CLSID kClsidTaskScheduler = {0x148BD52A, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
const IID kIidTaskScheduler = {0x148BD527, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
const IID kIidTask = {0x148BD524, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
const IID kIidPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

const ULONG kNamesPerBatch = 5;
const wchar_t kJobSuffix[] = L".job";
const size_t kJobSuffixChars = 4;

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

bool OpenScheduler(ComPtr<ITaskScheduler>& scheduler) {
    return SUCCEEDED(CoCreateInstance(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, kIidTaskScheduler,
                                      scheduler.PutVoid())) &&
           scheduler;
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

bool HasWorkItem(ITaskScheduler* scheduler, const std::wstring& name) {
    return WalkWorkItems(scheduler, [&name](const std::wstring& found) { return found == name; });
}

// The enumeration names work items with their ".job" extension. Windows takes that
// name back; other implementations take only the name without it, which is tried
// when the first call fails.
HRESULT CallWithWorkItemName(const std::wstring& name, const std::function<HRESULT(const wchar_t*)>& call) {
    HRESULT hr = call(name.c_str());
    const size_t length = name.size();
    if (SUCCEEDED(hr) || length <= kJobSuffixChars ||
        kiv::PrefixCompare(name.c_str() + length - kJobSuffixChars, kJobSuffix, kJobSuffixChars) != 0)
        return hr;
    return call(name.substr(0, length - kJobSuffixChars).c_str());
}

bool ActivateWorkItem(ITaskScheduler* scheduler, const std::wstring& name, ComPtr<ITask>& task) {
    HRESULT hr = CallWithWorkItemName(name, [&](const wchar_t* text) {
        return scheduler->Activate(text, kIidTask, reinterpret_cast<IUnknown**>(task.Put()));
    });
    return SUCCEEDED(hr) && task;
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
int SetWorkItemDisabled(const std::wstring& name, bool disabled) {
    ComPtr<ITaskScheduler> scheduler;
    if (!OpenScheduler(scheduler) || !HasWorkItem(scheduler.Get(), name)) return 0;
    ComPtr<ITask> task;
    if (!ActivateWorkItem(scheduler.Get(), name, task)) return 0;
    DWORD flags = 0;
    if (FAILED(task->GetFlags(&flags))) return 0;
    flags = disabled ? (flags | TASK_FLAG_DISABLED) : (flags & ~static_cast<DWORD>(TASK_FLAG_DISABLED));
    if (FAILED(task->SetFlags(flags))) return 0;
    ComPtr<IPersistFile> file;
    if (FAILED(task->QueryInterface(kIidPersistFile, file.PutVoid())) || !file) return 0;
    return SUCCEEDED(file->Save(nullptr, TRUE)) ? 1 : 0;
}

int DeleteWorkItem(const std::wstring& name) {
    ComPtr<ITaskScheduler> scheduler;
    if (!OpenScheduler(scheduler) || !HasWorkItem(scheduler.Get(), name)) return 0;
    HRESULT hr = CallWithWorkItemName(name, [&](const wchar_t* text) { return scheduler->Delete(text); });
    return SUCCEEDED(hr) ? 1 : 0;
}

// ---- Task Scheduler 2.0: the tasks of the root folder ----

struct RootFolder {
    ComPtr<ITaskFolder> folder;
    ComPtr<IRegisteredTaskCollection> tasks;
};

// Connects to the local service as the current user; hidden tasks are not listed.
bool OpenRootFolder(RootFolder& root) {
    ComPtr<ITaskService> service;
    if (FAILED(CoCreateInstance(kClsidTaskService, nullptr, CLSCTX_INPROC_SERVER, kIidTaskService,
                                service.PutVoid())) ||
        !service)
        return false;
    VARIANT empty;
    VariantInit(&empty);
    if (FAILED(service->Connect(empty, empty, empty, empty))) return false;
    UniqueBstr path(SysAllocString(L"\\"));
    if (!path || FAILED(service->GetFolder(path.Get(), root.folder.Put())) || !root.folder) return false;
    return SUCCEEDED(root.folder->GetTasks(0, root.tasks.Put())) && root.tasks;
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

int SetRegisteredTaskEnabled(const std::wstring& name, bool enabled) {
    RootFolder root;
    if (!OpenRootFolder(root)) return 0;
    int result = 0;
    WalkRegisteredTasks(root.tasks.Get(), [&](IRegisteredTask* task, const std::wstring& found) {
        if (found != name) return false;
        result = SUCCEEDED(task->put_Enabled(enabled ? VARIANT_TRUE : VARIANT_FALSE)) ? 1 : 0;
        return true;
    });
    return result;
}

int DeleteRegisteredTask(const std::wstring& name) {
    RootFolder root;
    if (!OpenRootFolder(root)) return 0;
    auto named = [&name](IRegisteredTask*, const std::wstring& found) { return found == name; };
    if (!WalkRegisteredTasks(root.tasks.Get(), named)) return 0;
    UniqueBstr text(SysAllocStringLen(name.data(), static_cast<UINT>(name.size())));
    return text && SUCCEEDED(root.folder->DeleteTask(text.Get(), 0)) ? 1 : 0;
}

// ---- Showing a task ----

// The console cannot be told which task to select; it opens on its library.
int OpenTaskConsole() {
    const std::wstring console = kiv::ExpandPlain(L"%windir%\\system32\\taskschd.msc");
    if (console.empty()) return 0;
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.lpVerb = L"open";
    info.lpFile = console.c_str();
    info.nShow = SW_SHOW;
    return kiv::StartWithOneRetry([&info] { return ShellExecuteExW(&info); }) ? 1 : 0;
}

int ShowWorkItemFile(const std::wstring& name) {
    const std::wstring folder = kiv::ExpandPlain(L"%systemroot%\\Tasks");
    if (folder.empty()) return 0;
    return kiv::SelectInExplorer((folder + L"\\" + name).c_str());
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

CKivHandler_TaskScheduler::~CKivHandler_TaskScheduler() = default;

int CKivHandler_TaskScheduler::DisableItem(CKivItem* item) {
    if (!HasName(item)) return 0;
    const std::wstring& name = item->m_regNames[0];
    return UseTaskService() ? SetRegisteredTaskEnabled(name, false) : SetWorkItemDisabled(name, true);
}

int CKivHandler_TaskScheduler::EnableItem(CKivItem* item) {
    if (!HasName(item)) return 0;
    const std::wstring& name = item->m_regNames[0];
    return UseTaskService() ? SetRegisteredTaskEnabled(name, true) : SetWorkItemDisabled(name, false);
}

int CKivHandler_TaskScheduler::RemoveItem(CKivItem* item) {
    if (!HasName(item)) return 0;
    const std::wstring& name = item->m_regNames[0];
    return UseTaskService() ? DeleteRegisteredTask(name) : DeleteWorkItem(name);
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
