#include "iteminfo/ServerFile.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwchar>

#include "iteminfo/Wow64Redirection.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Handles.h"
#include "platform/Text.h"

namespace kiv {
namespace {

const size_t npos = std::wstring::npos;
const wchar_t kAppPathsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const DWORD kAppPathDataBytes = 260;

// The file test as the server's loader sees the path: a 32-bit process is shown the
// 32-bit system folder, and the 32-bit program-files folder where it holds the file
// (the path found stays in the text).
bool IsServerFile(std::wstring& text, unsigned char wow64) {
    return wow64 ? Find32BitFile(text, &IsPlainFile) : IsPlainFile(text);
}

bool FindFileInFolders(std::wstring& text, const std::wstring& name, const std::vector<std::wstring>& folders,
                       unsigned char wow64) {
    for (const std::wstring& folder : folders) {
        std::wstring candidate = folder + L"\\" + name;
        if (IsServerFile(candidate, wow64)) {
            text = candidate;
            return true;
        }
    }
    return false;
}

// Expansion for server texts: environment strings, an enclosing pair of quotes
// dropped, then the long form (kept as it is when the conversion fails).
void ExpandQuoted(std::wstring& text) {
    text = ExpandPlain(text);
    StripQuotes(text);
    DWORD needed = GetLongPathNameW(text.c_str(), nullptr, 0);
    if (needed == 0) return;
    std::vector<wchar_t> buffer(needed, L'\0');
    DWORD length = GetLongPathNameW(text.c_str(), buffer.data(), needed);
    if (length > 0 && length < needed) text.assign(buffer.data(), length);
}

// Arguments behind the file: the text before a space (after the last backslash),
// from the last such space to the first.
bool FindHeadBeforeSpace(std::wstring& text, const std::vector<std::wstring>& folders, unsigned char wow64) {
    if (text.size() < 2) return false;
    size_t backslash = text.rfind(L'\\');
    size_t base = backslash == npos ? 0 : backslash;
    size_t space = text.rfind(L' ', text.size() - 2);
    while (space != npos && space > base) {
        std::wstring head = text.substr(0, space);
        if (IsServerFile(head, wow64)) {
            text = head;
            return true;
        }
        if (FindFileInFolders(text, head, folders, wow64)) return true;
        space = text.rfind(L' ', space - 1);
    }
    return false;
}

bool IsBareProgramName(const std::wstring& text) {
    if (text.size() < 5 || text.size() > MAX_PATH) return false;
    if (PrefixCompare(text.c_str() + text.size() - 4, L".exe", 4) != 0) return false;
    std::wstring stripped = text;
    PathStripPathW(&stripped[0]);
    return wcscmp(stripped.c_str(), text.c_str()) == 0;
}

// The program registered for a bare name under "App Paths"; the text keeps the
// value read even when that file does not exist.
int LookUpAppPath(std::wstring& text, unsigned char wow64) {
    UniqueHKey key;
    std::wstring keyPath = kAppPathsKey + text;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return 0;
    wchar_t data[kAppPathDataBytes / sizeof(wchar_t) + 1] = {};  // one more for the terminator
    DWORD type = 0, size = kAppPathDataBytes;
    if (RegQueryValueExW(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
        size == 0 || (type != REG_SZ && type != REG_EXPAND_SZ))
        return 0;
    data[size / sizeof(wchar_t)] = L'\0';
    text = data;
    ExpandQuoted(text);
    return IsServerFile(text, wow64) ? 1 : 0;
}

}  // namespace

bool FindServerFile(std::wstring& text, const std::vector<std::wstring>& folders, unsigned char wow64) {
    if (text.empty()) return false;
    ExpandQuoted(text);
    if (IsServerFile(text, wow64)) return true;
    if (FindFileInFolders(text, std::wstring(text), folders, wow64)) return true;
    std::replace(text.begin(), text.end(), L',', L' ');
    std::replace(text.begin(), text.end(), L';', L' ');
    if (FindHeadBeforeSpace(text, folders, wow64)) return true;
    return IsBareProgramName(text) && LookUpAppPath(text, wow64) == 1;
}

}  // namespace kiv
