// What the file system says about a path: whether it exists, is a plain file or a
// folder, lies under a reparse point, and its long (not 8.3) form. All of these
// read the path's attributes in one place, so every caller applies the same rule.
#pragma once

#include <string>

namespace kiv {

// A path exists when its attributes can be read, or when reading them is denied:
// a file the caller may not open is still there. Folders count.
bool FileExists(const std::wstring& path);

// True when the path names an existing file that is not a folder.
bool IsPlainFile(const std::wstring& path);

// True when the path names an existing folder.
bool IsFolder(const std::wstring& path);

// 1 when the path or one of its parent folders is a reparse point, or when the path
// does not exist; the walk stops above the drive, share or volume root.
int IsReparsePoint(const std::wstring& path);

// Replaces 8.3 names by their long form. True when the text holds no "~" or the
// whole text was converted; when only the part before the last separator converts,
// that part is replaced and the result is still false.
bool ToLongPath(std::wstring& text);

}  // namespace kiv
