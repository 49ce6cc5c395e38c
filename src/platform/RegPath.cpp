#include "platform/RegPath.h"

#include <cwchar>

#include "platform/Handles.h"
#include "platform/Log.h"
#include "platform/Text.h"

namespace kiv {
namespace {

struct RootPrefix {
    HKEY root;
    const wchar_t* prefix;
    size_t length;
};

const RootPrefix kRootPrefixes[] = {
    {HKEY_LOCAL_MACHINE, L"HKLM\\", 5},
    {HKEY_CLASSES_ROOT, L"HKCR\\", 5},
    {HKEY_CURRENT_CONFIG, L"HKCC\\", 5},
    {HKEY_CURRENT_USER, L"HKCU\\", 5},
    {HKEY_USERS, L"HKU\\", 4},
    {HKEY_PERFORMANCE_DATA, L"HKPD\\", 5},
    {HKEY_PERFORMANCE_TEXT, L"HKPT\\", 5},
    {HKEY_PERFORMANCE_NLSTEXT, L"HKPN\\", 5},
    {HKEY_DYN_DATA, L"HKDD\\", 5},
};

const RootPrefix* FindRootPrefix(const std::wstring& path) {
    for (const RootPrefix& row : kRootPrefixes)
        if (PrefixCompare(path.c_str(), row.prefix, row.length) == 0) return &row;
    return nullptr;
}

}  // namespace

int SplitRootPrefix(std::wstring& path, HKEY& root) {
    root = HKEY_LOCAL_MACHINE;
    const RootPrefix* row = FindRootPrefix(path);
    if (!row) return 0;
    path.erase(0, row->length);
    root = row->root;
    return 1;
}

std::wstring GetFullHKEY(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) return L"HKEY_LOCAL_MACHINE\\";
    if (root == HKEY_CLASSES_ROOT) return L"HKEY_CLASSES_ROOT\\";
    if (root == HKEY_CURRENT_CONFIG) return L"HKEY_CURRENT_CONFIG\\";
    if (root == HKEY_CURRENT_USER) return L"HKEY_CURRENT_USER\\";
    if (root == HKEY_USERS) return L"HKEY_USERS\\";
    LogLineLevel(2, "GetFullHKEY: The Others {RC}\n");
    if (root == HKEY_PERFORMANCE_DATA) return L"HKEY_PERFORMANCE_DATA\\";
    if (root == HKEY_PERFORMANCE_TEXT) return L"HKEY_PERFORMANCE_TEXT\\";
    if (root == HKEY_PERFORMANCE_NLSTEXT) return L"HKEY_PERFORMANCE_NLSTEXT\\";
    if (root == HKEY_DYN_DATA) return L"HKEY_DYN_DATA\\";
    return std::wstring();
}

bool TwinPath(const std::wstring& path, std::wstring& twin) {
    const RootPrefix* row = FindRootPrefix(path);
    if (!row) return false;
    std::wstring rest = path.substr(row->length);
    rest = AsciiLowerText(rest);
    // A path that already names the 32-bit view has no twin of its own.
    if (rest.find(L"\\wow6432node") != std::wstring::npos) return false;
    if (rest.find(L"wow6432node\\") != std::wstring::npos) return false;
    if (row->root == HKEY_LOCAL_MACHINE) {
        if (rest.find(L"software") != 0) return false;
        twin = path;
        twin.insert(13, L"\\Wow6432Node");
        return true;
    }
    if (row->root == HKEY_CLASSES_ROOT) {
        twin = path;
        twin.insert(5, L"Wow6432Node\\");
        return true;
    }
    return false;
}

namespace {

// Deletes the key a handle is open on (the handle needs DELETE): the native call
// the registry functions use themselves, which takes the handle rather than a name.
void DeleteOpenKey(HKEY key) {
    using NtDeleteKeyCall = LONG(WINAPI*)(HANDLE key);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const FARPROC proc = ntdll ? GetProcAddress(ntdll, "NtDeleteKey") : nullptr;
    if (proc) reinterpret_cast<NtDeleteKeyCall>(reinterpret_cast<void*>(proc))(key);
}

}  // namespace

bool IsKeyEmpty(HKEY root, const std::wstring& keyPath) {
    UniqueHKey key;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return false;
    DWORD subkeys = 0, values = 0;
    return RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

void RemoveKeyIfEmpty(HKEY root, const std::wstring& keyPath, unsigned char wow64) {
    const REGSAM view = wow64 ? KEY_WOW64_32KEY : 0;
    // The key is looked at and deleted through one handle, the look as late as it
    // can be: a value or subkey written before it keeps the key, a key that cannot
    // be read is never taken for empty, and a key made anew under the same name is
    // never the one deleted. The registry has no call that deletes a key only while
    // it is empty, so a write in the instant between the look and the delete is the
    // one thing this cannot keep.
    UniqueHKey key;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_QUERY_VALUE | DELETE | view, key.Put()) != ERROR_SUCCESS) return;
    DWORD subkeys = 0, values = 0;
    if (RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS ||
        subkeys != 0 || values != 0)
        return;
    DeleteOpenKey(key.Get());
}

}  // namespace kiv
