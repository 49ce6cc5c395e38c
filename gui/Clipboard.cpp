#include "Clipboard.h"

#include <cstring>

#include "GuiHandles.h"

namespace kivgui {

bool CopyTextToClipboard(HWND owner, const std::wstring& text, DWORD& error) {
    size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    void* target = memory ? GlobalLock(memory.Get()) : nullptr;
    if (!target) {
        error = GetLastError();
        return false;
    }
    memcpy(target, text.c_str(), bytes);
    GlobalUnlock(memory.Get());
    if (!OpenClipboard(owner)) {
        error = GetLastError();
        return false;
    }
    EmptyClipboard();
    // The clipboard owns the memory once it has taken it.
    bool taken = SetClipboardData(CF_UNICODETEXT, memory.Get()) != nullptr;
    error = GetLastError();
    if (taken) memory.Release();
    CloseClipboard();
    return taken;
}

}  // namespace kivgui
