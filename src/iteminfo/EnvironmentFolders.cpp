#include "iteminfo/EnvironmentFolders.h"

#include <exception>

#include "platform/Environment.h"
#include "platform/Text.h"

namespace kiv {
namespace {

// The system and user folders searched before the "PATH" entries, in this order.
const wchar_t* const kFolderVariables[] = {
    L"%WINDIR%",
    L"%SYSTEMROOT%",
    L"%WINDIR%\\System32\\drivers",
    L"%TEMP%",
    L"%APPDATA%",
    L"%LOCALAPPDATA%",
    L"%USERPROFILE%",
    L"%ALLUSERSPROFILE%",
    L"%COMMONPROGRAMFILES(x86)%",
    L"%COMMONPROGRAMFILES%",
    L"%PROGRAMFILES(x86)%",
    L"%PROGRAMFILES%",
    L"%PROGRAMDATA%",
    L"%PUBLIC%",
};

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

}  // namespace

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

}  // namespace kiv
