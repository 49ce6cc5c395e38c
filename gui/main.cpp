// The window host: loads the module, shows what Windows starts on its own and
// lets a person disable, enable, remove, restore and inspect each entry.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "MainWindow.h"
#include "kiv.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    INITCOMMONCONTROLSEX controls = {
        sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // Actions run on this thread and create COM objects (the Task Scheduler, the shell).
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int code = 1;
    CKiv* kiv = CKiv::Init();
    if (kiv) {
        try {
            kivgui::MainWindow window(kiv);
            if (window.Create(instance, show)) code = window.Run();
        } catch (...) {
            MessageBoxW(nullptr, L"Not enough memory to run the window.", L"kiv", MB_ICONERROR);
        }
        CKiv::Dispose();
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return code;
}
