#include "handlers/DriveFiles.h"

#include <windows.h>

#include <cwchar>

namespace kiv {
namespace {

const DWORD kRootsChars = 128;
const DWORD kProfileChars = 260;
// Returned for a key that is not there; no profile text holds it.
const wchar_t kAbsentMark[] = L"\x1F";

}  // namespace

std::vector<std::wstring> FixedDriveRoots() {
    std::vector<std::wstring> roots;
    wchar_t buffer[kRootsChars] = {};
    DWORD length = GetLogicalDriveStringsW(kRootsChars, buffer);
    if (length == 0 || length >= kRootsChars) return roots;
    for (const wchar_t* root = buffer; *root; root += wcslen(root) + 1)
        if (GetDriveTypeW(root) == DRIVE_FIXED) roots.emplace_back(root);
    return roots;
}

bool IsPlainFile(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

IniRead ReadProfileText(const std::wstring& file, const wchar_t* section, const std::wstring& key,
                            std::wstring& text) {
    wchar_t buffer[kProfileChars] = {};
    DWORD length = GetPrivateProfileStringW(section, key.c_str(), kAbsentMark, buffer, kProfileChars, file.c_str());
    if (length >= kProfileChars - 1) return IniRead::Unreadable;
    text.assign(buffer, length);
    return text == kAbsentMark ? IniRead::Absent : IniRead::Ok;
}

}  // namespace kiv
