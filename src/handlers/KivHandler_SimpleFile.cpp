// Reads and changes files in a startup folder. A disabled file lies under the same
// name in the sibling folder whose name is the folder's own followed by the marker
// (Startup -> Startup_disabledByKiv); where the file lies is its state.
#include <windows.h>

#include <cwchar>
#include <new>

#include "core/Records.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/DriveFiles.h"
#include "handlers/steps/EntryOptions.h"
#include "handlers/steps/RegistryValues.h"
#include "handlers/steps/StartupSwitch.h"
#include "iteminfo/CommandLine.h"
#include "iteminfo/FileFacts.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Handles.h"
#include "platform/Navigation.h"
#include "platform/Text.h"

namespace {

std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring NameOf(const std::wstring& path) { return path.substr(path.rfind(L'\\') + 1); }

std::size_t MarkerLength() { return std::wcslen(kiv::kMarker); }

bool EndsWithMarker(const std::wstring& folder) {
    const std::size_t length = MarkerLength();
    return folder.size() >= length && folder.compare(folder.size() - length, length, kiv::kMarker) == 0;
}

std::wstring PassFolder(const Location* location, unsigned enabledPass) {
    return enabledPass ? location->m_path : location->m_path + kiv::kMarker;
}

// Windows keeps its switch of a startup file under the file's name.
void AddItem(const std::wstring& title, const std::wstring& path, Location* location, unsigned enabledPass,
             const kiv::StartupSwitches& switches) {
    auto* item = new CKivItem(title, path, location, GotoKind::Explorer, 0, enabledPass, 0);
    item->m_startupSwitchOff = switches.Off(title) ? 1 : 0;
}

// A file counts by its name where the location names the files that do
// ("files": scripts, templates, add-ins), else when Windows runs or loads it.
bool CountsInFolder(const Location* location, const std::wstring& name, const std::wstring& path) {
    const std::wstring& patterns = location->m_options.files;
    return patterns.empty() ? kiv::IsExecutableFile(path) : kiv::MatchesNamePatterns(name, patterns);
}

// Every file of the folder that counts, taken by its name as found.
void CollectFolder(Location* location, unsigned enabledPass, const std::wstring& base) {
    const std::wstring folder = enabledPass ? base : base + kiv::kMarker;
    const kiv::StartupSwitches switches(location);
    WIN32_FIND_DATAW found = {};
    kiv::UniqueFind find(FindFirstFileW((folder + L"\\*").c_str(), &found));
    for (bool more = find.Valid(); more; more = FindNextFileW(find.Get(), &found) != FALSE) {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::wstring path = folder + L"\\" + found.cFileName;
        if (CountsInFolder(location, found.cFileName, path))
            AddItem(found.cFileName, path, location, enabledPass, switches);
    }
}

// The one file the location names. Resolution may find a file elsewhere (a name
// cut at a blank, a search along the system folders); only a file that lies in
// the pass's folder belongs to the location, since the actions move files between
// that folder and its sibling.
void CollectOneFile(Location* location, unsigned enabledPass) {
    std::wstring folder = PassFolder(location, enabledPass);
    std::wstring path = folder + L"\\" + location->m_value;
    if (!kiv::ResolveEntry(path, 0)) return;
    kiv::ExpandPath(folder);
    if (!kiv::EqualsNoCase(FolderOf(path), folder) || !kiv::IsPlainFile(path)) return;
    if (kiv::IsExecutableFile(path)) AddItem(NameOf(path), path, location, enabledPass, kiv::StartupSwitches(location));
}

// Moves the item's file to target without replacing anything there, then lets the
// item describe the file at its new place.
kiv::Status MoveItemFile(CKivItem* item, const std::wstring& target) {
    if (!MoveFileW(item->m_file.filePath.c_str(), target.c_str())) return kiv::Status::FromLastError();
    item->RefillFacts(target);
    return kiv::Status::Ok();
}

// The item's file must still be there, as a file, for any change.
kiv::Status ItemFilePresent(const CKivItem* item) {
    if (!item) return kiv::Status::Fail(ERROR_INVALID_PARAMETER);
    return kiv::IsPlainFile(item->m_file.filePath) ? kiv::Status::Ok() : kiv::Status::Fail(ERROR_FILE_NOT_FOUND);
}

kiv::Status DisableFile(CKivItem* item) {
    const kiv::Status present = ItemFilePresent(item);
    if (!present) return present;
    const std::wstring source = FolderOf(item->m_file.filePath);
    // A file already in a disabled folder is not moved one level further, where
    // no collection would find it again.
    if (source.empty() || EndsWithMarker(source)) return kiv::Status::Fail(ERROR_INVALID_PARAMETER);
    const std::wstring disabled = source + kiv::kMarker;
    if (!kiv::IsFolder(disabled) && !CreateDirectoryW(disabled.c_str(), nullptr)) return kiv::Status::FromLastError();
    return MoveItemFile(item, disabled + L"\\" + item->m_file.fileName);
}

// The file goes back to the folder whose disabled sibling holds it: its own folder
// without the marker at its end (a marker elsewhere in the path belongs to some
// other folder's name).
kiv::Status EnableFile(CKivItem* item) {
    const kiv::Status present = ItemFilePresent(item);
    if (!present) return present;
    const std::wstring disabled = FolderOf(item->m_file.filePath);
    if (!EndsWithMarker(disabled)) return kiv::Status::Fail(ERROR_INVALID_PARAMETER);
    const std::wstring live = disabled.substr(0, disabled.size() - MarkerLength());
    return MoveItemFile(item, live + L"\\" + item->m_file.fileName);
}

// Deletes the file for good; read-only, hidden and system files too. A file that
// cannot be deleted keeps its attributes.
kiv::Status RemoveFile(CKivItem* item) {
    const kiv::Status present = ItemFilePresent(item);
    if (!present) return present;
    const std::wstring& path = item->m_file.filePath;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(path.c_str())) return kiv::Status::Ok();
    const kiv::Status failed = kiv::Status::FromLastError();
    SetFileAttributesW(path.c_str(), attributes);
    return failed;
}

class CKivHandler_SimpleFile : public CKivHandler {
public:
    int DisableItem(CKivItem* item) override { return DisableFile(item).Report(); }
    // Windows' own switch of the file is turned back on too.
    int EnableItem(CKivItem* item) override {
        return item ? kiv::EnableSwitchedEntry(item, item->m_title, &EnableFile).Report()
                    : kiv::Status::Fail(ERROR_INVALID_PARAMETER).Report();
    }
    int RemoveItem(CKivItem* item) override { return RemoveFile(item).Report(); }
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
    // An entry below a user's profile is shown in its own folder: the location's
    // path is the same for every user.
    int GoTo(CKivItem* item) override {
        if (!item || !item->m_location || !item->m_location->m_options.profiles) return CKivHandler::GoTo(item);
        return kiv::SelectInExplorer(FolderOf(item->m_file.filePath).c_str());
    }
};

// The folder below each user's profile, where it exists and lies under no
// junction or link, as for a folder location of the catalogue.
void CollectProfileFolders(Location* location, unsigned enabledPass) {
    for (const std::wstring& profile : kiv::UserProfileFolders()) {
        const std::wstring base = profile + L"\\" + location->m_path;
        if (kiv::IsReparsePoint(enabledPass ? base : base + kiv::kMarker) != 1)
            CollectFolder(location, enabledPass, base);
    }
}

void CKivHandler_SimpleFile::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    // The view flag belongs to registry twins; a folder has none.
    if (!location || wow64) return;
    if (location->m_options.profiles) CollectProfileFolders(location, enabledPass);
    else if (location->m_value.empty()) CollectFolder(location, enabledPass, location->m_path);
    else CollectOneFile(location, enabledPass);
}

}  // namespace

CKivHandler* NewSimpleFileHandler() { return new (std::nothrow) CKivHandler_SimpleFile(); }
