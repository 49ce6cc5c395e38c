#include "handlers/steps/StartupSwitch.h"

#include <shlobj.h>

#include "core/Records.h"
#include "core/UserLocations.h"
#include "handlers/steps/RegistryValues.h"
#include "platform/Text.h"

namespace kiv {
namespace {

const wchar_t kSwitchesKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\";
const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kRun32Key[] = L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";
// A user's startup folder below its profile folder, as a profile lays it out.
const wchar_t kProfileStartup[] = L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
const BYTE kSwitchOn = 2;
// The first byte (the state) padded to its 4 bytes, then the time of the change.
const DWORD kSwitchBytes = 12;

std::wstring WithoutTrailingSlash(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

bool IsShellFolder(const std::wstring& path, int csidl) {
    wchar_t folder[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, folder, csidl, FALSE) || folder[0] == L'\0') return false;
    return EqualsNoCase(WithoutTrailingSlash(path), WithoutTrailingSlash(folder));
}

StartupSwitchPlace Place(HKEY root, const wchar_t* subkey) { return {root, std::wstring(kSwitchesKey) + subkey}; }

Status OpenSwitchesToChange(const CKivItem* item, UniqueHKey& key) {
    const StartupSwitchPlace place = StartupSwitchPlaceOf(item->m_location);
    if (place.path.empty()) return Status::Fail(ERROR_FILE_NOT_FOUND);
    return Status::FromRegistry(
        RegOpenKeyExW(place.root, place.path.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.Put()));
}

// Turns the switch on where it is off; a missing switch (or key) already lets the
// entry start, and a switch that is on stays as Windows wrote it.
Status SwitchOn(const CKivItem* item, const std::wstring& name, bool& turned) {
    turned = false;
    UniqueHKey key;
    const Status opened = OpenSwitchesToChange(item, key);
    if (opened.Code() == ERROR_FILE_NOT_FOUND || opened.Code() == ERROR_PATH_NOT_FOUND) return Status::Ok();
    if (!opened) return opened;
    RegValueData value;
    const ValueRead read = ReadRegValue(key.Get(), name, value);
    if (read == ValueRead::Absent) return Status::Ok();
    if (read != ValueRead::Ok) return ReadFailure(value);
    if (!SwitchValueOff(value.type, value.data, value.size)) return Status::Ok();
    const BYTE on[kSwitchBytes] = {kSwitchOn};
    const Status written =
        Status::FromRegistry(RegSetValueExW(key.Get(), name.c_str(), 0, REG_BINARY, on, kSwitchBytes));
    turned = written.Succeeded();
    return written;
}

// Where the running user keeps the switches of another user's copy of a
// location. A folder copy is that user's startup folder where a profile keeps it,
// whether or not the running user has a startup folder of its own (a service
// account has none) to compare with.
StartupSwitchPlace RunningUsersPlaceOf(const Location* copy) {
    if (copy->m_type != Location::Folder) return StartupSwitchPlaceOf(copy->m_sameAs);
    if (!EqualsNoCase(WithoutTrailingSlash(copy->m_path), copy->m_user->Folder() + kProfileStartup)) return {};
    return Place(HKEY_CURRENT_USER, L"StartupFolder");
}

}  // namespace

StartupSwitchPlace StartupSwitchPlaceOf(const Location* location) {
    if (!location) return {};
    // Another user's copy keeps its switches in that user's hive, as the running
    // user's location does in HKEY_CURRENT_USER.
    if (location->m_user) {
        const StartupSwitchPlace own = RunningUsersPlaceOf(location);
        const std::wstring mount = location->m_user->Mount();
        if (own.root != HKEY_CURRENT_USER || mount.empty()) return {};
        return {HKEY_USERS, mount + L"\\" + own.path};
    }
    if (location->m_type == Location::Folder) {
        if (IsShellFolder(location->m_path, CSIDL_STARTUP)) return Place(HKEY_CURRENT_USER, L"StartupFolder");
        if (IsShellFolder(location->m_path, CSIDL_COMMON_STARTUP)) return Place(HKEY_LOCAL_MACHINE, L"StartupFolder");
        return {};
    }
    if (location->m_type != Location::RegistryKey || !location->m_value.empty()) return {};
    if (location->m_root != HKEY_LOCAL_MACHINE && location->m_root != HKEY_CURRENT_USER) return {};
    if (EqualsNoCase(location->m_path, kRunKey)) return Place(location->m_root, L"Run");
    if (EqualsNoCase(location->m_path, kRun32Key)) return Place(location->m_root, L"Run32");
    return {};
}

StartupSwitches::StartupSwitches(const Location* location) {
    const StartupSwitchPlace place = StartupSwitchPlaceOf(location);
    if (!place.path.empty()) RegOpenKeyExW(place.root, place.path.c_str(), 0, KEY_QUERY_VALUE, m_key.Put());
}

bool StartupSwitches::Off(const std::wstring& name) const {
    if (!m_key) return false;
    RegValueData value;
    return ReadRegValue(m_key.Get(), name, value) == ValueRead::Ok &&
           SwitchValueOff(value.type, value.data, value.size);
}

bool SwitchValueOff(DWORD type, const BYTE* data, DWORD size) {
    return type == REG_BINARY && size >= 1 && data && (data[0] & 1) != 0;
}

Status EnableSwitchedEntry(CKivItem* item, const std::wstring& name, Status (*moveBack)(CKivItem* item)) {
    if (!item) return Status::Fail(ERROR_INVALID_PARAMETER);
    bool turned = false;
    const Status switched = SwitchOn(item, name, turned);
    if (!switched) return switched;
    const bool wasOff = turned || item->m_startupSwitchOff;
    item->m_startupSwitchOff = 0;
    // An entry in its place whose switch was on has nothing to enable: moveBack
    // refuses it as before, so it is never moved one level further.
    return item->m_enabled && wasOff ? Status::Ok() : moveBack(item);
}

}  // namespace kiv
