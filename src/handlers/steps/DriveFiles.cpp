#include "handlers/steps/DriveFiles.h"

#include <windows.h>

#include <cwchar>

#include "platform/Text.h"

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

IniRead ReadProfileText(const std::wstring& file, const wchar_t* section, const std::wstring& key, std::wstring& text) {
    wchar_t buffer[kProfileChars] = {};
    DWORD length = GetPrivateProfileStringW(section, key.c_str(), kAbsentMark, buffer, kProfileChars, file.c_str());
    if (length >= kProfileChars - 1) return IniRead::Unreadable;
    text.assign(buffer, length);
    return text == kAbsentMark ? IniRead::Absent : IniRead::Ok;
}

std::wstring ProfileTextAsStored(const std::wstring& file, const wchar_t* section, const std::wstring& key,
                                 const std::wstring& text) {
    const DWORD sectionChars = 32767;
    std::vector<wchar_t> lines(sectionChars);
    const DWORD length = file.empty() ? GetProfileSectionW(section, lines.data(), sectionChars)
                                      : GetPrivateProfileSectionW(section, lines.data(), sectionChars, file.c_str());
    if (length == 0 || length >= sectionChars - 2) return text;
    const std::wstring quoted = L"\"" + text + L"\"";
    for (const wchar_t* line = lines.data(); *line; line += wcslen(line) + 1) {
        const std::wstring entry(line);
        const size_t equals = entry.find(L'=');
        if (equals == std::wstring::npos) continue;
        const std::wstring name = TrimWhiteSpace(entry.substr(0, equals));
        if (!EqualsNoCase(name, key)) continue;
        return TrimWhiteSpace(entry.substr(equals + 1)) == quoted ? quoted : text;
    }
    return text;
}

}  // namespace kiv
