#include "iteminfo/PathNormalize.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <exception>
#include <map>

#include "iteminfo/CollectionProbes.h"
#include "iteminfo/TokenSplit.h"
#include "platform/Handles.h"
#include "platform/RegPath.h"

namespace kiv {
namespace {

const size_t npos = std::wstring::npos;

// The system and user folders searched before the "PATH" entries, in this order.
const wchar_t* const kFolderVariables[] = {
    L"%WINDIR%",          L"%SYSTEMROOT%",   L"%WINDIR%\\System32\\drivers", L"%TEMP%",
    L"%APPDATA%",         L"%LOCALAPPDATA%", L"%USERPROFILE%",               L"%ALLUSERSPROFILE%",
    L"%COMMONPROGRAMFILES(x86)%", L"%COMMONPROGRAMFILES%", L"%PROGRAMFILES(x86)%", L"%PROGRAMFILES%",
    L"%PROGRAMDATA%",     L"%PUBLIC%",
};

// Below the 32-bit system folder these stay shared between 32-bit and 64-bit programs.
const wchar_t* const kSharedSystemFolders[] = {L"catroot\\", L"catroot2\\", L"drivers\\etc\\", L"logfiles\\",
                                               L"spool\\"};

const wchar_t kGlobalRootPrefix[] = L"\\\\?\\globalroot\\systemroot";  // 25 characters
const wchar_t kAppPathsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const DWORD kAppPathDataBytes = 260;

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
    return PrefixCompare(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

std::wstring AsciiLowerCopy(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

std::wstring FolderEntry(const std::wstring& variable) {
    std::wstring folder = variable;
    ExpandPath(folder);
    if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    return folder;
}

struct EnvironmentFolderTable {
    std::vector<std::wstring> folders;
    std::vector<std::wstring> suffixes;
};

EnvironmentFolderTable BuildTable() {
    EnvironmentFolderTable table;
    try {
        SplitTokens(L".exe .dll .sys .drv .bin", L" ", table.suffixes);
        table.folders = BuildEnvironmentFolders();
    } catch (const std::exception&) {
        // Out of memory while the module loads: search no folders rather than fail the load.
    }
    return table;
}

const EnvironmentFolderTable& Table() {
    static const EnvironmentFolderTable table = BuildTable();
    return table;
}

// Built during the module's static initialisation, before the host can call; the
// function-local static above keeps it safe for any earlier user as well.
[[maybe_unused]] const EnvironmentFolderTable& g_tableAtLoad = Table();

// ---- 32-bit redirection ----

struct RedirectionMap {
    std::map<std::wstring, std::wstring> folders;  // lower-case prefix -> 32-bit folder
    std::wstring systemKey;                        // the system-folder prefix, empty when unknown
};

bool SpecialFolder(int csidl, std::wstring& folder) {
    wchar_t buffer[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE) || buffer[0] == L'\0') return false;
    folder = buffer;
    return true;
}

// A folder query that fails leaves its entry out, so nothing is rewritten into a
// folder that is not known.
void AddSpecialFolder(RedirectionMap& map, int csidl64, int csidl32) {
    std::wstring folder64, folder32;
    if (SpecialFolder(csidl64, folder64) && SpecialFolder(csidl32, folder32))
        map.folders[AsciiLowerCopy(folder64) + L"\\"] = folder32;
}

RedirectionMap BuildRedirectionMap() {
    RedirectionMap map;
    std::wstring systemRoot = ExpandPlain(L"%SystemRoot%");
    wchar_t wow64Folder[MAX_PATH] = {};
    UINT length = GetSystemWow64DirectoryW(wow64Folder, MAX_PATH);
    if (!systemRoot.empty() && length > 0 && length < MAX_PATH) {
        map.systemKey = AsciiLowerCopy(systemRoot) + L"\\system32\\";
        map.folders[map.systemKey] = wow64Folder;
    }
    AddSpecialFolder(map, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86);
    AddSpecialFolder(map, CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86);
    return map;
}

// The folders do not move while a collection runs, so one table serves all of its
// probes; outside a collection the table is built afresh for each use.
const RedirectionMap& CurrentRedirectionMap() {
    thread_local RedirectionMap kept;
    thread_local unsigned keptFor = 0;
    const unsigned generation = CollectionGeneration();
    if (generation == 0 || generation != keptFor) {
        kept = BuildRedirectionMap();
        keptFor = generation;
    }
    return kept;
}

bool IsSharedSystemPath(const std::wstring& text, const std::wstring& systemKey) {
    for (const wchar_t* shared : kSharedSystemFolders)
        if (StartsWithNoCase(text, systemKey + shared)) return true;
    return false;
}

// ---- Normalisation steps ----

void CutAtNul(std::wstring& text) {
    size_t nul = text.find(L'\0');
    if (nul != npos) text.resize(nul);
}

void StripLeadingSpaces(std::wstring& text) {
    size_t first = text.find_first_not_of(L' ');
    if (first != npos) text.erase(0, first);  // a text of spaces only is left as it is
}

// Every run of backslashes becomes one, except the leading pair of a share or
// device path (\\server\share, \\?\C:\), which would otherwise turn into a path
// relative to the current drive.
void CollapseBackslashes(std::wstring& text) {
    std::wstring collapsed;
    collapsed.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        bool leadingPair = i == 1 && text[0] == L'\\';
        if (text[i] == L'\\' && !collapsed.empty() && collapsed.back() == L'\\' && !leadingPair) continue;
        collapsed.push_back(text[i]);
    }
    text.swap(collapsed);
}

// Device and relative forms of the system folder that drivers and services use.
void RewriteSystemPrefixes(std::wstring& text) {
    if (StartsWithNoCase(text, L"\\systemroot\\"))
        text.replace(0, 11, L"%SystemRoot%");
    else if (StartsWithNoCase(text, L"system32\\"))
        text.replace(0, 8, L"%windir%\\System32");
    else if (text[0] == L'@')
        text.erase(0, 1);
    else if (text.compare(0, 4, L"\\??\\") == 0)
        text.erase(0, 4);
}

// Drops an opening double quote and cuts the text at the closing one.
void StripQuotes(std::wstring& text) {
    if (text.empty() || text[0] != L'"') return;
    text.erase(0, 1);
    size_t quote = text.find(L'"');
    if (quote != npos) text.resize(quote);
}

// The long form of a path when it exists and fits the 260-character buffer.
bool LongFormOf(const std::wstring& path, std::wstring& longForm) {
    wchar_t buffer[MAX_PATH] = {};
    DWORD length = GetLongPathNameW(path.c_str(), buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;  // a longer form reports the size it needs
    longForm.assign(buffer, length);
    return true;
}

// ---- Server file search ----

bool IsExistingFile(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FindFileInFolders(std::wstring& text, const std::wstring& name, const std::vector<std::wstring>& folders) {
    for (const std::wstring& folder : folders) {
        std::wstring candidate = folder + L"\\" + name;
        if (IsExistingFile(candidate)) {
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
bool FindHeadBeforeSpace(std::wstring& text, const std::vector<std::wstring>& folders) {
    if (text.size() < 2) return false;
    size_t backslash = text.rfind(L'\\');
    size_t base = backslash == npos ? 0 : backslash;
    size_t space = text.rfind(L' ', text.size() - 2);
    while (space != npos && space > base) {
        std::wstring head = text.substr(0, space);
        if (IsExistingFile(head)) {
            text = head;
            return true;
        }
        if (FindFileInFolders(text, head, folders)) return true;
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
int LookUpAppPath(std::wstring& text) {
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
    return IsExistingFile(text) ? 1 : 0;
}

// Where the parent walk of the reparse-point test stops: the first index at which
// it may cut. Drive paths keep their first four characters; a share path keeps
// \\server\share (the share root is still tested); a device path keeps its volume
// root, as in \\?\C:\ followed by more. npos when nothing may be cut.
size_t FirstCutIndex(const std::wstring& path) {
    if (path.compare(0, 2, L"\\\\") != 0) return 4;
    bool device = path.size() >= 4 && (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\';
    bool deviceShare = device && PrefixCompare(path.c_str() + 4, L"UNC\\", 4) == 0;
    if (device && !deviceShare) {
        size_t volumeEnd = path.find(L'\\', 4);
        return volumeEnd == npos ? npos : volumeEnd + 1;
    }
    size_t shareStart = path.find(L'\\', deviceShare ? 8 : 2);
    return shareStart == npos ? npos : path.find(L'\\', shareStart + 1);
}

}  // namespace

// "PATH" as it is now, whole: a value that does not fit the first buffer is read
// again into a buffer of the size the system reported.
std::wstring ReadPathVariable() {
    std::vector<wchar_t> buffer(2048, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD length = GetEnvironmentVariableW(L"PATH", buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::wstring();
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.assign(length, L'\0');  // the size needed, terminator included
    }
    return std::wstring();
}

// ---- Table ----

const std::vector<std::wstring>& EnvironmentFolders() { return Table().folders; }

const std::vector<std::wstring>& TrialSuffixes() { return Table().suffixes; }

std::vector<std::wstring> BuildEnvironmentFolders() {
    std::vector<std::wstring> folders;
    for (const wchar_t* variable : kFolderVariables) folders.push_back(FolderEntry(variable));
    std::vector<std::wstring> entries;
    SplitTokens(ReadPathVariable(), L";", entries);
    for (const std::wstring& entry : entries) folders.push_back(FolderEntry(entry));
    return folders;
}

// ---- Existence, redirection and searches ----

bool FileExists(const std::wstring& path) {
    const int known = KnownProbe(path);
    if (known >= 0) return known == 1;
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    return GetLastError() == ERROR_ACCESS_DENIED;
}

bool RedirectTo32Bit(std::wstring& text) {
    const RedirectionMap& map = CurrentRedirectionMap();
    for (const auto& entry : map.folders) {
        const std::wstring& prefix = entry.first;
        if (!StartsWithNoCase(text, prefix)) continue;
        if (prefix == map.systemKey && IsSharedSystemPath(text, prefix)) continue;
        // The prefix's final backslash stays and now follows the 32-bit folder.
        text = entry.second + text.substr(prefix.size() - 1);
        return true;
    }
    return false;
}

bool ExistsWithView(std::wstring& text, unsigned char wow64) {
    if (wow64) RedirectTo32Bit(text);
    return FileExists(text);
}

bool TrySuffixes(std::wstring& text, unsigned char wow64) {
    for (const std::wstring& suffix : TrialSuffixes()) {
        std::wstring candidate = text + suffix;
        if (wow64) RedirectTo32Bit(candidate);
        if (FileExists(candidate)) {
            text = candidate;
            return true;
        }
    }
    return false;
}

bool SearchFolders(std::wstring& text, bool trySuffixes, unsigned char wow64) {
    for (const std::wstring& folder : EnvironmentFolders()) {
        std::wstring candidate = folder + L"\\" + text;
        bool found = trySuffixes ? TrySuffixes(candidate, wow64) : ExistsWithView(candidate, wow64);
        if (found) {
            text = candidate;
            return true;
        }
    }
    return false;
}

bool HasShortExtension(const std::wstring& text) {
    if (text.size() < 5) return false;
    size_t dot = text.rfind(L'.');
    if (dot == npos) return false;
    size_t after = text.size() - dot - 1;
    return after == 2 || after == 3;
}

// ---- Normalisation ----

bool NormalizePath(std::wstring& text, unsigned char wow64) {
    CutAtNul(text);
    StripLeadingSpaces(text);
    if (text.empty()) return false;
    if (StartsWithNoCase(text, kGlobalRootPrefix)) text.replace(0, 25, L"%SystemRoot%");
    CollapseBackslashes(text);
    RewriteSystemPrefixes(text);
    if (ExistsWithView(text, wow64)) {
        ToLongPath(text);
        return true;
    }
    ExpandPath(text);
    if (ExistsWithView(text, wow64)) return true;
    StripQuotes(text);
    bool found;
    if (text.find(L":\\") != npos)
        found = HasShortExtension(text) ? ExistsWithView(text, wow64) : TrySuffixes(text, wow64);
    else
        found = SearchFolders(text, !HasShortExtension(text), wow64);
    if (found) ToLongPath(text);
    return found;
}

// ---- Expansion and long paths ----

std::wstring ExpandPlain(const std::wstring& text) {
    // Room for the usual growth first; a longer result is expanded again into a
    // buffer of the size the system asks for, never cut.
    std::vector<wchar_t> buffer(text.size() + MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD needed = ExpandEnvironmentStringsW(text.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (needed == 0) return std::wstring();
        if (needed <= buffer.size()) return std::wstring(buffer.data());
        buffer.assign(needed, L'\0');
    }
    return std::wstring();
}

void ExpandPath(std::wstring& text) {
    text = ExpandPlain(text);
    ToLongPath(text);
}

bool ToLongPath(std::wstring& text) {
    if (text.find(L'~') == npos) return true;
    std::wstring longForm;
    if (LongFormOf(text, longForm)) {
        text = longForm;
        return true;
    }
    // The part before the last separator is converted by the same rule; only its
    // own conversion counts, so one level is all that can change the text.
    size_t separator = text.find_last_of(L"/\\");
    if (separator != npos) {
        std::wstring head = text.substr(0, separator);
        if (head.find(L'~') != npos && LongFormOf(head, longForm)) text = longForm + text.substr(separator);
    }
    return false;
}

// ---- Reparse points ----

int IsReparsePoint(const std::wstring& path) {
    const size_t firstCut = FirstCutIndex(path);
    std::wstring current = path;
    for (;;) {
        // INVALID_FILE_ATTRIBUTES has the reparse bit set too: a missing path counts.
        if (GetFileAttributesW(current.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) return 1;
        size_t last = current.rfind(L'\\');
        if (last == npos || firstCut == npos || last < firstCut) return 0;
        current.resize(last);
    }
}

// ---- Server file search ----

bool FindServerFile(std::wstring& text, const std::vector<std::wstring>& folders) {
    if (text.empty()) return false;
    ExpandQuoted(text);
    if (IsExistingFile(text)) return true;
    if (FindFileInFolders(text, std::wstring(text), folders)) return true;
    std::replace(text.begin(), text.end(), L',', L' ');
    std::replace(text.begin(), text.end(), L';', L' ');
    if (FindHeadBeforeSpace(text, folders)) return true;
    return IsBareProgramName(text) && LookUpAppPath(text) == 1;
}

}  // namespace kiv
