#include "core/UserLocations.h"

#include "core/Records.h"
#include "platform/FileSystem.h"
#include "platform/Log.h"
#include "platform/RegPath.h"
#include "platform/Text.h"

namespace kiv {
namespace {

const wchar_t kClassesKey[] = L"Software\\Classes";
// Where a profile keeps the user's classes hive and, by default, its folders.
const wchar_t kClassesFile[] = L"\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat";
const wchar_t kUserFile[] = L"\\NTUSER.DAT";
const wchar_t kClassesSuffix[] = L"_Classes";
// The module's own names below HKEY_USERS: never a name Windows gives a hive.
const wchar_t kOwnPrefix[] = L"kiv_";

struct ProfileFolderVariable {
    const wchar_t* variable;
    const wchar_t* below;
};
const ProfileFolderVariable kProfileVariables[] = {
    {L"%USERPROFILE%", L""},
    {L"%APPDATA%", L"\\AppData\\Roaming"},
    {L"%LOCALAPPDATA%", L"\\AppData\\Local"},
};

// The rest of text after a case-blind prefix that ends there or at a backslash.
bool AfterPrefix(const std::wstring& text, const std::wstring& prefix, std::wstring& rest) {
    if (text.size() < prefix.size() || !EqualsNoCase(text.substr(0, prefix.size()), prefix)) return false;
    rest = text.substr(prefix.size());
    if (!rest.empty() && rest[0] != L'\\') return false;
    return true;
}

}  // namespace

UserProfile::UserProfile(const MachineProfile& profile)
    : m_sid(profile.sid), m_name(AccountNameOf(profile.sid)), m_folder(profile.folder) {}

DWORD UserProfile::MakeHiveReadable(const std::wstring& windowsName, const std::wstring& ownName,
                                    const std::wstring& file, LoadedHive& hive, std::wstring& mount) {
    // The user logged on since the module loaded the file: read Windows' copy.
    if (HiveLoaded(windowsName)) {
        hive.Unload();
        mount = windowsName;
        return ERROR_SUCCESS;
    }
    mount = ownName;
    if (hive.Loaded()) return ERROR_SUCCESS;
    if (!IsPlainFile(file)) return ERROR_FILE_NOT_FOUND;
    return hive.Load(ownName, file).Code();
}

void UserProfile::MakeReadable() {
    m_hiveError = MakeHiveReadable(m_sid, kOwnPrefix + m_sid, m_folder + kUserFile, m_hive, m_mount);
    m_classesError = MakeHiveReadable(m_sid + kClassesSuffix, kOwnPrefix + m_sid + kClassesSuffix,
                                      m_folder + kClassesFile, m_classes, m_classesMount);
    const DWORD classesError = ClassesAbsent() ? ERROR_SUCCESS : m_classesError;
    m_readable = true;
    if (m_hiveError != ERROR_SUCCESS)
        LogLine(L"KIV\t\t\t The registry of %ls (%ls) is not read: error %lu\n", m_name.c_str(), m_folder.c_str(),
                m_hiveError);
    for (Location* location : m_locations) {
        if (location->m_type == Location::Folder) continue;
        location->m_path = (location->m_classesHive ? m_classesMount : m_mount) + L"\\" + location->m_hivePath;
        location->m_readError = location->m_classesHive ? classesError : m_hiveError;
    }
}

bool UserProfile::Reads(const Location& location) const {
    if (location.m_type == Location::Folder) return true;
    return m_readable && location.m_readError == ERROR_SUCCESS && !(location.m_classesHive && ClassesAbsent());
}

void UserProfile::Release() {
    m_hive.Unload();
    m_classes.Unload();
    m_readable = false;
}

bool UserCopyPath(const std::wstring& cataloguePath, unsigned type, const UserProfile& user, std::wstring& path,
                  std::wstring& hivePath, bool& classes) {
    classes = false;
    if (type == Location::Folder) {
        for (const ProfileFolderVariable& known : kProfileVariables) {
            std::wstring rest;
            if (!AfterPrefix(cataloguePath, known.variable, rest)) continue;
            path = user.Folder() + known.below + rest;
            hivePath.clear();
            return true;
        }
        return false;
    }
    if (type != Location::RegistryKey && type != Location::RegistryValue) return false;
    std::wstring rest = cataloguePath;
    HKEY root = nullptr;
    if (!SplitRootPrefix(rest, root) || root != HKEY_CURRENT_USER || rest.empty()) return false;
    std::wstring belowClasses;
    if (AfterPrefix(rest, kClassesKey, belowClasses) && belowClasses.size() > 1) {
        classes = true;
        hivePath = belowClasses.substr(1);
        path = L"HKU\\" + user.Sid() + kClassesSuffix + L"\\" + hivePath;
        return true;
    }
    hivePath = rest;
    path = L"HKU\\" + user.Sid() + L"\\" + hivePath;
    return true;
}

std::wstring InUsersFolders(const Location* location, const std::wstring& text) {
    if (!location || !location->m_user || text.find(L'%') == std::wstring::npos) return text;
    std::wstring result = text;
    for (const ProfileFolderVariable& known : kProfileVariables) {
        const std::wstring variable = AsciiLowerText(known.variable);
        const std::wstring folder = location->m_user->Folder() + known.below;
        for (size_t at = AsciiLowerText(result).find(variable); at != std::wstring::npos;
             at = AsciiLowerText(result).find(variable, at + folder.size()))
            result.replace(at, variable.size(), folder);
    }
    return result;
}

ActionHives::ActionHives(const Location* location, bool keep) {
    m_user = location ? location->m_user : nullptr;
    if (!m_user) return;
    // Only the registry editor needs the hive after the call; Explorer shows a
    // folder without it, and a hive kept for nothing keeps its user from logging on.
    const bool keepForEditor = keep && location->m_type != Location::Folder;
    m_release = !m_user->Readable() && !keepForEditor;
    if (!m_user->Readable()) m_user->MakeReadable();
    // A folder's entries are changed in the folder whatever became of the hive.
    if (!m_user->Reads(*location))
        m_ready = Status::Fail(location->m_readError != ERROR_SUCCESS ? location->m_readError : ERROR_FILE_NOT_FOUND);
}

ActionHives::~ActionHives() {
    if (m_release) m_user->Release();
}

}  // namespace kiv
