#include "handlers/steps/RecoveryCommands.h"

#include <utility>
#include <vector>

#include "core/Records.h"
#include "handlers/steps/RegistryValues.h"
#include "handlers/steps/ServiceEntries.h"
#include "iteminfo/CommandLine.h"
#include "platform/CollectionProbes.h"
#include "platform/Handles.h"
#include "platform/Navigation.h"
#include "platform/RegPath.h"
#include "platform/ServiceHandles.h"

namespace kiv {

const wchar_t kFailureCommandValue[] = L"FailureCommand";

namespace {

std::wstring ServiceKeyPath(const Location* location, const std::wstring& service) {
    return location->m_path + L"\\" + service;
}

// A command line may be longer than the registry handlers' fixed buffers, so its
// value is read at its own size. Absent and empty are the same: no command.
Status ReadCommandValue(HKEY key, std::wstring& command) {
    command.clear();
    const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    DWORD bytes = 0;
    LONG rc = RegGetValueW(key, nullptr, kFailureCommandValue, flags, nullptr, nullptr, &bytes);
    if (rc == ERROR_FILE_NOT_FOUND) return Status::Ok();
    if (rc != ERROR_SUCCESS) return Status::FromRegistry(rc);
    std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    rc = RegGetValueW(key, nullptr, kFailureCommandValue, flags, nullptr, text.data(), &bytes);
    if (rc != ERROR_SUCCESS) return Status::FromRegistry(rc);
    command = text.data();
    return Status::Ok();
}

Status WriteCommandValue(HKEY key, const std::wstring& command) {
    return Status::FromRegistry(RegSetValueExW(key, kFailureCommandValue, 0, REG_SZ,
                                               reinterpret_cast<const BYTE*>(command.c_str()),
                                               static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))));
}

Status DeleteCommandValue(HKEY key) {
    const LONG rc = RegDeleteValueW(key, kFailureCommandValue);
    return rc == ERROR_FILE_NOT_FOUND ? Status::Ok() : Status::FromRegistry(rc);
}

// The manager's own answer. Some managers keep no failure actions and refuse the
// query (Wine's answers ERROR_INVALID_LEVEL): false, and the key is read instead.
bool QueryManagerCommand(SC_HANDLE manager, const wchar_t* service, std::wstring& command) {
    UniqueService handle(OpenServiceW(manager, service, SERVICE_QUERY_CONFIG));
    if (!handle) return false;
    DWORD needed = 0;
    if (QueryServiceConfig2W(handle.Get(), SERVICE_CONFIG_FAILURE_ACTIONS, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return false;
    std::vector<SERVICE_FAILURE_ACTIONSW> answer(needed / sizeof(SERVICE_FAILURE_ACTIONSW) + 1);
    if (!QueryServiceConfig2W(handle.Get(), SERVICE_CONFIG_FAILURE_ACTIONS, reinterpret_cast<BYTE*>(answer.data()),
                              static_cast<DWORD>(answer.size() * sizeof(SERVICE_FAILURE_ACTIONSW)), &needed))
        return false;
    command = answer[0].lpCommand ? answer[0].lpCommand : L"";
    return true;
}

// The command as the manager keeps it, and where it keeps none, as the service's
// key holds it.
std::wstring LiveCommand(SC_HANDLE manager, const Location* location, const std::wstring& service) {
    std::wstring command;
    if (manager && QueryManagerCommand(manager, service.c_str(), command)) return command;
    UniqueHKey key;
    if (OpenKeyToRead(location->m_root, ServiceKeyPath(location, service), key)) ReadCommandValue(key.Get(), command);
    return command;
}

// What a collection lists as the live command. The manager writes every command it
// keeps to the service's key, so a key that holds none needs no question to the
// manager (a round trip to its process per service, the most a collection would
// spend here); a key that holds one is checked against the manager's view. A key
// that cannot be read leaves the answer to the manager.
std::wstring CollectedLiveCommand(SC_HANDLE manager, HKEY services, const Location* location,
                                  const std::wstring& service) {
    UniqueHKey key;
    std::wstring command;
    if (!services || !OpenKeyToRead(services, service, key) || !ReadCommandValue(key.Get(), command))
        return LiveCommand(manager, location, service);
    std::wstring managed;
    if (!command.empty() && manager && QueryManagerCommand(manager, service.c_str(), managed)) return managed;
    return command;
}

std::wstring KeptCommand(HKEY services, const std::wstring& service) {
    std::wstring command;
    UniqueHKey marker;
    if (services && OpenKeyToRead(services, MarkerPath(service), marker)) ReadCommandValue(marker.Get(), command);
    return command;
}

// Only the command changes: null actions and reboot message leave the manager's
// failure actions, their reset period and message as they are; an empty command
// deletes it.
Status ChangeThroughManager(const std::wstring& service, const std::wstring& command) {
    UniqueService manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return Status::FromLastError();
    UniqueService handle(OpenServiceW(manager.Get(), service.c_str(), SERVICE_CHANGE_CONFIG));
    if (!handle) return Status::FromLastError();
    SERVICE_FAILURE_ACTIONSW actions = {};
    std::wstring text = command;
    actions.lpCommand = &text[0];
    if (!ChangeServiceConfig2W(handle.Get(), SERVICE_CONFIG_FAILURE_ACTIONS, &actions)) return Status::FromLastError();
    return Status::Ok();
}

RecoveryCommandChange g_change = &ChangeThroughManager;

// The manager first; then the service's key is made to hold the same, as the
// manager itself does where it keeps failure actions and as a manager that keeps
// none needs for the command to be seen at all.
Status SetLiveCommand(HKEY serviceKey, const std::wstring& service, const std::wstring& command) {
    const Status managed = g_change(service, command);
    if (!managed) return managed;
    return command.empty() ? DeleteCommandValue(serviceKey) : WriteCommandValue(serviceKey, command);
}

void CollectService(Location* location, SC_HANDLE manager, HKEY services, const ENUM_SERVICE_STATUSW& entry,
                    unsigned enabledPass) {
    if (!entry.lpServiceName) return;
    const std::wstring service = entry.lpServiceName;
    std::wstring file =
        enabledPass ? CollectedLiveCommand(manager, services, location, service) : KeptCommand(services, service);
    if (file.empty() || !ResolveEntry(file, 0)) return;
    auto* item = new CKivItem(entry.lpDisplayName ? entry.lpDisplayName : service, file, location,
                              GotoKind::RegistryValue, 0, enabledPass, 0);
    item->m_regNames.push_back(service);
}

}  // namespace

void CollectRecoveryCommands(Location* location, unsigned enabledPass, unsigned char wow64) {
    if (wow64 || !location) return;
    // Both passes walk the same list of services: the second, right after the first
    // in the same collection, takes the list the first was given by the manager.
    struct KeptList {
        unsigned generation = 0;
        const Location* location = nullptr;
        ServiceList list;
    };
    thread_local KeptList kept;
    const unsigned generation = CollectionGeneration();
    UniqueService manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
    if (!manager) return;
    // Each service's key is opened below the location's key, opened once for the
    // whole list, instead of by its whole path from the root.
    UniqueHKey services;
    OpenKeyToRead(location->m_root, location->m_path, services);
    ServiceList list;
    if (!enabledPass && generation != 0 && kept.generation == generation && kept.location == location)
        list = std::move(kept.list);
    else list = EnumerateServices(manager.Get(), SERVICE_WIN32);
    kept = KeptList();
    for (DWORD i = 0; i < list.count; ++i)
        CollectService(location, manager.Get(), services.Get(), list.entries[i], enabledPass);
    if (enabledPass && generation != 0) {
        kept.generation = generation;
        kept.location = location;
        // Moved, not copied: the entries' strings point into the list's own buffer.
        kept.list = std::move(list);
    }
}

Status DisableRecoveryCommand(CKivItem* item) {
    if (!NamesSubkey(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const Location* location = item->m_location;
    const std::wstring& service = item->m_regNames[0];
    UniqueService manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const std::wstring command = LiveCommand(manager.Get(), location, service);
    if (command.empty()) return Status::Fail(ERROR_FILE_NOT_FOUND);
    UniqueHKey key, marker;
    Status step = OpenKeyToChange(location->m_root, ServiceKeyPath(location, service), key);
    if (step) step = CreateMarkerKey(key.Get(), marker);
    if (!step) return step;
    std::wstring kept;
    if (!(step = ReadCommandValue(marker.Get(), kept))) return step;
    if (!kept.empty() && kept != command) return Status::Fail(ERROR_ALREADY_EXISTS);
    if (!(step = WriteCommandValue(marker.Get(), command))) return step;
    step = SetLiveCommand(key.Get(), service, L"");
    if (!step && kept.empty()) {
        // The command stays live: the marker must not list it as disabled too.
        DeleteCommandValue(marker.Get());
        marker.Reset();
        RemoveKeyIfEmpty(location->m_root, MarkerPath(ServiceKeyPath(location, service)), 0);
    }
    return step;
}

Status EnableRecoveryCommand(CKivItem* item) {
    if (!NamesSubkey(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    const Location* location = item->m_location;
    const std::wstring& service = item->m_regNames[0];
    const std::wstring markerPath = MarkerPath(ServiceKeyPath(location, service));
    UniqueHKey key, marker;
    Status step = OpenKeyToChange(location->m_root, ServiceKeyPath(location, service), key);
    if (step) step = OpenKeyToChange(location->m_root, markerPath, marker);
    if (!step) return step;
    std::wstring kept;
    if (!(step = ReadCommandValue(marker.Get(), kept))) return step;
    if (kept.empty()) return Status::Fail(ERROR_FILE_NOT_FOUND);
    UniqueService manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const std::wstring live = LiveCommand(manager.Get(), location, service);
    if (!live.empty() && live != kept) return Status::Fail(ERROR_ALREADY_EXISTS);
    if (live.empty() && !(step = SetLiveCommand(key.Get(), service, kept))) return step;
    DeleteCommandValue(marker.Get());
    marker.Reset();
    RemoveKeyIfEmpty(location->m_root, markerPath, 0);
    return Status::Ok();
}

int GoToRecoveryCommand(CKivItem* item) {
    if (!NamesSubkey(item)) return 0;
    const std::wstring key = ServiceKeyPath(item->m_location, item->m_regNames[0]);
    return NavigateRegEdit(item->m_location->m_root, (item->m_enabled ? key : MarkerPath(key)).c_str(),
                           kFailureCommandValue);
}

RecoveryCommandChange SetRecoveryCommandChange(RecoveryCommandChange change) {
    return std::exchange(g_change, change ? change : &ChangeThroughManager);
}

}  // namespace kiv
