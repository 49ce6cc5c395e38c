// Owners for the window's own system resources (fonts, image lists, global memory
// on its way to the clipboard), on the same pattern as the module's owners.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "platform/Handles.h"

namespace kivgui {

struct FontTraits {
    static HFONT Invalid() noexcept { return nullptr; }
    static void Close(HFONT font) noexcept { DeleteObject(font); }
};
struct ImageListTraits {
    static HIMAGELIST Invalid() noexcept { return nullptr; }
    static void Close(HIMAGELIST list) noexcept { ImageList_Destroy(list); }
};
struct GlobalMemoryTraits {
    static HGLOBAL Invalid() noexcept { return nullptr; }
    static void Close(HGLOBAL memory) noexcept { GlobalFree(memory); }
};
struct ScreenDcTraits {
    static HDC Invalid() noexcept { return nullptr; }
    static void Close(HDC dc) noexcept { ReleaseDC(nullptr, dc); }
};

using UniqueFont = kiv::UniqueResource<HFONT, FontTraits>;
using UniqueImageList = kiv::UniqueResource<HIMAGELIST, ImageListTraits>;
using UniqueGlobal = kiv::UniqueResource<HGLOBAL, GlobalMemoryTraits>;
using UniqueScreenDc = kiv::UniqueResource<HDC, ScreenDcTraits>;

}  // namespace kivgui
