// The project's own stand-in for the host's sibling library: a log sink that
// appends every line to "hubcore.log" beside the host's executable (and hands it
// to an installed receiver), and the two Task Scheduler predicates.
#include "hubcore.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>

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

// The log file stays open from the first line to the end of the process, and a
// line goes to it in one write once its last piece has come: an open and a close
// per piece cost more than the work most lines report. Each line is written as
// soon as it is whole, so a crash loses at most the line being assembled.
HANDLE g_logFile = INVALID_HANDLE_VALUE;
bool g_logFileFailed = false;
std::string g_pendingLine;
const size_t kLongestPending = 0x10000;

HANDLE LogFile() {
    if (g_logFile != INVALID_HANDLE_VALUE || g_logFileFailed) return g_logFile;
    wchar_t path[MAX_PATH] = {};
    if (LogFilePath(path, MAX_PATH))
        g_logFile = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    g_logFileFailed = g_logFile == INVALID_HANDLE_VALUE;
    return g_logFile;
}

void WritePendingLine() {
    if (g_pendingLine.empty()) return;
    HANDLE file = LogFile();
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE)
        WriteFile(file, g_pendingLine.data(), static_cast<DWORD>(g_pendingLine.size()), &written, nullptr);
    g_pendingLine.clear();
}

// A line ends with its line feed, or with the piece whose length counts its
// terminating zero (the message piece); the prefixes before it end nothing.
bool EndsLine(const char* text, unsigned length, size_t visible) {
    if (visible > 0 && text[visible - 1] == '\n') return true;
    return length != kZeroTerminated && length > visible;
}

void AppendToLogFile(const char* text, unsigned length, size_t visible) {
    try {
        g_pendingLine.append(text, visible);
    } catch (...) {
        g_pendingLine.clear();
        return;
    }
    if (EndsLine(text, length, visible) || g_pendingLine.size() >= kLongestPending) WritePendingLine();
}

void CloseLogFile() {
    WritePendingLine();
    if (g_logFile != INVALID_HANDLE_VALUE) CloseHandle(g_logFile);
    g_logFile = INVALID_HANDLE_VALUE;
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

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // At process exit other threads are gone, so the lock is not taken; an
    // unload by FreeLibrary takes it as any writer would.
    if (reason == DLL_PROCESS_DETACH) {
        if (reserved) {
            CloseLogFile();
        } else {
            AcquireSRWLockExclusive(&g_lock);
            CloseLogFile();
            ReleaseSRWLockExclusive(&g_lock);
        }
    }
    return TRUE;
}

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
        AppendToLogFile(text, length, n);
    }
    ReleaseSRWLockExclusive(&g_lock);
}

int __cdecl HubUseTaskScheduler2(void) {
    switch (EnvironmentChoice(L"HUBCORE_TASK_SCHEDULER")) {
    case 1:
        return 0;
    case 2:
        return 1;
    default:
        break;
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

int __cdecl HubEnumTaskScheduler2(void) { return EnvironmentChoice(L"HUBCORE_TASK_ENUM") == 2 ? 1 : 0; }

void __cdecl HubSetLogReceiver(HubLogReceiver receiver, void* context, int echoToFile) {
    AcquireSRWLockExclusive(&g_lock);
    g_receiver = receiver;
    g_context = receiver ? context : nullptr;
    g_echoToFile = receiver ? echoToFile : 1;
    ReleaseSRWLockExclusive(&g_lock);
}

}  // extern "C"
