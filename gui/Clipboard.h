// Text on its way to the clipboard.
#pragma once

#include <windows.h>

#include <string>

namespace kivgui {

// Puts text on the clipboard as Unicode text; false with the code the failed step
// left when it could not.
bool CopyTextToClipboard(HWND owner, const std::wstring& text, DWORD& error);

}  // namespace kivgui
