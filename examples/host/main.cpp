// Lists what Windows starts on its own: one line per item with its category,
// title, state and file.
#include <windows.h>
#include <objbase.h>

#include <cstdio>

#include <kiv.h>

int main() {
    // The module creates COM objects (scheduled tasks, shortcuts) on the thread
    // that collects and acts, and never initialises COM itself.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CKiv* kiv = CKiv::Init();  // reads kivdata.dat and kivwl.dat beside this program
    if (!kiv || kiv->GetCategoryCount() == 0) {
        if (kiv) CKiv::Dispose();
        if (SUCCEEDED(com)) CoUninitialize();
        std::fputs("no catalogue beside the program\n", stderr);
        return 2;
    }
    kiv->Collect();
    unsigned items = 0;
    for (unsigned c = 0; c < kiv->GetCategoryCount(); ++c) {
        for (unsigned l = 0; l < kiv->GetLocationCount(c); ++l) {
            for (unsigned i = 0; i < kiv->GetItemCount(c, l); ++i, ++items) {
                // Texts belong to the module and stay valid until the next Collect.
                unsigned id = kiv->GetItemGlobalID(c, l, i);
                std::printf("%ls\t%ls\t%s\t%ls\n", kiv->GetCategoryName(c), kiv->GetItemTitle(id),
                            kiv->GetItemEnabled(id) ? "enabled" : "disabled", kiv->GetItemFilePath(id));
            }
        }
    }
    std::printf("%u categories, %u items\n", kiv->GetCategoryCount(), items);
    CKiv::Dispose();
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}
