// Whether the window runs elevated, and starting it again as administrator.
#pragma once

#include <windows.h>

#include "StatusBar.h"

namespace kivgui {

bool IsElevated();
// Asks the system to start this program again elevated; true when it started (the
// caller then closes), otherwise the status bar says why not.
bool RestartAsAdministrator(HWND owner, const StatusBar& status);

}  // namespace kivgui
