// Dots per inch: the window's own (per monitor where the system can tell), the
// system's, and sizes and the message font scaled to them.
#pragma once

#include <windows.h>

#include "GuiHandles.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace kivgui {

UINT WindowDpi(HWND hwnd);
UINT SystemDpi();
// A size given at 96 dots per inch, at dpi.
inline int Scale(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), 96); }
// The system's message font at dpi.
UniqueFont MessageFont(UINT dpi);

}  // namespace kivgui
