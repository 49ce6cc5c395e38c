// Part of the native build's stand-in for the Win32 headers (see windows.h).
#pragma once

#include "windows.h"

BOOL SHGetSpecialFolderPathW(HWND owner, wchar_t* out, int csidl, BOOL create);
