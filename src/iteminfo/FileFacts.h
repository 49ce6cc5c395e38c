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
    HICON icon = nullptr;
    CFileVersion version;
    SYSTEMTIME created = {};
    SYSTEMTIME modified = {};
};

namespace kiv {

// Fills every fact from the path; each fact fails on its own.
void FillFileFacts(KivFileFacts& facts, const std::wstring& path);

// Destroys the icon, then empties the version information and the strings.
void ReleaseFileFacts(KivFileFacts& facts);

}  // namespace kiv
