#include "handlers/ClassLookup.h"

#include "core/Records.h"
#include "core/UserLocations.h"
#include "handlers/steps/RegistryValues.h"
#include "iteminfo/ServerFile.h"
#include "kiv.h"
#include "platform/Handles.h"

#include <vector>

namespace kiv {
namespace {

// The default value of an open class key as text, with its size in bytes.
bool ReadDefaultText(HKEY key, std::wstring& text, DWORD& bytes) {
    RegValueData value;
    if (ReadRegValue(key, L"", value) != ValueRead::Ok) return false;
    text = value.Text();
    bytes = value.size;
    return true;
}

}  // namespace

bool OpenClassesKey(const Location* location, const std::wstring& path, unsigned char wow64, UniqueHKey& key) {
    const UserProfile* user = location ? location->m_user : nullptr;
    if (!user) {
        const REGSAM view = wow64 ? KEY_WOW64_32KEY : 0;
        return RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | view, key.Put()) == ERROR_SUCCESS;
    }
    // The classes root shows the running user's classes: another user's entries
    // name classes of that user's classes hive, or else of the machine's. The two
    // hives keep their 32-bit classes below Wow6432Node.
    const std::wstring below = wow64 ? L"Wow6432Node\\" + path : path;
    const std::wstring classes = user->ClassesMount();
    if (!classes.empty() &&
        RegOpenKeyExW(HKEY_USERS, (classes + L"\\" + below).c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS)
        return true;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, (L"SOFTWARE\\Classes\\" + below).c_str(), 0, KEY_READ, key.Put()) ==
           ERROR_SUCCESS;
}

bool LookupClass(const std::wstring& classId, const Location* location, std::wstring& title, std::wstring& file,
                 unsigned char wow64) {
    const std::wstring classKey = L"CLSID\\" + classId;
    DWORD bytes = 0;
    {
        UniqueHKey key;
        if (!OpenClassesKey(location, classKey, wow64, key)) return false;
        std::wstring name;
        if (ReadDefaultText(key.Get(), name, bytes)) title = name;
        else title.clear();
    }
    UniqueHKey serverKey;
    std::wstring server;
    if (!OpenClassesKey(location, classKey + L"\\InprocServer32", wow64, serverKey) ||
        !ReadDefaultText(serverKey.Get(), server, bytes) || bytes < 2)
        return false;
    if (title.empty()) title = server;
    file = server;
    static const std::vector<std::wstring> kNoFolders;
    return FindServerFile(file, location ? location->EnvPaths() : kNoFolders, wow64);
}

}  // namespace kiv
