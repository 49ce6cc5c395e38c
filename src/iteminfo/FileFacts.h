// The facts about the file an item's entry starts.
#pragma once

#include <windows.h>

#include <string>

#include "iteminfo/FileVersion.h"

struct KivFileFacts {
    std::wstring fileName;
    std::wstring extension;
    std::wstring filePath;
    std::wstring shortcutTarget;
    std::wstring md5;
    unsigned long long size = 0;
    HICON icon = nullptr;  // taken from iconSource on the first FileIcon call
    std::wstring iconSource;
    bool iconExtracted = false;
    CFileVersion version;
    SYSTEMTIME created = {};
    SYSTEMTIME modified = {};
};

namespace kiv {

// Fills every fact from the path; each fact fails on its own.
void FillFileFacts(KivFileFacts& facts, const std::wstring& path);

// True when the file at path still has the size and the times the facts were read
// with: facts read once may then stand for every entry that names the same file.
// False when the file cannot be described.
bool SameFileState(const KivFileFacts& facts, const std::wstring& path);

// True for a shortcut: its facts are those of its target, read through the
// shell's objects in the apartment of the calling thread.
bool ReadsThroughShell(const std::wstring& path);

// The file's first small icon, or null; extracted on the first call, since only a
// host that shows the item asks for it. The facts keep owning it.
HICON FileIcon(KivFileFacts& facts);

// Destroys the icon, then empties the version information and the strings.
void ReleaseFileFacts(KivFileFacts& facts);

// The file's size in bytes; 0 when it cannot be opened for reading.
unsigned long long FileSize(const std::wstring& path);

// True when the text behind the name's last "." is, in any case, one of the
// extensions of files that Windows runs or loads (exe, dll, drv, sys, lnk, js,
// bat, pif, com, scr). The text behind the dot is taken whole, so a name still
// followed by arguments fails.
bool IsExecutableFile(const std::wstring& name);

}  // namespace kiv
