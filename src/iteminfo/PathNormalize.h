// From a candidate file name taken out of an autostart entry to the path of an
// existing file: device and relative forms of the system folder, environment
// variables, missing extensions, 8.3 names, and the 32-bit folders that a 32-bit
// program's entries really point into.
#pragma once

#include <string>

namespace kiv {

// Turns text into the path of an existing file (folders count); true when found.
// Whatever the steps did to the text stays, also when the result is false.
// wow64 set: the entry belongs to a 32-bit program, so system and program-files
// folders are read as their 32-bit counterparts.
bool NormalizePath(std::wstring& text, unsigned char wow64);

// ---- Building blocks of the normalisation ----

// The file test, after the 32-bit rewrite when wow64 is set (the rewrite stays).
bool ExistsWithView(std::wstring& text, unsigned char wow64);

// Tries text + each trial suffix; on success the text takes the suffix.
bool TrySuffixes(std::wstring& text, unsigned char wow64);

// Tries folder + "\" + text for each environment folder (with the trial suffixes
// when trySuffixes is set); on success the text becomes that path.
bool SearchFolders(std::wstring& text, bool trySuffixes, unsigned char wow64);

// True when the last "." of the text is followed by exactly two or three characters
// (always false below five characters).
bool HasShortExtension(const std::wstring& text);

}  // namespace kiv
