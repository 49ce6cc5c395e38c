#include "iteminfo/PathNormalize.h"

#include "iteminfo/EnvironmentFolders.h"
#include "iteminfo/Wow64Redirection.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace kiv {
namespace {

const size_t npos = std::wstring::npos;

const wchar_t kGlobalRootPrefix[] = L"\\\\?\\globalroot\\systemroot";  // 25 characters

void CutAtNul(std::wstring& text) {
    size_t nul = text.find(L'\0');
    if (nul != npos) text.resize(nul);
}

void StripLeadingSpaces(std::wstring& text) {
    size_t first = text.find_first_not_of(L' ');
    if (first != npos) text.erase(0, first);  // a text of spaces only is left as it is
}

// Every run of backslashes becomes one, except the leading pair of a share or
// device path (\\server\share, \\?\C:\), which would otherwise turn into a path
// relative to the current drive.
void CollapseBackslashes(std::wstring& text) {
    std::wstring collapsed;
    collapsed.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        bool leadingPair = i == 1 && text[0] == L'\\';
        if (text[i] == L'\\' && !collapsed.empty() && collapsed.back() == L'\\' && !leadingPair) continue;
        collapsed.push_back(text[i]);
    }
    text.swap(collapsed);
}

// Device and relative forms of the system folder that drivers and services use.
void RewriteSystemPrefixes(std::wstring& text) {
    if (StartsWithNoCase(text, L"\\systemroot\\")) text.replace(0, 11, L"%SystemRoot%");
    else if (StartsWithNoCase(text, L"system32\\")) text.replace(0, 8, L"%windir%\\System32");
    else if (text[0] == L'@') text.erase(0, 1);
    else if (text.compare(0, 4, L"\\??\\") == 0) text.erase(0, 4);
}

}  // namespace

bool ExistsWithView(std::wstring& text, unsigned char wow64) {
    return wow64 ? Find32BitFile(text, &FileExists) : FileExists(text);
}

bool TrySuffixes(std::wstring& text, unsigned char wow64) {
    for (const std::wstring& suffix : TrialSuffixes()) {
        std::wstring candidate = text + suffix;
        if (ExistsWithView(candidate, wow64)) {
            text = candidate;
            return true;
        }
    }
    return false;
}

bool SearchFolders(std::wstring& text, bool trySuffixes, unsigned char wow64) {
    for (const std::wstring& folder : EnvironmentFolders()) {
        std::wstring candidate = folder + L"\\" + text;
        bool found = trySuffixes ? TrySuffixes(candidate, wow64) : ExistsWithView(candidate, wow64);
        if (found) {
            text = candidate;
            return true;
        }
    }
    return false;
}

bool HasShortExtension(const std::wstring& text) {
    if (text.size() < 5) return false;
    size_t dot = text.rfind(L'.');
    if (dot == npos) return false;
    size_t after = text.size() - dot - 1;
    return after == 2 || after == 3;
}

bool NormalizePath(std::wstring& text, unsigned char wow64) {
    CutAtNul(text);
    StripLeadingSpaces(text);
    if (text.empty()) return false;
    if (StartsWithNoCase(text, kGlobalRootPrefix)) text.replace(0, 25, L"%SystemRoot%");
    CollapseBackslashes(text);
    RewriteSystemPrefixes(text);
    if (ExistsWithView(text, wow64)) {
        ToLongPath(text);
        return true;
    }
    ExpandPath(text);
    if (ExistsWithView(text, wow64)) return true;
    StripQuotes(text);
    bool found;
    if (text.find(L":\\") != npos)
        found = HasShortExtension(text) ? ExistsWithView(text, wow64) : TrySuffixes(text, wow64);
    else found = SearchFolders(text, !HasShortExtension(text), wow64);
    if (found) ToLongPath(text);
    return found;
}

}  // namespace kiv
