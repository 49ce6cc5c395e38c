#include "Dpi.h"

namespace kivgui {

UINT WindowDpi(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpi) {
        UINT dpi = getDpi(hwnd);
        if (dpi) return dpi;
    }
    UniqueScreenDc screen(GetDC(nullptr));
    return screen ? static_cast<UINT>(GetDeviceCaps(screen.Get(), LOGPIXELSX)) : 96;
}

UINT SystemDpi() {
    UniqueScreenDc screen(GetDC(nullptr));
    return screen ? static_cast<UINT>(GetDeviceCaps(screen.Get(), LOGPIXELSY)) : 96;
}

UniqueFont MessageFont(UINT dpi) {
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    metrics.lfMessageFont.lfHeight =
        MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
    return UniqueFont(CreateFontIndirectW(&metrics.lfMessageFont));
}

}  // namespace kivgui
