#include "iteminfo/Shortcut.h"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <cwchar>

#include "platform/Handles.h"

namespace kiv {
namespace {

// The shell-link object loads from a path of at most MAX_PATH characters with
// its terminator; a longer shortcut path is one the object cannot load.
bool LoadShortcut(IPersistFile* file, const std::wstring& shortcutPath) {
    wchar_t buffer[MAX_PATH] = {};
    if (shortcutPath.size() >= MAX_PATH) return false;
    wcscpy_s(buffer, MAX_PATH, shortcutPath.c_str());
    return SUCCEEDED(file->Load(buffer, STGM_READ));
}

}  // namespace

bool ShortcutTarget(const std::wstring& shortcutPath, std::wstring& target) {
    ComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.PutVoid())))
        return false;
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.PutVoid()))) return false;
    if (!LoadShortcut(file.Get(), shortcutPath)) return false;
    // No window may appear during a collection, and searching for a moved target
    // would make a run take long; the stored path is what the item shows.
    if (FAILED(link->Resolve(nullptr, SLR_NO_UI | SLR_UPDATE | SLR_NOSEARCH))) return false;
    wchar_t path[MAX_PATH] = {};
    WIN32_FIND_DATAW findData = {};
    const HRESULT result = link->GetPath(path, MAX_PATH, &findData, SLGP_RAWPATH);
    if (FAILED(result)) return false;
    path[MAX_PATH - 1] = L'\0';
    target = path;
    return result == S_OK;  // S_FALSE: the shortcut holds no path
}

}  // namespace kiv
