// Answers from the platform's own protected-file check (system file protection)
// where the platform has it, and "not protected" where it does not.
#include "sigvault.h"

#include <windows.h>

#include <cwchar>

#include "platform/Handles.h"

namespace {
typedef BOOL(WINAPI* SfcIsFileProtectedFn)(HANDLE rpc, LPCWSTR path);

// A library of the system, loaded from the system folder only: a file of the same
// name in the program's folder, the current folder or on "PATH" is never taken.
// Systems that do not know the restricted search get the full path instead.
HMODULE LoadSystemLibrary(const wchar_t* name) {
    if (HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
    wchar_t path[MAX_PATH] = {};
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 1 + wcslen(name) >= MAX_PATH) return nullptr;
    wcscat_s(path, MAX_PATH, L"\\");
    wcscat_s(path, MAX_PATH, name);
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
}  // namespace

CSigvault& CSigvault::Get() {
    static CSigvault instance;
    return instance;
}

CSigvault::CSigvault() : m_sfc(nullptr), m_isProtected(nullptr) {
    kiv::UniqueModule sfc(LoadSystemLibrary(L"sfc.dll"));
    if (!sfc) return;
    FARPROC test = GetProcAddress(sfc.Get(), "SfcIsFileProtected");
    if (!test) return;
    m_sfc = sfc.Release();
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
