// Registry locations are written as one text, a short root prefix and a key path
// ("HKLM\SOFTWARE\..."). These turn such a text into a root key and a key path,
// a root key back into its long name, derive the 32-bit view ("Wow6432Node")
// twin of a location, and remove keys that have become empty.
#pragma once

#include <windows.h>

#include <string>

namespace kiv {

// Erases a known root prefix from path and sets root to its key (1); with no known
// prefix the path stays whole, root is HKEY_LOCAL_MACHINE and the result is 0.
int SplitRootPrefix(std::wstring& path, HKEY& root);

// The long root name with its trailing backslash, e.g. "HKEY_CURRENT_USER\".
std::wstring GetFullHKEY(HKEY root);

// The path of the same key in the 32-bit registry view, for locations below the
// machine's software key and below the classes root.
bool TwinPath(const std::wstring& path, std::wstring& twin);

// True when the key opened, was queried and holds neither subkeys nor values; a key
// that cannot be read is never taken for empty.
bool IsKeyEmpty(HKEY root, const std::wstring& keyPath);

// Deletes the key when it holds neither subkeys nor values at the moment it is
// deleted. The 32-bit view is used for twin locations.
void RemoveKeyIfEmpty(HKEY root, const std::wstring& keyPath, unsigned char wow64);

}  // namespace kiv
