#include "iteminfo/Wow64Redirection.h"

#include <windows.h>
#include <shlobj.h>

#include <map>

#include "platform/CollectionProbes.h"
#include "platform/Environment.h"
#include "platform/Text.h"

namespace kiv {
namespace {

// Below the 32-bit system folder these stay shared between 32-bit and 64-bit programs.
const wchar_t* const kSharedSystemFolders[] = {L"catroot\\", L"catroot2\\", L"drivers\\etc\\", L"logfiles\\",
                                               L"spool\\"};

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
        map.folders[AsciiLowerText(folder64) + L"\\"] = folder32;
}

// The folders are asked of the system each time the table is built.
RedirectionMap BuildRedirectionMap() {
    RedirectionMap map;
    std::wstring systemRoot = ExpandPlain(L"%SystemRoot%");
    wchar_t wow64Folder[MAX_PATH] = {};
    UINT length = GetSystemWow64DirectoryW(wow64Folder, MAX_PATH);
    if (!systemRoot.empty() && length > 0 && length < MAX_PATH) {
        map.systemKey = AsciiLowerText(systemRoot) + L"\\system32\\";
        map.folders[map.systemKey] = wow64Folder;
    }
    AddSpecialFolder(map, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86);
    AddSpecialFolder(map, CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86);
    return map;
}

bool IsSharedSystemPath(const std::wstring& text, const std::wstring& systemKey) {
    for (const wchar_t* shared : kSharedSystemFolders)
        if (StartsWithNoCase(text, systemKey + shared)) return true;
    return false;
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

}  // namespace

namespace {

// Rewrites as RedirectTo32Bit does; systemFolder says whether the folder rewritten
// was the system folder.
bool Redirect(std::wstring& text, bool& systemFolder) {
    const RedirectionMap& map = CurrentRedirectionMap();
    for (const auto& entry : map.folders) {
        const std::wstring& prefix = entry.first;
        if (!StartsWithNoCase(text, prefix)) continue;
        if (prefix == map.systemKey && IsSharedSystemPath(text, prefix)) continue;
        // The prefix's final backslash stays and now follows the 32-bit folder.
        text = entry.second + text.substr(prefix.size() - 1);
        systemFolder = prefix == map.systemKey;
        return true;
    }
    return false;
}

}  // namespace

bool RedirectTo32Bit(std::wstring& text) {
    bool systemFolder = false;
    return Redirect(text, systemFolder);
}

bool Find32BitFile(std::wstring& text, bool (*exists)(const std::wstring& path)) {
    std::wstring redirected = text;
    bool systemFolder = false;
    if (!Redirect(redirected, systemFolder)) return exists(text);
    const bool found = exists(redirected);
    if (!found && !systemFolder && exists(text)) return true;
    // Otherwise the path is the one the program is shown, found or not.
    text = redirected;
    return found;
}

}  // namespace kiv
