// Command-line host: loads the module, collects the autostart entries and lists them.
#include <windows.h>
#include <objbase.h>

#include <cstdio>

#include "kiv.h"

int wmain(int, wchar_t**) {
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CKiv* kiv = CKiv::Init();
    if (!kiv) {
        fwprintf(stderr, L"kivctl: the module could not be initialised\n");
        if (SUCCEEDED(com)) CoUninitialize();
        return 2;
    }
    kiv->Collect();
    unsigned count = 0;
    while (kiv->ItemMapGet(count + 1)) ++count;
    wprintf(L"%u item(s) found\n", count);
    CKiv::Dispose();
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}
