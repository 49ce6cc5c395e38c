// Part of the native build's stand-in for the Win32 headers (see windows.h).
#pragma once

#include "windows.h"
