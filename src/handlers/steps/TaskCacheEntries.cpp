// The header of the interfaces declares a class named like the handler type
// "TaskScheduler"; it is renamed here, since only the interfaces are used.
#include <windows.h>
#include <objbase.h>
#define TaskScheduler TaskSchedulerCoclass
#include <taskschd.h>
#undef TaskScheduler

#include "handlers/steps/TaskCacheEntries.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "core/Records.h"
#include "handlers/TaskSchedulerClasses.h"
#include "handlers/steps/RegistryTree.h"
#include "handlers/steps/RegistryValues.h"
#include "iteminfo/CommandLine.h"
#include "platform/FileSystem.h"
#include "platform/Handles.h"
#include "platform/Log.h"
#include "platform/Navigation.h"
#include "platform/Text.h"

namespace kiv {
namespace {

const wchar_t kTasks[] = L"Tasks";
const wchar_t kTree[] = L"Tree";
const wchar_t* const kTriggerIndexes[] = {L"Plain", L"Logon", L"Boot"};
const wchar_t kPathValue[] = L"Path";
const wchar_t kActionsValue[] = L"Actions";

const WORD kActionsVersion = 3;
const WORD kExecAction = 0x6666;
// A cache value larger than this is no task definition the scheduler wrote.
const DWORD kMaxActionsBytes = 64 * 1024;

// ---- the binary "Actions" value ----

class ActionsReader {
public:
    ActionsReader(const BYTE* data, size_t size) : m_data(data), m_size(size) {}
    bool Word(WORD& value) { return Fixed(&value, sizeof(value)); }
    bool Text(std::wstring& text) {
        DWORD bytes = 0;
        if (!Fixed(&bytes, sizeof(bytes)) || bytes % sizeof(wchar_t) != 0 || bytes > m_size - m_at) return false;
        text.assign(bytes / sizeof(wchar_t), L'\0');
        if (bytes) std::memcpy(&text[0], m_data + m_at, bytes);
        m_at += bytes;
        return true;
    }

private:
    bool Fixed(void* value, size_t bytes) {
        if (bytes > m_size - m_at) return false;
        std::memcpy(value, m_data + m_at, bytes);
        m_at += bytes;
        return true;
    }
    const BYTE* m_data;
    size_t m_size;
    size_t m_at = 0;
};

// ---- the scheduler's own view ----

// Task paths compare without regard to case, as the scheduler names them.
using TaskPaths = std::set<std::wstring>;
void AddPath(TaskPaths& paths, const std::wstring& path) { paths.insert(AsciiLowerText(path)); }
bool HasPath(const TaskPaths& paths, const std::wstring& path) { return paths.count(AsciiLowerText(path)) != 0; }

std::wstring BstrText(const UniqueBstr& text) {
    return text ? std::wstring(text.Get(), SysStringLen(text.Get())) : std::wstring();
}

VARIANT Index(LONG index) {
    VARIANT v;  // a number: nothing to free
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = index;
    return v;
}

// Every task of the folder and of the folders below it, hidden ones included. A
// subfolder that cannot be read is passed over; its tasks then count as hidden,
// which lists more, never less.
void AddFolderTasks(ITaskFolder* folder, TaskPaths& paths, int depth) {
    ComPtr<IRegisteredTaskCollection> tasks;
    LONG count = 0;
    if (SUCCEEDED(folder->GetTasks(TASK_ENUM_HIDDEN, tasks.Put())) && SUCCEEDED(tasks->get_Count(&count))) {
        for (LONG i = 1; i <= count; ++i) {
            ComPtr<IRegisteredTask> task;
            UniqueBstr path;
            if (SUCCEEDED(tasks->get_Item(Index(i), task.Put())) && SUCCEEDED(task->get_Path(path.Put())))
                AddPath(paths, BstrText(path));
        }
    }
    const int kMaxDepth = 32;  // a folder tree cannot be deeper than a registry path
    ComPtr<ITaskFolderCollection> folders;
    if (depth >= kMaxDepth || FAILED(folder->GetFolders(0, folders.Put())) || FAILED(folders->get_Count(&count)))
        return;
    for (LONG i = 1; i <= count; ++i) {
        ComPtr<ITaskFolder> child;
        if (SUCCEEDED(folders->get_Item(Index(i), child.Put()))) AddFolderTasks(child.Get(), paths, depth + 1);
    }
}

// The paths of every task the scheduler returns. Without its answer nothing can be
// told hidden, so the caller lists nothing.
Status ScheduledTaskPaths(TaskPaths& paths) {
    ComPtr<ITaskService> service;
    HRESULT hr = NewTaskService(service.Put());
    if (SUCCEEDED(hr)) {
        VARIANT empty;
        VariantInit(&empty);  // four empty arguments: this machine, this user
        hr = service->Connect(empty, empty, empty, empty);
    }
    ComPtr<ITaskFolder> root;
    UniqueBstr rootPath(SysAllocString(L"\\"));
    if (SUCCEEDED(hr)) hr = rootPath ? service->GetFolder(rootPath.Get(), root.Put()) : E_OUTOFMEMORY;
    if (FAILED(hr)) return Status::FromHresult(hr);
    AddFolderTasks(root.Get(), paths, 0);
    return Status::Ok();
}

// ---- the cache ----

std::wstring Join(const std::wstring& a, const std::wstring& b) { return a + L"\\" + b; }

bool ReadText(HKEY key, const wchar_t* name, std::wstring& text) {
    RegValueData value;
    if (ReadRegValue(key, name, value) != ValueRead::Ok || !value.IsString()) return false;
    text = value.Text();
    return true;
}

bool ReadBinary(HKEY key, const wchar_t* name, std::vector<BYTE>& data) {
    DWORD type = REG_NONE, bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS || type != REG_BINARY ||
        bytes > kMaxActionsBytes)
        return false;
    data.assign(bytes, 0);
    return RegQueryValueExW(key, name, nullptr, &type, data.data(), &bytes) == ERROR_SUCCESS && type == REG_BINARY &&
           bytes <= data.size() && (data.resize(bytes), true);
}

// Lists the definitions below one "Tasks" key (the cache's or the removed store's).
void CollectDefinitions(Location* location, const std::wstring& tasksPath, const TaskPaths* scheduled,
                        unsigned enabledPass) {
    UniqueHKey tasks;
    if (!OpenKeyToRead(location->m_root, tasksPath, tasks)) return;
    EnumRegSubkeys(tasks.Get(), [&](const std::wstring& id) {
        UniqueHKey definition;
        std::wstring path, command;
        std::vector<BYTE> actions;
        if (!OpenKeyToRead(tasks.Get(), id, definition) || !ReadText(definition.Get(), kPathValue, path) ||
            !IsSafeTaskPath(path) || (scheduled && HasPath(*scheduled, path)))
            return;
        if (!ReadBinary(definition.Get(), kActionsValue, actions) ||
            !ReadFirstCommand(actions.data(), actions.size(), command)) {
            LogLine(
                L"KIV\t\t\t The actions of cached task %ls have a layout that is not read; the task is not listed\n",
                path.c_str());
            return;
        }
        std::wstring file = command;
        if (!ResolveEntry(file, 0)) return;
        auto* item = new CKivItem(path, file, location, GotoKind::RegistryKey, 0, enabledPass, enabledPass ? 0 : 1);
        item->m_regNames.push_back(id);
        item->m_regNames.push_back(path);
    });
}

// One move of a subkey between the cache and the removed store, so that a failed
// removal or restore can take back the moves made before it.
struct KeyMove {
    std::wstring fromParent, toParent, name;
};

Status CreateKeyPath(HKEY root, const std::wstring& path) {
    UniqueHKey key;
    return Status::FromRegistry(
        RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, kKeyChangeRights, nullptr, key.Put(), nullptr));
}

Status MoveKey(HKEY root, const KeyMove& move) {
    UniqueHKey from, to;
    Status step = OpenKeyToChange(root, move.fromParent, from);
    if (step) step = CreateKeyPath(root, move.toParent);
    if (step) step = OpenKeyToChange(root, move.toParent, to);
    if (step) step = MoveRegSubkey(from.Get(), to.Get(), move.name);
    return step;
}

bool KeyPresent(HKEY root, const std::wstring& path) {
    UniqueHKey key;
    return static_cast<bool>(OpenKeyToRead(root, path, key));
}

// The folder part and the name of a task path "\a\b\name": "a\b" and "name".
void SplitTaskPath(const std::wstring& path, std::wstring& folder, std::wstring& name) {
    const size_t slash = path.find_last_of(L'\\');
    folder = slash > 0 ? path.substr(1, slash - 1) : std::wstring();
    name = path.substr(slash + 1);
}

std::wstring Under(const std::wstring& base, const std::wstring& folder) {
    return folder.empty() ? base : Join(base, folder);
}

// The moves of one task between the cache (base) and the store (base\_removedByKiv).
std::vector<KeyMove> TaskMoves(HKEY root, const std::wstring& base, const std::wstring& id, const std::wstring& path,
                               bool toStore) {
    const std::wstring store = Join(base, kRemovedMarker);
    const std::wstring& from = toStore ? base : store;
    const std::wstring& to = toStore ? store : base;
    std::vector<KeyMove> moves{{Join(from, kTasks), Join(to, kTasks), id}};
    for (const wchar_t* index : kTriggerIndexes)
        if (KeyPresent(root, Join(Join(from, index), id))) moves.push_back({Join(from, index), Join(to, index), id});
    std::wstring folder, name;
    SplitTaskPath(path, folder, name);
    if (KeyPresent(root, Join(Under(Join(from, kTree), folder), name)))
        moves.push_back({Under(Join(from, kTree), folder), Under(Join(to, kTree), folder), name});
    return moves;
}

Status CreateFolders(const std::wstring& path) {
    for (size_t at = path.find(L'\\', 3);; at = path.find(L'\\', at + 1)) {
        const std::wstring part = path.substr(0, at);
        if (!IsFolder(part) && !CreateDirectoryW(part.c_str(), nullptr)) return Status::FromLastError();
        if (at == std::wstring::npos) return Status::Ok();
    }
}

// Moves the definition file, when there is one; a file already at the target is
// never written over.
Status MoveTaskFile(const std::wstring& fromBase, const std::wstring& toBase, const std::wstring& path, bool& moved) {
    moved = false;
    const std::wstring from = fromBase + path, to = toBase + path;
    if (!IsPlainFile(from)) return Status::Ok();
    std::wstring folder, name;
    SplitTaskPath(path, folder, name);
    Status step = CreateFolders(Under(toBase, folder));
    if (step && !MoveFileExW(from.c_str(), to.c_str(), 0)) step = Status::FromLastError();
    moved = static_cast<bool>(step);
    return step;
}

Status MoveTask(CKivItem* item, bool toStore) {
    if (!item || !item->m_location || item->m_regNames.size() < 2 || item->m_regNames[0].empty() ||
        !IsSafeTaskPath(item->m_regNames[1]))
        return Status::Fail(ERROR_INVALID_PARAMETER);
    const Location* location = item->m_location;
    const std::wstring& id = item->m_regNames[0];
    const std::wstring& path = item->m_regNames[1];
    const std::vector<KeyMove> moves = TaskMoves(location->m_root, location->m_path, id, path, toStore);
    Status step;
    size_t done = 0;
    for (; done < moves.size() && step; ++done)
        if (!(step = MoveKey(location->m_root, moves[done]))) break;
    bool fileMoved = false;
    if (step)
        step = MoveTaskFile(toStore ? TaskFilesFolder() : RemovedTaskFilesFolder(),
                            toStore ? RemovedTaskFilesFolder() : TaskFilesFolder(), path, fileMoved);
    if (step) return step;
    // Taken back in the reverse order, so that the task is whole where it was.
    while (done-- > 0) {
        const KeyMove& move = moves[done];
        MoveKey(location->m_root, {move.toParent, move.fromParent, move.name});
    }
    return step;
}

}  // namespace

bool ReadFirstCommand(const BYTE* data, size_t size, std::wstring& command) {
    command.clear();
    if (!data) return false;
    ActionsReader reader(data, size);
    WORD version = 0, kind = 0;
    std::wstring context, id, program, arguments, folder;
    if (!reader.Word(version) || version != kActionsVersion || !reader.Text(context) || !reader.Word(kind) ||
        kind != kExecAction || !reader.Text(id) || !reader.Text(program) || !reader.Text(arguments) ||
        !reader.Text(folder) || program.empty() ||
        program.find_first_of(std::wstring(L"\"\0", 2)) != std::wstring::npos ||
        arguments.find(L'\0') != std::wstring::npos)
        return false;
    command = L"\"" + program + L"\"";
    if (!arguments.empty()) command += L" " + arguments;
    return true;
}

bool IsSafeTaskPath(const std::wstring& path) {
    if (path.size() < 2 || path[0] != L'\\') return false;
    size_t start = 1;
    for (;;) {
        const size_t end = path.find(L'\\', start);
        const std::wstring part = path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (part.empty() || part == L"." || part == L".." || part.find_first_of(L"/:") != std::wstring::npos ||
            part.find(L'\0') != std::wstring::npos)
            return false;
        if (end == std::wstring::npos) return true;
        start = end + 1;
    }
}

std::wstring TaskFilesFolder() {
    wchar_t system[MAX_PATH] = {};
    const UINT chars = GetSystemDirectoryW(system, MAX_PATH);
    return chars && chars < MAX_PATH ? Join(system, kTasks) : std::wstring();
}

std::wstring RemovedTaskFilesFolder() {
    const std::wstring live = TaskFilesFolder();
    return live.empty() ? live : live + kRemovedMarker;
}

void CollectHiddenTasks(Location* location, unsigned enabledPass, unsigned char wow64) {
    if (!location || wow64) return;
    if (!enabledPass) {
        CollectDefinitions(location, Join(Join(location->m_path, kRemovedMarker), kTasks), nullptr, 0);
        return;
    }
    TaskPaths scheduled;
    const Status asked = ScheduledTaskPaths(scheduled);
    if (!asked) {
        LogLine(L"KIV\t\t\t The scheduler cannot list its tasks (error 0x%08lx); no cached task is told hidden\n",
                static_cast<unsigned long>(asked.Code()));
        return;
    }
    CollectDefinitions(location, Join(location->m_path, kTasks), &scheduled, 1);
}

Status RemoveHiddenTask(CKivItem* item) {
    if (item && item->m_removed) return Status::Fail(ERROR_FILE_NOT_FOUND);
    const Status step = MoveTask(item, true);
    if (step) item->m_removed = 1;
    return step;
}

Status RestoreHiddenTask(CKivItem* item) { return MoveTask(item, false); }

int GoToHiddenTask(CKivItem* item) {
    if (!item || !item->m_location || item->m_regNames.empty()) return 0;
    const Location* location = item->m_location;
    const std::wstring base = item->m_removed ? Join(location->m_path, kRemovedMarker) : location->m_path;
    return NavigateRegEdit(location->m_root, Join(Join(base, kTasks), item->m_regNames[0]).c_str(), nullptr);
}

}  // namespace kiv
