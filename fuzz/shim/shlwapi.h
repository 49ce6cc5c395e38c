// Part of the native build's stand-in for the Win32 headers (see windows.h).
#pragma once

#include "windows.h"

void PathStripPathW(wchar_t* path);
BOOL PathFileExistsW(const wchar_t* path);
