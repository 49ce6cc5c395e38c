// Task Scheduler 2.0 held in memory, for the scheduled task handler's tests: the
// systems the tests run on register 2.0 tasks but list none of them. It answers the
// calls the handler makes as the real service does: indexes count from 1, hidden
// tasks are listed only when asked for, a missing task or a refused call fails with
// the service's own codes, and every object counts its references.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kivtest {

// An action of a task: an executable action with its program path, or an action
// of another kind (a message, a mail).
struct FakeAction {
    bool exec = true;
    std::wstring path;
};

// A registered task. The error fields make one call on this task fail as the real
// service fails it (E_ACCESSDENIED for a task of another user, a task gone).
struct FakeTask {
    std::wstring name;
    std::vector<FakeAction> actions;
    bool enabled = true;
    bool hidden = false;
    HRESULT itemError = S_OK;        // fetching it from a task collection
    HRESULT definitionError = S_OK;  // reading its definition
    HRESULT enableError = S_OK;      // changing its enabled state
    HRESULT deleteError = S_OK;      // deleting it
    bool deleted = false;            // set when the service deleted it
};

struct FakeFolder {
    std::vector<std::shared_ptr<FakeTask>> tasks;
    std::map<std::wstring, FakeFolder> folders;  // subfolders by name
};

// The service the handler gets while an instance lives (one at a time).
class FakeTaskService {
public:
    FakeTaskService();
    ~FakeTaskService();
    FakeTaskService(const FakeTaskService&) = delete;
    FakeTaskService& operator=(const FakeTaskService&) = delete;

    // Adds a task to the root folder, or to the subfolder of that name.
    FakeTask& Add(FakeTask task, const std::wstring& folder = L"");
    // The root folder's task of exactly that name, or null.
    FakeTask* Find(const std::wstring& name);

    FakeFolder root;
    HRESULT createError = S_OK;   // what obtaining the service answers
    HRESULT connectError = S_OK;  // what connecting answers
    int created = 0;              // services handed out

    // Objects of the fake alive now, and task-allocator blocks (the strings of both
    // sides) allocated since this instance was made and not freed.
    long LiveObjects() const;
    long LiveStrings() const;

private:
    long m_objectsBefore = 0;
    long m_stringsBefore = 0;
};

}  // namespace kivtest
