// The native stand-ins for the Win32 and C runtime calls the parsers make. Text
// calls do the plain text work; calls that would reach files or the registry find
// nothing, except for a fixed set of files, folders and environment variables, so that
// the text steps around them have something real to work on.
#include <clocale>
#include <climits>
#include <cstring>
#include <cwctype>
#include <string>

#include "ShimFiles.h"
#include "oleauto.h"
#include "share.h"
#include "shlobj.h"
#include "shlwapi.h"

namespace {

wchar_t AsciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

struct Variable {
    const wchar_t* name;
    const wchar_t* value;
};
const Variable kEnvironment[] = {
    {L"SystemRoot", L"C:\\windows"},
    {L"windir", L"C:\\windows"},
    {L"SystemDrive", L"C:"},
    {L"ProgramFiles", L"C:\\Program Files"},
    {L"ProgramFiles(x86)", L"C:\\Program Files (x86)"},
    {L"CommonProgramFiles", L"C:\\Program Files\\Common Files"},
    {L"PATH", L"C:\\windows\\system32;C:\\windows;C:\\windows\\system32\\wbem"},
};

const wchar_t* Lookup(const std::wstring& name) {
    for (const Variable& v : kEnvironment)
        if (_wcsicmp(v.name, name.c_str()) == 0) return v.value;
    return nullptr;
}

// Copies text with its terminator when it fits; the length without the terminator
// when copied, else the capacity needed with it (the Win32 convention).
DWORD CopyOut(const std::wstring& text, wchar_t* out, DWORD capacity) {
    if (out == nullptr || text.size() + 1 > capacity) return static_cast<DWORD>(text.size() + 1);
    std::wmemcpy(out, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

bool SameNoCase(const std::wstring& a, const wchar_t* b) { return _wcsicmp(a.c_str(), b) == 0; }

}  // namespace

bool ShimIsFolder(const wchar_t* path) {
    std::wstring p = path;
    return SameNoCase(p, L"C:\\windows") || SameNoCase(p, L"C:\\windows\\system32") ||
           SameNoCase(p, L"C:\\Program Files");
}

bool ShimFileExists(const wchar_t* path) {
    if (ShimIsFolder(path)) return true;
    const std::wstring p = path, folder = L"C:\\windows\\system32\\";
    if (p.size() < folder.size() + 5 || _wcsnicmp(p.c_str(), folder.c_str(), folder.size()) != 0) return false;
    const std::wstring name = p.substr(folder.size());
    const std::wstring extension = name.substr(name.size() - 4);
    if (!SameNoCase(extension, L".exe") && !SameNoCase(extension, L".dll")) return false;
    for (size_t i = 0; i + 4 < name.size(); ++i)
        if (!((name[i] >= L'a' && name[i] <= L'z') || (name[i] >= L'A' && name[i] <= L'Z'))) return false;
    return true;
}

int _wcsnicmp(const wchar_t* a, const wchar_t* b, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        wchar_t x = AsciiLower(a[i]), y = AsciiLower(b[i]);
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
    return 0;
}

int _wcsicmp(const wchar_t* a, const wchar_t* b) { return _wcsnicmp(a, b, static_cast<std::size_t>(-1)); }

// Leading blanks, a sign and decimal digits; out-of-range values are clamped.
int _wtoi(const wchar_t* text) {
    while (*text == L' ' || (*text >= L'\t' && *text <= L'\r')) ++text;
    bool negative = *text == L'-';
    if (*text == L'-' || *text == L'+') ++text;
    long long value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        value = value * 10 + (*text - L'0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(value);
}

DWORD GetLastError() { return ERROR_FILE_NOT_FOUND; }
BOOL CloseHandle(HANDLE) { return TRUE; }
BOOL FindClose(HANDLE) { return TRUE; }
BOOL FreeLibrary(HMODULE) { return TRUE; }
HMODULE GetModuleHandleW(const wchar_t*) { return nullptr; }
FARPROC GetProcAddress(HMODULE, const char*) { return nullptr; }
BOOL DestroyIcon(HICON) { return TRUE; }
void SysFreeString(BSTR) {}
void InitializeCriticalSection(CRITICAL_SECTION*) {}
void DeleteCriticalSection(CRITICAL_SECTION*) {}
void EnterCriticalSection(CRITICAL_SECTION*) {}
// The fuzz targets digest memory only: no file is ever opened.
HANDLE CreateFileW(const wchar_t*, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) { return INVALID_HANDLE_VALUE; }
BOOL ReadFile(HANDLE, void*, DWORD, DWORD* read, void*) {
    if (read) *read = 0;
    return FALSE;
}
BOOL GetFileSizeEx(HANDLE, LARGE_INTEGER*) { return FALSE; }
BOOL GetFileInformationByHandleEx(HANDLE, FILE_INFO_BY_HANDLE_CLASS, void*, DWORD) { return FALSE; }
void LeaveCriticalSection(CRITICAL_SECTION*) {}

// The 8-bit code page is read as Latin-1: one byte, one character.
int MultiByteToWideChar(UINT, DWORD, const char* text, int length, wchar_t* out, int capacity) {
    if (length < 0) length = static_cast<int>(std::strlen(text)) + 1;
    if (out == nullptr || capacity == 0) return length;
    if (capacity < length) return 0;
    for (int i = 0; i < length; ++i) out[i] = static_cast<unsigned char>(text[i]);
    return length;
}

int WideCharToMultiByte(UINT, DWORD, const wchar_t* text, int length, char* out, int capacity, const char*,
                        BOOL* usedDefault) {
    if (length < 0) length = static_cast<int>(std::wcslen(text)) + 1;
    if (out == nullptr || capacity == 0) return length;
    if (capacity < length) return 0;
    for (int i = 0; i < length; ++i) {
        bool fits = text[i] >= 0 && text[i] < 0x100;
        out[i] = fits ? static_cast<char>(text[i]) : '?';
        if (!fits && usedDefault) *usedDefault = TRUE;
    }
    return length;
}

BOOL GetStringTypeW(DWORD, const wchar_t* text, int length, WORD* types) {
    // Character classes of non-ASCII letters follow the C library's Unicode tables.
    static const bool localeSet = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
    (void)localeSet;
    for (int i = 0; i < length; ++i) {
        wint_t c = static_cast<wint_t>(text[i]);
        types[i] = static_cast<WORD>((std::iswalpha(c) ? C1_ALPHA : 0) | (std::iswdigit(c) ? C1_DIGIT : 0));
    }
    return TRUE;
}

// %NAME% of a known variable is replaced; anything else stays as written.
DWORD ExpandEnvironmentStringsW(const wchar_t* text, wchar_t* out, DWORD capacity) {
    std::wstring result;
    for (const wchar_t* p = text; *p;) {
        const wchar_t* close = *p == L'%' ? std::wcschr(p + 1, L'%') : nullptr;
        const wchar_t* value = close ? Lookup(std::wstring(p + 1, close)) : nullptr;
        if (value) {
            result += value;
            p = close + 1;
        } else {
            result += *p++;
        }
    }
    DWORD written = CopyOut(result, out, capacity);
    return out != nullptr && result.size() + 1 <= capacity ? written + 1 : written;
}

DWORD GetEnvironmentVariableW(const wchar_t* name, wchar_t* out, DWORD capacity) {
    const wchar_t* value = Lookup(name);
    return value ? CopyOut(value, out, capacity) : 0;
}

DWORD GetLongPathNameW(const wchar_t* path, wchar_t* out, DWORD capacity) {
    return ShimFileExists(path) ? CopyOut(path, out, capacity) : 0;
}
DWORD GetFileAttributesW(const wchar_t* path) {
    if (!ShimFileExists(path)) return INVALID_FILE_ATTRIBUTES;
    return ShimIsFolder(path) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}
UINT GetSystemWow64DirectoryW(wchar_t* out, UINT capacity) { return CopyOut(L"C:\\windows\\SysWOW64", out, capacity); }
UINT GetSystemDirectoryW(wchar_t* out, UINT capacity) { return CopyOut(L"C:\\windows\\system32", out, capacity); }
UINT GetWindowsDirectoryW(wchar_t* out, UINT capacity) { return CopyOut(L"C:\\windows", out, capacity); }

BOOL SHGetSpecialFolderPathW(HWND, wchar_t* out, int csidl, BOOL) {
    const wchar_t* folder = csidl == CSIDL_PROGRAM_FILES             ? L"C:\\Program Files"
                            : csidl == CSIDL_PROGRAM_FILESX86        ? L"C:\\Program Files (x86)"
                            : csidl == CSIDL_PROGRAM_FILES_COMMON    ? L"C:\\Program Files\\Common Files"
                            : csidl == CSIDL_PROGRAM_FILES_COMMONX86 ? L"C:\\Program Files (x86)\\Common Files"
                            : csidl == CSIDL_SYSTEM                  ? L"C:\\windows\\system32"
                            : csidl == CSIDL_SYSTEMX86               ? L"C:\\windows\\SysWOW64"
                            : csidl == CSIDL_WINDOWS                 ? L"C:\\windows"
                                                                     : nullptr;
    return folder != nullptr && CopyOut(folder, out, MAX_PATH) < MAX_PATH;
}

void PathStripPathW(wchar_t* path) {
    const wchar_t* last = std::wcsrchr(path, L'\\');
    if (last != nullptr && last[1] != 0) std::wmemmove(path, last + 1, std::wcslen(last + 1) + 1);
}
BOOL PathFileExistsW(const wchar_t*) { return FALSE; }
FILE* _wfsopen(const wchar_t*, const wchar_t*, int) { return nullptr; }

LONG RegOpenKeyExW(HKEY, const wchar_t*, DWORD, REGSAM, HKEY*) { return ERROR_FILE_NOT_FOUND; }
LONG RegCloseKey(HKEY) { return ERROR_SUCCESS; }
LONG RegQueryValueExW(HKEY, const wchar_t*, DWORD*, DWORD*, BYTE*, DWORD*) { return ERROR_FILE_NOT_FOUND; }
LONG RegQueryInfoKeyW(HKEY, wchar_t*, DWORD*, DWORD*, DWORD*, DWORD*, DWORD*, DWORD*, DWORD*, DWORD*, DWORD*, void*) {
    return ERROR_FILE_NOT_FOUND;
}
LONG RegDeleteKeyW(HKEY, const wchar_t*) { return ERROR_FILE_NOT_FOUND; }
LONG RegDeleteKeyExW(HKEY, const wchar_t*, REGSAM, DWORD) { return ERROR_FILE_NOT_FOUND; }

// No collection runs in a fuzz target, so no probe answer is ever kept.
namespace kiv {
int KnownProbe(const std::wstring&) { return -1; }
unsigned CollectionGeneration() { return 0; }
}  // namespace kiv
