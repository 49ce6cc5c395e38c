#include "iteminfo/FileFacts.h"

#include <shellapi.h>

#include <cstdint>
#include <cstring>

#include "iteminfo/Md5.h"
#include "iteminfo/Shortcut.h"
#include "platform/Handles.h"
#include "platform/Log.h"

namespace kiv {
namespace {

const wchar_t kNoFileInfo[] = L"KIV\t Unable to retrieve file info (shortcut target used), file path: %s\n";
const wchar_t kNoAttributes[] = L"KIV\t\t\t Unable to retrieve file attributes, file path: %s\n";

// Lower case by the "C" locale's rule: only A to Z change, whatever locale the host set.
std::wstring AsciiLower(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

std::wstring NameOf(const std::wstring& path) {
    const std::size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Names as short as "a.exe" carry an extension; shorter names and names ending
// in a dot are taken to carry none.
std::wstring ExtensionOf(const std::wstring& name) {
    const std::size_t dot = name.rfind(L'.');
    if (name.size() < 5 || dot == std::wstring::npos || dot + 1 == name.size()) return std::wstring();
    return AsciiLower(name.substr(dot + 1));
}

// How the version information of the file just hashed is read: from the bytes
// already in memory when one read held the whole file, else through the handle
// still open, else by its path.
struct HashedFile {
    const FileDigest& digest;
    HANDLE open;  // null when the file could not be opened

    int ReadVersion(CFileVersion& version, const std::wstring& path) const {
        if (digest.whole) {
            const unsigned char* bytes = digest.whole;
            const unsigned long long size = digest.size;
            return version.Read(
                path.c_str(),
                [bytes, size](std::uint64_t offset, void* into, std::size_t count) {
                    if (offset > size || count > size - offset) return false;
                    std::memcpy(into, bytes + offset, count);
                    return true;
                },
                size);
        }
        if (open && digest.described) return version.Read(path.c_str(), open, digest.size);
        return version.Read(path.c_str());
    }
};

// Reads the version information of the file itself, or of a shortcut's target,
// and returns the path from which the icon and times are taken: the target when
// the shortcut resolved, otherwise the file itself. A file already read whole
// that does not start as an executable image holds no version resource, so
// its read is skipped; the outcome is the same.
std::wstring ReadVersionInfo(KivFileFacts& facts, const std::wstring& path, const HashedFile& hashed) {
    facts.version.Reset();
    const bool knownWithoutVersion = !hashed.digest.md5.empty() && !hashed.digest.startsAsImage;
    if (!knownWithoutVersion && hashed.ReadVersion(facts.version, path)) return path;
    if (facts.extension != L"lnk") {
        LogLine(kNoFileInfo, path.c_str());
        return path;
    }
    if (!ShortcutTarget(path, facts.shortcutTarget)) {
        LogLine(kNoFileInfo, path.c_str());
        return path;
    }
    if (!facts.version.Read(facts.shortcutTarget.c_str())) LogLine(kNoFileInfo, facts.shortcutTarget.c_str());
    return facts.shortcutTarget;
}

bool ToLocalSystemTime(const FILETIME& utc, SYSTEMTIME& local) {
    FILETIME localTime = {};
    return FileTimeToLocalFileTime(&utc, &localTime) && FileTimeToSystemTime(&localTime, &local);
}

void SetTimes(KivFileFacts& facts, const FILETIME& created, const FILETIME& modified) {
    if (!ToLocalSystemTime(created, facts.created)) facts.created = SYSTEMTIME();
    if (!ToLocalSystemTime(modified, facts.modified)) facts.modified = SYSTEMTIME();
}

void ReadTimes(KivFileFacts& facts, const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        LogLine(kNoAttributes, path.c_str());
        return;
    }
    SetTimes(facts, data.ftCreationTime, data.ftLastWriteTime);
}

}  // namespace

void FillFileFacts(KivFileFacts& facts, const std::wstring& path) {
    facts.fileName = NameOf(path);
    facts.filePath = path;
    // One open serves the digest, the size, the version resource and, when the
    // file is not a resolved shortcut, the times.
    UniqueFile open;
    const FileDigest digest = HashFile(path.c_str(), open);
    facts.md5 = digest.md5;
    facts.size = digest.described ? digest.size : FileSize(path);
    facts.extension = ExtensionOf(facts.fileName);
    const std::wstring target = ReadVersionInfo(facts, path, HashedFile{digest, open.Valid() ? open.Get() : nullptr});
    facts.iconSource = target;
    if (target == path && digest.described) SetTimes(facts, digest.created, digest.modified);
    else ReadTimes(facts, target);
}

bool SameFileState(const KivFileFacts& facts, const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    const unsigned long long size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    KivFileFacts now;
    SetTimes(now, data.ftCreationTime, data.ftLastWriteTime);
    return size == facts.size && std::memcmp(&now.created, &facts.created, sizeof(SYSTEMTIME)) == 0 &&
           std::memcmp(&now.modified, &facts.modified, sizeof(SYSTEMTIME)) == 0;
}

bool ReadsThroughShell(const std::wstring& path) { return ExtensionOf(NameOf(path)) == L"lnk"; }

HICON FileIcon(KivFileFacts& facts) {
    if (!facts.iconExtracted) {
        facts.iconExtracted = true;
        ExtractIconExW(facts.iconSource.c_str(), 0, nullptr, &facts.icon, 1);
    }
    return facts.icon;
}

void ReleaseFileFacts(KivFileFacts& facts) {
    if (facts.icon) {
        DestroyIcon(facts.icon);
        facts.icon = nullptr;
    }
    facts.iconExtracted = false;
    facts.iconSource.clear();
    facts.version.Reset();
    facts.fileName.clear();
    facts.extension.clear();
    facts.filePath.clear();
    facts.shortcutTarget.clear();
    facts.md5.clear();
}

unsigned long long FileSize(const std::wstring& path) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 0;
    // A size whose low part is all ones is told from a failure by the last error.
    DWORD high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = GetFileSize(file.Get(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
    return (static_cast<unsigned long long>(high) << 32) | low;
}

bool IsExecutableFile(const std::wstring& name) {
    static const wchar_t* const kExtensions[] = {L"exe", L"dll", L"drv", L"sys", L"lnk",
                                                 L"js",  L"bat", L"pif", L"com", L"scr"};
    const std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos) return false;
    const std::wstring extension = AsciiLower(name.substr(dot + 1));
    for (const wchar_t* known : kExtensions)
        if (extension == known) return true;
    return false;
}

}  // namespace kiv
