#include "platform/FileSystem.h"

#include <windows.h>

#include "platform/Text.h"

namespace kiv {
namespace {

const size_t npos = std::wstring::npos;

// The attributes of a path; INVALID_FILE_ATTRIBUTES (which has every bit set) when
// they cannot be read, with the reason left in the thread's last error.
DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

bool HasAttributes(DWORD attributes) { return attributes != INVALID_FILE_ATTRIBUTES; }

// Where the parent walk of the reparse-point test stops: the first index at which
// it may cut. Drive paths keep their first four characters; a share path keeps
// \\server\share (the share root is still tested); a device path keeps its volume
// root, as in \\?\C:\ followed by more. npos when nothing may be cut.
size_t FirstCutIndex(const std::wstring& path) {
    if (path.compare(0, 2, L"\\\\") != 0) return 4;
    bool device = path.size() >= 4 && (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\';
    bool deviceShare = device && PrefixCompare(path.c_str() + 4, L"UNC\\", 4) == 0;
    if (device && !deviceShare) {
        size_t volumeEnd = path.find(L'\\', 4);
        return volumeEnd == npos ? npos : volumeEnd + 1;
    }
    size_t shareStart = path.find(L'\\', deviceShare ? 8 : 2);
    return shareStart == npos ? npos : path.find(L'\\', shareStart + 1);
}

// The long form of a path when it exists and fits the 260-character buffer.
bool LongFormOf(const std::wstring& path, std::wstring& longForm) {
    wchar_t buffer[MAX_PATH] = {};
    DWORD length = GetLongPathNameW(path.c_str(), buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;  // a longer form reports the size it needs
    longForm.assign(buffer, length);
    return true;
}

}  // namespace

bool FileExists(const std::wstring& path) {
    return HasAttributes(Attributes(path)) || GetLastError() == ERROR_ACCESS_DENIED;
}

bool IsPlainFile(const std::wstring& path) {
    DWORD attributes = Attributes(path);
    return HasAttributes(attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsFolder(const std::wstring& path) {
    DWORD attributes = Attributes(path);
    return HasAttributes(attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int IsReparsePoint(const std::wstring& path) {
    const size_t firstCut = FirstCutIndex(path);
    std::wstring current = path;
    for (;;) {
        // INVALID_FILE_ATTRIBUTES has the reparse bit set too: a missing path counts.
        if (Attributes(current) & FILE_ATTRIBUTE_REPARSE_POINT) return 1;
        size_t last = current.rfind(L'\\');
        if (last == npos || firstCut == npos || last < firstCut) return 0;
        current.resize(last);
    }
}

bool ToLongPath(std::wstring& text) {
    if (text.find(L'~') == npos) return true;
    std::wstring longForm;
    if (LongFormOf(text, longForm)) {
        text = longForm;
        return true;
    }
    // The part before the last separator is converted by the same rule; only its
    // own conversion counts, so one level is all that can change the text.
    size_t separator = text.find_last_of(L"/\\");
    if (separator != npos) {
        std::wstring head = text.substr(0, separator);
        if (head.find(L'~') != npos && LongFormOf(head, longForm)) text = longForm + text.substr(separator);
    }
    return false;
}

}  // namespace kiv
