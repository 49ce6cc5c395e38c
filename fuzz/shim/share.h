// Part of the native build's stand-in for the Win32 headers (see windows.h).
#pragma once

#include <cstdio>

#include "windows.h"

#define _SH_DENYNO 0x40
FILE* _wfsopen(const wchar_t* path, const wchar_t* mode, int share);
