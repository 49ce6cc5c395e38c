#include "support/TaskServiceFake.h"

#include <objbase.h>
#include <oleauto.h>
#include <taskschd.h>

#include <atomic>
#include <utility>

#include "handlers/TaskSchedulerClasses.h"

namespace kivtest {
namespace {

const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
const HRESULT kNotConnected = HRESULT_FROM_WIN32(ERROR_ONLY_IF_CONNECTED);

std::atomic<long> g_liveObjects{0};
FakeTaskService* g_service = nullptr;

// Counts the task allocator's blocks, which hold every BSTR either side makes
// (the tests run with the BSTR cache off, so each free reaches the allocator).
class AllocationSpy : public IMallocSpy {
public:
    long Live() const { return m_live.load(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IMallocSpy)) return E_NOINTERFACE;
        *out = static_cast<IMallocSpy*>(this);
        return S_OK;
    }
    // Lives for the whole program: the allocator may keep it after a revoke.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
    void* STDMETHODCALLTYPE PostAlloc(void* block) override {
        if (block) ++m_live;
        return block;
    }
    void* STDMETHODCALLTYPE PreFree(void* block, BOOL spied) override {
        if (block && spied) --m_live;
        return block;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T size, void** newBlock, BOOL spied) override {
        if (!block) ++m_live;
        else if (size == 0 && spied) --m_live;
        *newBlock = block;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override { return block; }
    void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

private:
    std::atomic<long> m_live{0};
};

AllocationSpy g_spy;

// Registered once for the program: the allocator refuses a second spy.
void WatchAllocations() {
    static const HRESULT registered = CoRegisterMallocSpy(&g_spy);
    (void)registered;
}

BSTR NewString(const std::wstring& text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

std::wstring Text(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

// References, the live count and the dispatch part every object of the fake shares.
template <typename I>
class Object : public I {
public:
    Object() { ++g_liveObjects; }
    virtual ~Object() { --g_liveObjects; }
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch) && !Answers(iid)) return E_NOINTERFACE;
        *out = static_cast<I*>(this);
        this->AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_refs;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

protected:
    virtual bool Answers(REFIID iid) const { return IsEqualIID(iid, __uuidof(I)); }

private:
    std::atomic<ULONG> m_refs{1};
};

template <typename T>
HRESULT HandOut(T* object, T** out) {
    if (!out) {
        object->Release();
        return E_POINTER;
    }
    *out = object;
    return S_OK;
}

class ActionObject : public Object<IExecAction> {
public:
    explicit ActionObject(const FakeAction& action) : m_action(action) {}
    HRESULT STDMETHODCALLTYPE get_Id(BSTR* id) override { return (*id = nullptr), S_OK; }
    HRESULT STDMETHODCALLTYPE put_Id(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Type(TASK_ACTION_TYPE* type) override {
        *type = m_action.exec ? TASK_ACTION_EXEC : TASK_ACTION_SHOW_MESSAGE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Path(BSTR* path) override {
        *path = m_action.path.empty() ? nullptr : NewString(m_action.path);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Path(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Arguments(BSTR* text) override { return (*text = nullptr), S_OK; }
    HRESULT STDMETHODCALLTYPE put_Arguments(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_WorkingDirectory(BSTR* text) override { return (*text = nullptr), S_OK; }
    HRESULT STDMETHODCALLTYPE put_WorkingDirectory(BSTR) override { return E_NOTIMPL; }

protected:
    // Only an executable action is one; the others answer as actions alone.
    bool Answers(REFIID iid) const override {
        return IsEqualIID(iid, __uuidof(IAction)) || (m_action.exec && IsEqualIID(iid, __uuidof(IExecAction)));
    }

private:
    FakeAction m_action;
};

class ActionCollectionObject : public Object<IActionCollection> {
public:
    explicit ActionCollectionObject(const std::vector<FakeAction>& actions) : m_actions(actions) {}
    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
        *count = static_cast<LONG>(m_actions.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Item(LONG index, IAction** action) override {
        if (index < 1 || index > static_cast<LONG>(m_actions.size())) return E_INVALIDARG;
        return HandOut<IAction>(new ActionObject(m_actions[static_cast<size_t>(index - 1)]), action);
    }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_XmlText(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_XmlText(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Create(TASK_ACTION_TYPE, IAction**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Remove(VARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clear() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Context(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Context(BSTR) override { return E_NOTIMPL; }

private:
    std::vector<FakeAction> m_actions;
};

// A definition is a copy: changing it changes no registered task.
class DefinitionObject : public Object<ITaskDefinition> {
public:
    explicit DefinitionObject(const std::vector<FakeAction>& actions) : m_actions(actions) {}
    HRESULT STDMETHODCALLTYPE get_RegistrationInfo(IRegistrationInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_RegistrationInfo(IRegistrationInfo*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Triggers(ITriggerCollection**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Triggers(ITriggerCollection*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Settings(ITaskSettings**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Settings(ITaskSettings*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Data(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Data(BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Principal(IPrincipal**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Principal(IPrincipal*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Actions(IActionCollection** actions) override {
        return HandOut<IActionCollection>(new ActionCollectionObject(m_actions), actions);
    }
    HRESULT STDMETHODCALLTYPE put_Actions(IActionCollection*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_XmlText(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_XmlText(BSTR) override { return E_NOTIMPL; }

private:
    std::vector<FakeAction> m_actions;
};

// A registered task acts on the service's own record: a change shows in every
// later collection, and a task deleted since it was fetched answers "not found".
class RegisteredTaskObject : public Object<IRegisteredTask> {
public:
    explicit RegisteredTaskObject(std::shared_ptr<FakeTask> task) : m_task(std::move(task)) {}
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override {
        *name = NewString(m_task->name);
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_Path(BSTR* path) override {
        *path = NewString(L"\\" + m_task->name);
        return *path ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_State(TASK_STATE* state) override {
        *state = m_task->enabled ? TASK_STATE_READY : TASK_STATE_DISABLED;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* enabled) override {
        if (m_task->deleted) return kNotFound;
        *enabled = m_task->enabled ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL enabled) override {
        if (m_task->deleted) return kNotFound;
        if (FAILED(m_task->enableError)) return m_task->enableError;
        m_task->enabled = enabled != VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Run(VARIANT, IRunningTask**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RunEx(VARIANT, LONG, LONG, BSTR, IRunningTask**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInstances(LONG, IRunningTaskCollection**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LastRunTime(DATE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LastTaskResult(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_NumberOfMissedRuns(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_NextRunTime(DATE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Definition(ITaskDefinition** definition) override {
        if (m_task->deleted) return kNotFound;
        if (FAILED(m_task->definitionError)) return m_task->definitionError;
        return HandOut<ITaskDefinition>(new DefinitionObject(m_task->actions), definition);
    }
    HRESULT STDMETHODCALLTYPE get_Xml(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSecurityDescriptor(LONG, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSecurityDescriptor(BSTR, LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stop(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRunTimes(const LPSYSTEMTIME, const LPSYSTEMTIME, DWORD*, LPSYSTEMTIME*) override {
        return E_NOTIMPL;
    }

private:
    std::shared_ptr<FakeTask> m_task;
};

// The tasks of a folder as they were when the collection was made.
class TaskCollectionObject : public Object<IRegisteredTaskCollection> {
public:
    explicit TaskCollectionObject(std::vector<std::shared_ptr<FakeTask>> tasks) : m_tasks(std::move(tasks)) {}
    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
        *count = static_cast<LONG>(m_tasks.size());
        return S_OK;
    }
    // By position from 1, or by name.
    HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, IRegisteredTask** task) override {
        std::shared_ptr<FakeTask> found;
        if (index.vt == VT_I4 && index.lVal >= 1 && index.lVal <= static_cast<LONG>(m_tasks.size()))
            found = m_tasks[static_cast<size_t>(index.lVal - 1)];
        else if (index.vt == VT_BSTR)
            for (const auto& candidate : m_tasks)
                if (_wcsicmp(candidate->name.c_str(), Text(index.bstrVal).c_str()) == 0) found = candidate;
        if (!found) return index.vt == VT_BSTR ? kNotFound : E_INVALIDARG;
        if (FAILED(found->itemError)) return found->itemError;
        return HandOut<IRegisteredTask>(new RegisteredTaskObject(found), task);
    }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown**) override { return E_NOTIMPL; }

private:
    std::vector<std::shared_ptr<FakeTask>> m_tasks;
};

// Task names are file names: the service finds them whatever their case.
std::shared_ptr<FakeTask>* FindIn(FakeFolder& folder, const std::wstring& name) {
    for (auto& task : folder.tasks)
        if (_wcsicmp(task->name.c_str(), name.c_str()) == 0) return &task;
    return nullptr;
}

class FolderObject : public Object<ITaskFolder> {
public:
    FolderObject(FakeFolder& folder, std::wstring path) : m_folder(folder), m_path(std::move(path)) {}
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override {
        *name = NewString(m_path == L"\\" ? m_path : m_path.substr(m_path.rfind(L'\\') + 1));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Path(BSTR* path) override {
        *path = NewString(m_path);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetFolder(BSTR, ITaskFolder**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFolders(LONG, ITaskFolderCollection**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateFolder(BSTR, VARIANT, ITaskFolder**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteFolder(BSTR, LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTask(BSTR path, IRegisteredTask** task) override {
        std::shared_ptr<FakeTask>* found = FindIn(m_folder, Text(path));
        return found ? HandOut<IRegisteredTask>(new RegisteredTaskObject(*found), task) : kNotFound;
    }
    // Hidden tasks only with TASK_ENUM_HIDDEN, the one flag there is.
    HRESULT STDMETHODCALLTYPE GetTasks(LONG flags, IRegisteredTaskCollection** tasks) override {
        if (flags & ~static_cast<LONG>(TASK_ENUM_HIDDEN)) return E_INVALIDARG;
        std::vector<std::shared_ptr<FakeTask>> listed;
        for (const auto& task : m_folder.tasks)
            if (!task->hidden || (flags & TASK_ENUM_HIDDEN)) listed.push_back(task);
        return HandOut<IRegisteredTaskCollection>(new TaskCollectionObject(std::move(listed)), tasks);
    }
    HRESULT STDMETHODCALLTYPE DeleteTask(BSTR name, LONG flags) override {
        if (flags != 0) return E_INVALIDARG;
        std::shared_ptr<FakeTask>* found = FindIn(m_folder, Text(name));
        if (!found) return kNotFound;
        if (FAILED((*found)->deleteError)) return (*found)->deleteError;
        (*found)->deleted = true;
        m_folder.tasks.erase(m_folder.tasks.begin() + (found - m_folder.tasks.data()));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RegisterTask(BSTR, BSTR, LONG, VARIANT, VARIANT, TASK_LOGON_TYPE, VARIANT,
                                           IRegisteredTask**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RegisterTaskDefinition(BSTR, ITaskDefinition*, LONG, VARIANT, VARIANT, TASK_LOGON_TYPE,
                                                     VARIANT, IRegisteredTask**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetSecurityDescriptor(LONG, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSecurityDescriptor(BSTR, LONG) override { return E_NOTIMPL; }

private:
    FakeFolder& m_folder;
    std::wstring m_path;
};

class ServiceObject : public Object<ITaskService> {
public:
    explicit ServiceObject(FakeTaskService& owner) : m_owner(owner) {}
    // "\" is the root folder, "\Name" a subfolder of it.
    HRESULT STDMETHODCALLTYPE GetFolder(BSTR path, ITaskFolder** folder) override {
        if (!m_connected) return kNotConnected;
        const std::wstring text = Text(path);
        if (text == L"\\") return HandOut<ITaskFolder>(new FolderObject(m_owner.root, text), folder);
        auto found = text.size() > 1 && text[0] == L'\\' ? m_owner.root.folders.find(text.substr(1))
                                                         : m_owner.root.folders.end();
        if (found == m_owner.root.folders.end()) return kNotFound;
        return HandOut<ITaskFolder>(new FolderObject(found->second, text), folder);
    }
    HRESULT STDMETHODCALLTYPE GetRunningTasks(LONG, IRunningTaskCollection**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE NewTask(DWORD, ITaskDefinition**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Connect(VARIANT, VARIANT, VARIANT, VARIANT) override {
        if (FAILED(m_owner.connectError)) return m_owner.connectError;
        m_connected = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Connected(VARIANT_BOOL* connected) override {
        *connected = m_connected ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_TargetServer(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ConnectedUser(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ConnectedDomain(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_HighestVersion(DWORD* version) override {
        *version = 0x00010002;
        return S_OK;
    }

private:
    FakeTaskService& m_owner;
    bool m_connected = false;
};

HRESULT CreateFakeService(ITaskService** service) {
    if (!service) return E_POINTER;
    *service = nullptr;
    if (!g_service) return REGDB_E_CLASSNOTREG;
    if (FAILED(g_service->createError)) return g_service->createError;
    ++g_service->created;
    *service = new ServiceObject(*g_service);
    return S_OK;
}

}  // namespace

FakeTaskService::FakeTaskService() {
    WatchAllocations();
    m_objectsBefore = g_liveObjects.load();
    m_stringsBefore = g_spy.Live();
    g_service = this;
    kiv::SetTaskServiceFactory(&CreateFakeService);
}

FakeTaskService::~FakeTaskService() {
    kiv::SetTaskServiceFactory(nullptr);
    g_service = nullptr;
}

FakeTask& FakeTaskService::Add(FakeTask task, const std::wstring& folder) {
    FakeFolder& into = folder.empty() ? root : root.folders[folder];
    into.tasks.push_back(std::make_shared<FakeTask>(std::move(task)));
    return *into.tasks.back();
}

FakeTask* FakeTaskService::Find(const std::wstring& name) {
    for (auto& task : root.tasks)
        if (task->name == name) return task.get();
    return nullptr;
}

long FakeTaskService::LiveObjects() const { return g_liveObjects.load() - m_objectsBefore; }

long FakeTaskService::LiveStrings() const { return g_spy.Live() - m_stringsBefore; }

}  // namespace kivtest
