// The few Win32 types, constants and calls that the text parsers name, for their
// native build under the fuzzers. Only the parsers' own logic runs natively: the
// calls that reach the system answer "not found" or do the plain text work (see
// Win32Shim.cpp), and the real behaviour is tested under Wine.
#pragma once

#include <cstddef>
#include <cstdint>

#include "NativeCrt.h"

typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef std::uint16_t WORD;
typedef std::uint8_t BYTE;
typedef unsigned int UINT;
typedef int BOOL;
typedef std::int64_t LONGLONG;
typedef std::uintptr_t ULONG_PTR;
typedef DWORD REGSAM;
typedef void* HANDLE;
typedef wchar_t* BSTR;
typedef wchar_t* LPWSTR;
typedef const wchar_t* LPCWSTR;
typedef char* LPSTR;
typedef const char* LPCSTR;
struct HKEY__;
typedef HKEY__* HKEY;
struct HICON__;
typedef HICON__* HICON;
struct HINSTANCE__;
typedef HINSTANCE__* HMODULE;
struct HWND__;
typedef HWND__* HWND;
typedef union {
    LONGLONG QuadPart;
} LARGE_INTEGER;
typedef struct {
    int unused;
} CRITICAL_SECTION;
typedef struct {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME;
typedef struct {
    LARGE_INTEGER CreationTime;
    LARGE_INTEGER LastAccessTime;
    LARGE_INTEGER LastWriteTime;
    LARGE_INTEGER ChangeTime;
    DWORD FileAttributes;
} FILE_BASIC_INFO;
enum FILE_INFO_BY_HANDLE_CLASS { FileBasicInfo = 0 };

#define FALSE 0
#define TRUE 1
#define MAX_PATH 260
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_MORE_DATA 234L
#define CP_ACP 0
#define CP_UTF8 65001
#define CT_CTYPE1 0x1
#define C1_DIGIT 0x4
#define C1_ALPHA 0x100
#define KEY_READ 0x20019
#define KEY_QUERY_VALUE 0x1
#define DELETE 0x10000
#define KEY_WOW64_32KEY 0x200
#define KEY_WOW64_64KEY 0x100
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_NORMAL 0x80
#define FILE_ATTRIBUTE_REPARSE_POINT 0x400
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define GENERIC_READ 0x80000000u
#define FILE_SHARE_READ 0x1
#define FILE_SHARE_WRITE 0x2
#define OPEN_EXISTING 3
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000
#define INVALID_HANDLE_VALUE ((HANDLE)(std::intptr_t)-1)
#define CSIDL_PROGRAM_FILES 0x26
#define CSIDL_PROGRAM_FILESX86 0x2a
#define CSIDL_PROGRAM_FILES_COMMON 0x2b
#define CSIDL_PROGRAM_FILES_COMMONX86 0x2c
#define CSIDL_SYSTEM 0x25
#define CSIDL_SYSTEMX86 0x29
#define CSIDL_WINDOWS 0x24

#define KIV_SHIM_ROOT(n) ((HKEY)(ULONG_PTR)((LONG)(n)))
#define HKEY_CLASSES_ROOT KIV_SHIM_ROOT(0x80000000)
#define HKEY_CURRENT_USER KIV_SHIM_ROOT(0x80000001)
#define HKEY_LOCAL_MACHINE KIV_SHIM_ROOT(0x80000002)
#define HKEY_USERS KIV_SHIM_ROOT(0x80000003)
#define HKEY_PERFORMANCE_DATA KIV_SHIM_ROOT(0x80000004)
#define HKEY_CURRENT_CONFIG KIV_SHIM_ROOT(0x80000005)
#define HKEY_DYN_DATA KIV_SHIM_ROOT(0x80000006)
#define HKEY_PERFORMANCE_TEXT KIV_SHIM_ROOT(0x80000050)
#define HKEY_PERFORMANCE_NLSTEXT KIV_SHIM_ROOT(0x80000060)

DWORD GetLastError();
BOOL CloseHandle(HANDLE handle);
BOOL FindClose(HANDLE handle);
BOOL FreeLibrary(HMODULE module);
#ifndef WINAPI
#define WINAPI
#endif
typedef long long (*FARPROC)();
HMODULE GetModuleHandleW(const wchar_t* name);
FARPROC GetProcAddress(HMODULE module, const char* name);
BOOL DestroyIcon(HICON icon);
void SysFreeString(BSTR text);
void InitializeCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);
void EnterCriticalSection(CRITICAL_SECTION* section);
void LeaveCriticalSection(CRITICAL_SECTION* section);

int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int length, wchar_t* out, int capacity);
int WideCharToMultiByte(UINT codePage, DWORD flags, const wchar_t* text, int length, char* out, int capacity,
                        const char* defaultChar, BOOL* usedDefault);
BOOL GetStringTypeW(DWORD infoType, const wchar_t* text, int length, WORD* types);

DWORD ExpandEnvironmentStringsW(const wchar_t* text, wchar_t* out, DWORD capacity);
DWORD GetEnvironmentVariableW(const wchar_t* name, wchar_t* out, DWORD capacity);
DWORD GetLongPathNameW(const wchar_t* path, wchar_t* out, DWORD capacity);
DWORD GetFileAttributesW(const wchar_t* path);
HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD share, void* security, DWORD disposition, DWORD flags,
                   HANDLE pattern);
BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* read, void* overlapped);
BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);
BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, void* info, DWORD bytes);
UINT GetSystemWow64DirectoryW(wchar_t* out, UINT capacity);
UINT GetSystemDirectoryW(wchar_t* out, UINT capacity);
UINT GetWindowsDirectoryW(wchar_t* out, UINT capacity);

LONG RegOpenKeyExW(HKEY root, const wchar_t* path, DWORD options, REGSAM access, HKEY* key);
LONG RegCloseKey(HKEY key);
LONG RegQueryValueExW(HKEY key, const wchar_t* name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
LONG RegQueryInfoKeyW(HKEY key, wchar_t* className, DWORD* classLength, DWORD* reserved, DWORD* subkeys,
                      DWORD* maxSubkeyLength, DWORD* maxClassLength, DWORD* values, DWORD* maxValueNameLength,
                      DWORD* maxValueLength, DWORD* securityLength, void* lastWrite);
LONG RegDeleteKeyW(HKEY root, const wchar_t* path);
LONG RegDeleteKeyExW(HKEY root, const wchar_t* path, REGSAM access, DWORD reserved);
