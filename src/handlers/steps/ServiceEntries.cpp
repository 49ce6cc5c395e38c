#include "handlers/steps/ServiceEntries.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "core/Records.h"
#include "handlers/steps/RegistryValues.h"
#include "handlers/steps/ServiceLibrary.h"
#include "iteminfo/CommandLine.h"
#include "platform/CollectionProbes.h"
#include "platform/Handles.h"
#include "platform/Log.h"
#include "platform/Navigation.h"
#include "platform/RegPath.h"
#include "platform/ServiceHandles.h"
#include "platform/Text.h"

namespace kiv {
namespace {

const wchar_t kStartValue[] = L"Start";
const DWORD kStartAutomatic = SERVICE_AUTO_START;  // 2
const DWORD kStartDisabled = SERVICE_DISABLED;     // 4: every lower start type starts the service

const wchar_t kServiceHost[] = L"svchost.exe";
const wchar_t kServiceGroupsKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\SvcHost";
const DWORD kGroupNameChars = 260;
const DWORD kGroupDataBytes = 2048;

// The sizing call and the reading call are separate, and services may be added in
// between; the list is then read again from its start with the larger size.
const int kEnumAttempts = 3;

std::wstring ServiceKeyPath(const Location* location, const std::wstring& service) {
    return location->m_path + L"\\" + service;
}

Status OpenServiceKey(const CKivItem* item, REGSAM access, UniqueHKey& key) {
    const Location* location = item->m_location;
    return Status::FromRegistry(
        RegOpenKeyExW(location->m_root, ServiceKeyPath(location, item->m_regNames[0]).c_str(), 0, access, key.Put()));
}

// A start type is a 4-byte REG_DWORD; anything else stored under the name is
// unreadable, and an operation that needs it writes nothing.
ValueRead ReadStartType(HKEY key, const wchar_t* name, DWORD& start, Status* cause = nullptr) {
    RegValueData value;
    ValueRead read = ReadRegValue(key, name, value);
    if (cause) *cause = read == ValueRead::Ok ? Status::Ok() : ReadFailure(value);
    if (read != ValueRead::Ok) return read;
    if (value.type != REG_DWORD || value.size != sizeof(DWORD)) {
        if (cause) *cause = Status::Fail(ERROR_INVALID_DATA);
        return ValueRead::Unreadable;
    }
    std::memcpy(&start, value.data, sizeof(DWORD));
    return ValueRead::Ok;
}

Status WriteStartType(HKEY key, const wchar_t* name, DWORD start) {
    return Status::FromRegistry(
        RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&start), sizeof(start)));
}

// The service control manager's own change of the start type: it keeps the start
// types it read at system start, so only a change made through it takes effect
// before the next restart.
Status ChangeStartThroughManager(const std::wstring& service, DWORD start) {
    UniqueService manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return Status::FromLastError();
    UniqueService handle(OpenServiceW(manager.Get(), service.c_str(), SERVICE_CHANGE_CONFIG));
    if (!handle) return Status::FromLastError();
    if (!ChangeServiceConfigW(handle.Get(), SERVICE_NO_CHANGE, start, SERVICE_NO_CHANGE, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr))
        return Status::FromLastError();
    return Status::Ok();
}

// Sets the service's start type through the manager, which writes "Start" too.
// Where the manager refuses (a start type it does not accept for this kind of
// service, a service it does not know), the registry value is written instead and
// the change waits for the next system start.
Status ChangeStartType(HKEY key, const std::wstring& service, DWORD start) {
    const Status managed = ChangeStartThroughManager(service, start);
    // A manager that refuses the user keeps the service's own access list: the key
    // is not a way around it.
    if (managed || managed.Code() == ERROR_ACCESS_DENIED) return managed;
    LogLine(
        L"The service manager refused start type %lu for service %ls (error %lu); "
        L"the registry value is written and takes effect at the next system start",
        static_cast<unsigned long>(start), service.c_str(), static_cast<unsigned long>(managed.Code()));
    return WriteStartType(key, kStartValue, start);
}

StartTypeChange g_startTypeChange = &ChangeStartType;

Status SetStartType(HKEY key, const std::wstring& service, DWORD start) {
    return g_startTypeChange(key, service, start);
}

}  // namespace

ServiceList EnumerateServices(SC_HANDLE manager, DWORD serviceType) {
    ServiceList list;
    DWORD needed = 0, resume = 0;
    if (EnumServicesStatusW(manager, serviceType, SERVICE_STATE_ALL, nullptr, 0, &needed, &list.count, &resume) ||
        GetLastError() != ERROR_MORE_DATA)
        return ServiceList();
    for (int attempt = 0; attempt < kEnumAttempts; ++attempt) {
        // A partial answer may report only what is left, so the buffer never shrinks.
        const size_t wanted = needed / sizeof(ENUM_SERVICE_STATUSW) + 1;
        list.entries.assign(std::max(wanted, list.entries.size() * 2), ENUM_SERVICE_STATUSW());
        const DWORD bytes = static_cast<DWORD>(list.entries.size() * sizeof(ENUM_SERVICE_STATUSW));
        list.count = 0;
        resume = 0;
        if (EnumServicesStatusW(manager, serviceType, SERVICE_STATE_ALL, list.entries.data(), bytes, &needed,
                                &list.count, &resume) ||
            GetLastError() != ERROR_MORE_DATA)
            break;
    }
    // Whatever the last call returned is walked, never more entries than fit.
    list.count = static_cast<DWORD>(std::min<size_t>(list.count, list.entries.size()));
    return list;
}

namespace {

bool QueryConfig(SC_HANDLE service, std::vector<QUERY_SERVICE_CONFIGW>& config) {
    DWORD needed = 0;
    if (QueryServiceConfigW(service, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    config.assign(needed / sizeof(QUERY_SERVICE_CONFIGW) + 1, QUERY_SERVICE_CONFIGW());
    const DWORD bytes = static_cast<DWORD>(config.size() * sizeof(QUERY_SERVICE_CONFIGW));
    return QueryServiceConfigW(service, config.data(), bytes, &needed) != FALSE;
}

// Asked of the manager with the one right a listing needs.
bool QueryThroughManager(SC_HANDLE manager, const wchar_t* service, ServiceConfig& config) {
    UniqueService handle(OpenServiceW(manager, service, SERVICE_QUERY_CONFIG));
    std::vector<QUERY_SERVICE_CONFIGW> answer;
    if (!handle || !QueryConfig(handle.Get(), answer)) return false;
    config.image = answer[0].lpBinaryPathName ? answer[0].lpBinaryPathName : L"";
    config.start = answer[0].dwStartType;
    return true;
}

ServiceConfigQuery g_configQuery = &QueryThroughManager;

// What a listing needs of a service, read from its key in one pass: one open and
// three values, where the manager would take an open and two queries. The key's
// "Start" decides the pass: the manager keeps the start types it read when the
// system started, so a change made through the registry shows only there until the
// next start. The manager is asked only for what the key cannot tell (no image
// path, no readable start type), and a service whose own access list refuses the
// manager's query is still read from its key, so that no entry hides that way. A
// driver whose key names no image is loaded from the drivers folder by its
// service's name.
//
// For a service process (win32) the key's "Type" also tells whether it runs in a
// shared host; shared comes in as the manager's list tells it and is the key's
// answer where the key has one: the manager's list may show a shared service it
// runs on its own as an own process, while the configured kind stays shared.
bool ReadServiceConfig(HKEY services, SC_HANDLE manager, const wchar_t* service, bool win32, ServiceConfig& config,
                       bool& shared) {
    UniqueHKey key;
    RegValueData image, type;
    DWORD start = 0, kind = 0;
    bool hasImage = false, hasStart = false, hasKind = false, imageAbsent = false;
    if (services && RegOpenKeyExW(services, service, 0, KEY_QUERY_VALUE, key.Put()) == ERROR_SUCCESS) {
        const ValueRead imageRead = ReadRegValue(key.Get(), L"ImagePath", image);
        hasImage = imageRead == ValueRead::Ok && image.IsString();
        imageAbsent = imageRead == ValueRead::Absent;
        hasStart = ReadStartType(key.Get(), kStartValue, start) == ValueRead::Ok;
        // A driver with an image never needs its kind.
        if ((win32 || imageAbsent) && ReadRegValue(key.Get(), L"Type", type) == ValueRead::Ok &&
            type.type == REG_DWORD && type.size == sizeof(DWORD)) {
            std::memcpy(&kind, type.data, sizeof(kind));
            hasKind = true;
        }
    }
    if (win32 && hasKind) shared = (kind & SERVICE_WIN32_SHARE_PROCESS) != 0;
    const bool isDriver = imageAbsent && hasKind && (kind & SERVICE_DRIVER) != 0;
    if (hasImage) config.image = image.Text();
    if (!hasImage || !hasStart) {
        ServiceConfig managed;
        if (g_configQuery(manager, service, managed)) {
            if (!hasImage && !managed.image.empty()) {
                config.image = managed.image;
                hasImage = true;
            }
            if (!hasStart) {
                start = managed.start;
                hasStart = true;
            }
        }
    }
    if (!hasImage && isDriver) {
        config.image = L"\\SystemRoot\\System32\\drivers\\" + std::wstring(service) + L".sys";
        hasImage = true;
    }
    if (!hasImage) return false;
    if (hasStart) config.start = start;
    return true;
}

// One service as the first pass read it, for both passes.
struct ServiceRecord {
    std::wstring name;
    std::wstring display;
    ServiceConfig config;
    bool shared = false;  // runs inside a shared host process, which loads its library
};

// Both passes of a place list the same services: the first reads the manager's list
// and every service's key, the second, right after it in the same collection, takes
// what the first read instead of asking the manager and every key again.
struct ServicePassMemo {
    unsigned generation = 0;
    const Location* location = nullptr;
    DWORD serviceType = 0;
    std::vector<ServiceRecord> records;
};
thread_local ServicePassMemo t_passMemo;

std::vector<ServiceRecord> ReadServices(const Location* location, DWORD serviceType) {
    std::vector<ServiceRecord> records;
    UniqueService manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE));
    if (!manager) return records;
    // The key that holds one subkey per service is opened once for the whole list.
    UniqueHKey services;
    OpenKeyToRead(location->m_root, location->m_path, services);
    const ServiceList list = EnumerateServices(manager.Get(), serviceType);
    records.reserve(list.count);
    for (DWORD i = 0; i < list.count; ++i) {
        const ENUM_SERVICE_STATUSW& entry = list.entries[i];
        if (!entry.lpServiceName) continue;
        ServiceRecord record;
        // Drivers have no host process and so no library of their own.
        const bool win32 = (entry.ServiceStatus.dwServiceType & SERVICE_WIN32) != 0;
        record.shared = win32 && (entry.ServiceStatus.dwServiceType & SERVICE_WIN32_SHARE_PROCESS) != 0;
        if (!ReadServiceConfig(services.Get(), manager.Get(), entry.lpServiceName, win32, record.config, record.shared))
            continue;
        record.name = entry.lpServiceName;
        if (entry.lpDisplayName) record.display = entry.lpDisplayName;
        records.push_back(std::move(record));
    }
    return records;
}

bool RunsInServiceHost(const std::wstring& image) {
    const size_t slash = image.find_last_of(L"\\/");
    return EqualsNoCase(slash == std::wstring::npos ? image : image.substr(slash + 1), kServiceHost);
}

void CollectService(Location* location, const ServiceRecord& record, unsigned enabledPass) {
    // The pass is settled before the image path is resolved (probes of the disk):
    // each pass resolves only the services it lists.
    const bool enabled = record.config.start < kStartDisabled;
    if (enabled != (enabledPass != 0)) return;
    std::wstring file = record.config.image;
    if (!ResolveEntry(file, 0)) return;
    auto* item = new CKivItem(record.display, file, location, GotoKind::RegistryKey, 0, enabledPass, 0);
    item->m_regNames.push_back(record.name);
    // Only a host loads a library for the service: a service configured to share
    // one, or one whose image is the system's host program (which may also run a
    // single service on its own). Any other service is its image.
    if (record.shared || RunsInServiceHost(file)) item->m_serviceDll = ServiceLibrary(location, record.name);
}

// Each string followed by its NUL, then the NUL that ends the list; the byte count
// includes it (an emptied list is that one NUL).
bool WriteMultiString(HKEY key, const wchar_t* name, DWORD type, const std::vector<std::wstring>& strings) {
    std::wstring data;
    for (const std::wstring& text : strings) {
        data += text;
        data.push_back(L'\0');
    }
    data.push_back(L'\0');
    return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// Rewrites one group value without the service; a group that does not name it is
// not written.
void DropFromGroup(HKEY key, const wchar_t* name, DWORD type, const wchar_t* data, DWORD bytes,
                   const std::wstring& service) {
    std::vector<std::wstring> members;
    // A group with a gap in it would lose the names after the gap: left alone.
    if (!SplitMultiString(data, bytes, members) || members.empty()) return;
    std::vector<std::wstring> kept;
    for (const std::wstring& member : members)
        if (!EqualsNoCase(member, service)) kept.push_back(member);
    if (kept.size() != members.size()) WriteMultiString(key, name, type, kept);
}

// The start type an enable gives back: the saved one when it starts the service;
// otherwise (no mark, or one holding a start type that does not start it) nothing
// tells what the service had before, so it is given an automatic start.
DWORD StartTypeToGiveBack(ValueRead markRead, DWORD saved) {
    return markRead == ValueRead::Ok && saved < kStartDisabled ? saved : kStartAutomatic;
}

}  // namespace

// Takes the service name out of every shared-process group list.
void DropFromServiceGroups(const std::wstring& service) {
    UniqueHKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServiceGroupsKey, 0, KEY_READ | KEY_WRITE, key.Put()) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        wchar_t name[kGroupNameChars] = {};
        DWORD nameChars = kGroupNameChars;
        wchar_t data[kGroupDataBytes / sizeof(wchar_t)] = {};
        DWORD bytes = kGroupDataBytes;
        DWORD type = REG_NONE;
        LONG rc =
            RegEnumValueW(key.Get(), index, name, &nameChars, nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes);
        if (rc == ERROR_MORE_DATA) continue;  // a group too large for the buffer is left as it is
        if (rc != ERROR_SUCCESS) break;
        if (type == REG_MULTI_SZ) DropFromGroup(key.Get(), name, type, data, bytes, service);
    }
}

void CollectServiceItems(Location* location, unsigned enabledPass, unsigned char wow64, DWORD serviceType) {
    if (wow64 || !location) return;
    const unsigned generation = CollectionGeneration();
    std::vector<ServiceRecord> records;
    ServicePassMemo& memo = t_passMemo;
    if (!enabledPass && generation != 0 && memo.generation == generation && memo.location == location &&
        memo.serviceType == serviceType)
        records = std::move(memo.records);
    else records = ReadServices(location, serviceType);
    memo = ServicePassMemo();
    for (const ServiceRecord& record : records) CollectService(location, record, enabledPass);
    if (enabledPass && generation != 0) {
        memo.generation = generation;
        memo.location = location;
        memo.serviceType = serviceType;
        memo.records = std::move(records);
    }
}

Status DisableServiceItem(CKivItem* item) {
    if (!NamesSubkey(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    UniqueHKey key;
    Status step = OpenServiceKey(item, KEY_QUERY_VALUE | KEY_SET_VALUE, key);
    if (!step) return step;
    DWORD start = 0;
    if (ReadStartType(key.Get(), kStartValue, start, &step) != ValueRead::Ok) return step;
    // Already off: saving 4 now would replace the start type saved by the first
    // disable, and a later enable could not bring the service back.
    if (start >= kStartDisabled) return Status::Ok();
    RegValueData former;
    const ValueRead hadMark = ReadRegValue(key.Get(), kMarker, former);
    step = WriteStartType(key.Get(), kMarker, start);
    if (step) step = SetStartType(key.Get(), item->m_regNames[0], kStartDisabled);
    // A mark left behind a start type that did not change would bring back, on a
    // later enable, a start type the service no longer has.
    if (!step) {
        if (hadMark == ValueRead::Absent) DeleteRegValue(key.Get(), kMarker);
        else if (hadMark == ValueRead::Ok) WriteRegValue(key.Get(), kMarker, former);
    }
    return step;
}

Status EnableServiceItem(CKivItem* item) {
    if (!NamesSubkey(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    UniqueHKey key;
    Status step = OpenServiceKey(item, KEY_QUERY_VALUE | KEY_SET_VALUE, key);
    if (!step) return step;
    // A service that starts already is left as it is, its mark included; a start
    // value that cannot be read is never replaced.
    DWORD start = 0;
    const ValueRead current = ReadStartType(key.Get(), kStartValue, start, &step);
    if (current == ValueRead::Unreadable) return step;
    if (current == ValueRead::Ok && start < kStartDisabled) return Status::Ok();
    DWORD saved = 0;
    const ValueRead mark = ReadStartType(key.Get(), kMarker, saved, &step);
    if (mark == ValueRead::Unreadable) return step;
    step = SetStartType(key.Get(), item->m_regNames[0], StartTypeToGiveBack(mark, saved));
    if (step && mark == ValueRead::Ok) RegDeleteValueW(key.Get(), kMarker);
    return step;
}

Status DeleteServiceItem(CKivItem* item) {
    if (!NamesSubkey(item)) return Status::Fail(ERROR_INVALID_PARAMETER);
    UniqueService manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return Status::FromLastError();
    UniqueService service(OpenServiceW(manager.Get(), item->m_regNames[0].c_str(), DELETE));
    if (!service) return Status::FromLastError();
    return DeleteService(service.Get()) ? Status::Ok() : Status::FromLastError();
}

ServiceConfigQuery SetServiceConfigQuery(ServiceConfigQuery query) {
    return std::exchange(g_configQuery, query ? query : &QueryThroughManager);
}

StartTypeChange SetStartTypeChange(StartTypeChange change) {
    return std::exchange(g_startTypeChange, change ? change : &ChangeStartType);
}

int GoToServiceItem(CKivItem* item) {
    if (!NamesSubkey(item)) return 0;
    const Location* location = item->m_location;
    return NavigateRegEdit(location->m_root, ServiceKeyPath(location, item->m_regNames[0]).c_str(), nullptr);
}

}  // namespace kiv
