// Lists the classes that the desktop.ini files of system folders load; these
// entries have no disabled state and cannot be changed.
#include <windows.h>

#include <cwchar>
#include <deque>
#include <new>

#include "core/Records.h"
#include "handlers/ClassLookup.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/DriveFiles.h"
#include "iteminfo/PathNormalize.h"
#include "platform/FileSystem.h"
#include "platform/Handles.h"

namespace kiv {
namespace {

const wchar_t kShellSection[] = L".ShellClassInfo";
const wchar_t* const kClassKeys[] = {L"CLSID", L"UICLSID"};

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && folder.back() == L'\\') return folder + name;
    return folder + L"\\" + name;
}

bool IsDotEntry(const wchar_t* name) { return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0; }

void CollectDesktopIni(Location* location, const std::wstring& folder) {
    const std::wstring ini = JoinPath(folder, L"desktop.ini");
    if (!IsPlainFile(ini)) return;
    for (const wchar_t* key : kClassKeys) {
        std::wstring classId, title, file;
        if (ReadProfileText(ini, kShellSection, key, classId) != IniRead::Ok || classId.empty()) continue;
        // Folder objects are loaded by the native shell: the native view of the classes.
        if (!LookupClass(classId, location, title, file, 0)) continue;
        auto* item = new CKivItem(title, file, location, GotoKind::Explorer, 0, 1, 0);
        item->m_regNames.push_back(ini);
    }
}

// Queues the subfolders of one folder and reads the desktop.ini of each system
// folder among them. A folder that cannot be listed is passed over.
void VisitFolder(Location* location, const std::wstring& folder, std::deque<std::wstring>& queue) {
    WIN32_FIND_DATAW entry = {};
    UniqueFind find(FindFirstFileW(JoinPath(folder, L"*.*").c_str(), &entry));
    if (!find) return;
    do {
        const DWORD attributes = entry.dwFileAttributes;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || IsDotEntry(entry.cFileName)) continue;
        // Links and junctions lead into folders walked elsewhere, or round in a circle.
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        const std::wstring path = JoinPath(folder, entry.cFileName);
        queue.push_back(path);
        if (attributes & FILE_ATTRIBUTE_SYSTEM) CollectDesktopIni(location, path);
    } while (FindNextFileW(find.Get(), &entry));
}

// Breadth first over one drive; the queue holds folder paths only.
void WalkDrive(Location* location, const std::wstring& root) {
    std::deque<std::wstring> queue{root};
    while (!queue.empty()) {
        const std::wstring folder = queue.front();
        queue.pop_front();
        VisitFolder(location, folder, queue);
    }
}

}  // namespace
}  // namespace kiv

namespace {

class CKivHandler_DesktopIniObj : public CKivHandler {
public:
    ~CKivHandler_DesktopIniObj() override;
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
};

}  // namespace

CKivHandler_DesktopIniObj::~CKivHandler_DesktopIniObj() = default;

void CKivHandler_DesktopIniObj::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    if (!enabledPass || wow64) return;
    for (const std::wstring& root : kiv::FixedDriveRoots()) {
        // A drive root that is itself a reparse point stands for folders that live
        // elsewhere (a link into another file system); like every other reparse
        // point, the walk does not follow it.
        if (kiv::IsReparsePoint(root)) continue;
        kiv::WalkDrive(location, root);
    }
}

CKivHandler* NewDesktopIniObjHandler() { return new (std::nothrow) CKivHandler_DesktopIniObj(); }
