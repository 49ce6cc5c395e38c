// Answers from the platform's own protected-file check (system file protection)
// where the platform has it, and "not protected" where it does not.
#include "sigvault.h"

#include <windows.h>

namespace {
typedef BOOL(WINAPI* SfcIsFileProtectedFn)(HANDLE rpc, LPCWSTR path);
}

CSigvault& CSigvault::Get() {
    static CSigvault instance;
    return instance;
}

CSigvault::CSigvault() : m_sfc(nullptr), m_isProtected(nullptr) {
    HMODULE sfc = LoadLibraryW(L"sfc.dll");
    if (!sfc) return;
    FARPROC test = GetProcAddress(sfc, "SfcIsFileProtected");
    if (!test) {
        FreeLibrary(sfc);
        return;
    }
    m_sfc = sfc;
    m_isProtected = reinterpret_cast<void*>(test);
}

CSigvault::~CSigvault() {
    // The library stays loaded until the process ends: freeing it while the loader
    // tears the process down would gain nothing and can deadlock.
}

bool CSigvault::IsFileProtected(const wchar_t* path) {
    if (!path || !*path || !m_isProtected) return false;
    auto test = reinterpret_cast<SfcIsFileProtectedFn>(m_isProtected);
    return test(nullptr, path) != FALSE;
}
