#include "Elevation.h"

#include <shellapi.h>

#include "SystemMessage.h"
#include "platform/Handles.h"

namespace kivgui {

bool IsElevated() {
    kiv::UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return false;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    return GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof(elevation), &size) &&
           elevation.TokenIsElevated != 0;
}

bool RestartAsAdministrator(HWND owner, const StatusBar& status) {
    wchar_t path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        status.Say(L"Could not find this program's own file.");
        return false;
    }
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOASYNC;
    info.hwnd = owner;
    info.lpVerb = L"runas";
    info.lpFile = path;
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&info)) return true;
    DWORD error = GetLastError();
    status.Say(error == ERROR_CANCELLED ? L"Restart as administrator was cancelled."
                                        : L"Could not restart as administrator: " + SystemMessage(error));
    return false;
}

}  // namespace kivgui
