#include "platform/UserHives.h"

#include <sddl.h>

#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Handles.h"
#include "platform/Log.h"
#include "platform/Privileges.h"
#include "platform/Text.h"

namespace kiv {
namespace {

// Memory the system allocated with LocalAlloc for the caller (a SID converted from text).
struct LocalMemoryTraits {
    static HLOCAL Invalid() noexcept { return nullptr; }
    static void Close(HLOCAL memory) noexcept { LocalFree(memory); }
};
using UniqueLocal = UniqueResource<HLOCAL, LocalMemoryTraits>;

const wchar_t kProfileList[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// Local System, Local Service and Network Service: their hives are always loaded,
// but no one logs on to a desktop as them.
bool IsServiceAccount(const std::wstring& sid) {
    return EqualsNoCase(sid, L"S-1-5-18") || EqualsNoCase(sid, L"S-1-5-19") || EqualsNoCase(sid, L"S-1-5-20");
}

bool IsSidText(const std::wstring& text) {
    UniqueLocal sid;
    return ConvertStringSidToSidW(text.c_str(), reinterpret_cast<PSID*>(sid.Put())) != FALSE;
}

std::wstring ProfileFolder(HKEY list, const std::wstring& sid) {
    UniqueHKey profile;
    if (RegOpenKeyExW(list, sid.c_str(), 0, KEY_READ, profile.Put()) != ERROR_SUCCESS) return {};
    wchar_t text[MAX_PATH] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(profile.Get(), L"ProfileImagePath", nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    std::wstring folder = ExpandPlain(text);
    ToLongPath(folder);
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder;
}

}  // namespace

std::wstring RunningUserSid() {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return {};
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    DWORD size = 0;
    if (!GetTokenInformation(token.Get(), TokenUser, buffer, sizeof(buffer), &size)) return {};
    UniqueLocal text;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, reinterpret_cast<LPWSTR*>(text.Put())))
        return {};
    return static_cast<const wchar_t*>(text.Get());
}

std::vector<MachineProfile> OtherUserProfiles() {
    std::vector<MachineProfile> profiles;
    UniqueHKey list;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProfileList, 0, KEY_READ, list.Put()) != ERROR_SUCCESS) return profiles;
    const std::wstring running = RunningUserSid();
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        const LONG r = RegEnumKeyExW(list.Get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_MORE_DATA) continue;
        if (r != ERROR_SUCCESS) break;
        const std::wstring sid(name, length);
        if (EqualsNoCase(sid, running) || IsServiceAccount(sid) || !IsSidText(sid)) continue;
        std::wstring folder = ProfileFolder(list.Get(), sid);
        if (!folder.empty()) profiles.push_back({sid, folder});
    }
    return profiles;
}

std::wstring AccountNameOf(const std::wstring& sidText) {
    UniqueLocal sid;
    if (!ConvertStringSidToSidW(sidText.c_str(), reinterpret_cast<PSID*>(sid.Put()))) return sidText;
    wchar_t name[256], domain[256];
    DWORD nameLength = 256, domainLength = 256;
    SID_NAME_USE use;
    if (!LookupAccountSidW(nullptr, static_cast<PSID>(sid.Get()), name, &nameLength, domain, &domainLength, &use) ||
        name[0] == L'\0')
        return sidText;
    return domain[0] ? std::wstring(domain) + L"\\" + name : std::wstring(name);
}

bool HiveLoaded(const std::wstring& name) {
    UniqueHKey key;
    return RegOpenKeyExW(HKEY_USERS, name.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

Status LoadedHive::Load(const std::wstring& name, const std::wstring& file) {
    Unload();
    ThreadPrivileges privileges({SE_BACKUP_NAME, SE_RESTORE_NAME});
    if (!privileges.Held()) return privileges.Held();
    // Another host of the module may hold the hive under this name; it is its own to unload.
    const bool named = HiveLoaded(name);
    const Status loaded = Status::FromRegistry(RegLoadKeyW(HKEY_USERS, name.c_str(), file.c_str()));
    if (loaded) {
        m_name = name;
        return loaded;
    }
    // Wine keeps the name of a hive it failed to load, which would refuse every
    // later load under it; Windows keeps nothing, and this finds nothing there.
    if (!named) RegUnLoadKeyW(HKEY_USERS, name.c_str());
    LogLine(L"KIV\t\t\t RegLoadKey %ls from %ls failed: %lu\n", name.c_str(), file.c_str(), loaded.Code());
    return loaded;
}

void LoadedHive::Unload() noexcept {
    if (m_name.empty()) return;
    // The hive goes after an action has reported its outcome: its last error stays.
    const DWORD outcome = GetLastError();
    {
        ThreadPrivileges privileges({SE_BACKUP_NAME, SE_RESTORE_NAME});
        const LONG r = RegUnLoadKeyW(HKEY_USERS, m_name.c_str());
        if (r != ERROR_SUCCESS) LogLine(L"KIV\t\t\t RegUnLoadKey %ls failed: %ld\n", m_name.c_str(), r);
        // A hive another process still has a key of open (a registry editor sent
        // there) stays loaded: it stays this owner's, read as it is and unloaded
        // by a later call, never forgotten while it keeps its user from logging on.
        if (r == ERROR_SUCCESS || !HiveLoaded(m_name)) m_name.clear();
    }
    SetLastError(outcome);
}

}  // namespace kiv
