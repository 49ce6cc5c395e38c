#include "core/HostFiles.h"

#include <cwchar>

namespace kiv {

HostFileResult HostFilePath(const wchar_t* name, wchar_t (&path)[MAX_PATH]) {
    wmemset(path, L'\0', MAX_PATH);
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0) return HostFileResult::NoFolder;
    // A cut path names a parent folder whose data files are not the host's.
    if (n >= MAX_PATH) return HostFileResult::TooLong;
    // Cut after the last backslash; the backslash stays.
    size_t length = wcslen(path);
    while (length > 0 && path[length - 1] != L'\\') path[--length] = L'\0';
    if (length + wcslen(name) + 1 > MAX_PATH) return HostFileResult::TooLong;
    wcscat_s(path, MAX_PATH, name);
    return HostFileResult::Ok;
}

}  // namespace kiv
