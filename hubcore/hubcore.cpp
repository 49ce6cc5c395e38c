// The project's own stand-in for the host's sibling library: a log sink that
// appends every piece to "hubcore.log" beside the host's executable (and hands it
// to an installed receiver), and the two Task Scheduler predicates.
#include "hubcore.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

namespace {

SRWLOCK g_lock = SRWLOCK_INIT;
HubLogReceiver g_receiver = nullptr;
void* g_context = nullptr;
int g_echoToFile = 1;

const unsigned kZeroTerminated = 0xFFFFFFFFu;

bool LogFilePath(wchar_t* path, DWORD size) {
    DWORD n = GetModuleFileNameW(nullptr, path, size);
    if (n == 0 || n >= size) return false;
    wchar_t* slash = wcsrchr(path, L'\\');
    if (!slash) return false;
    const wchar_t name[] = L"hubcore.log";
    if (static_cast<size_t>(slash + 1 - path) + wcslen(name) + 1 > size) return false;
    wcscpy_s(slash + 1, size - (slash + 1 - path), name);
    return true;
}

void AppendToLogFile(const char* text, size_t length) {
    wchar_t path[MAX_PATH] = {};
    if (!LogFilePath(path, MAX_PATH)) return;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
}

// "1" forces Task Scheduler 1.0, "2" forces 2.0; anything else leaves the choice
// to the platform check.
int EnvironmentChoice(const wchar_t* name) {
    wchar_t value[8] = {};
    DWORD n = GetEnvironmentVariableW(name, value, 8);
    if (n == 0 || n >= 8) return 0;
    if (wcscmp(value, L"1") == 0) return 1;
    if (wcscmp(value, L"2") == 0) return 2;
    return 0;
}

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

extern "C" {

void __cdecl HubLogWrite(const char* text, unsigned length) {
    if (!text) return;
    AcquireSRWLockExclusive(&g_lock);
    HubLogReceiver receiver = g_receiver;
    void* context = g_context;
    int echo = g_echoToFile;
    if (receiver) receiver(text, length, context);
    if (echo) {
        // The module counts the terminating zero in some lengths; the file gets text only.
        size_t n = (length == kZeroTerminated) ? strlen(text) : strnlen(text, length);
        if (n) AppendToLogFile(text, n);
    }
    ReleaseSRWLockExclusive(&g_lock);
}

int __cdecl HubUseTaskScheduler2(void) {
    switch (EnvironmentChoice(L"HUBCORE_TASK_SCHEDULER")) {
    case 1: return 0;
    case 2: return 1;
    default: break;
    }
    // Wine's 2.0 service registers tasks but cannot list them or their actions,
    // so only a real Windows (Vista or later) gets the 2.0 interfaces.
    if (RunningUnderWine()) return 0;
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    version.dwMajorVersion = 6;
    DWORDLONG mask = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&version, VER_MAJORVERSION, mask) ? 1 : 0;
}

int __cdecl HubEnumTaskScheduler2(void) {
    return EnvironmentChoice(L"HUBCORE_TASK_ENUM") == 2 ? 1 : 0;
}

void __cdecl HubSetLogReceiver(HubLogReceiver receiver, void* context, int echoToFile) {
    AcquireSRWLockExclusive(&g_lock);
    g_receiver = receiver;
    g_context = receiver ? context : nullptr;
    g_echoToFile = receiver ? echoToFile : 1;
    ReleaseSRWLockExclusive(&g_lock);
}

}  // extern "C"
