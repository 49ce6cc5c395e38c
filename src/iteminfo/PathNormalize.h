// From a candidate file name taken out of an autostart entry to the path of an
// existing file: device and relative forms of the system folder, environment
// variables, missing extensions, 8.3 names, and the 32-bit folders that a 32-bit
// program's entries really point into. Also the process-wide table of folders
// searched for bare names, and the small path operations the rest of the module
// shares (expansion, long-path conversion, reparse-point test, server file search).
#pragma once

#include <string>
#include <vector>

namespace kiv {

// ---- Used by the rest of the module ----

// Turns text into the path of an existing file (folders count); true when found.
// Whatever the steps did to the text stays, also when the result is false.
// wow64 set: the entry belongs to a 32-bit program, so system and program-files
// folders are read as their 32-bit counterparts.
bool NormalizePath(std::wstring& text, unsigned char wow64);

// Expands environment strings (the whole result, however long), then converts 8.3
// names to their long form.
void ExpandPath(std::wstring& text);

// "PATH" as it is now, whole, however long.
std::wstring ReadPathVariable();

// Environment strings expanded into a buffer sized by the system; the empty text
// when the expansion fails.
std::wstring ExpandPlain(const std::wstring& text);

// Replaces 8.3 names by their long form. True when the text holds no "~" or the
// whole text was converted; when only the part before the last separator converts,
// that part is replaced and the result is still false.
bool ToLongPath(std::wstring& text);

// 1 when the path or one of its parent folders is a reparse point, or when the path
// does not exist; the walk stops above the drive, share or volume root.
int IsReparsePoint(const std::wstring& path);

// A class's server text (possibly quoted, with arguments, a bare program name) to an
// existing file that is not a folder, trying each of the given folders in order for
// relative names, then the registered application paths.
bool FindServerFile(std::wstring& text, const std::vector<std::wstring>& folders);

// ---- Building blocks of the normalisation ----

// The folders searched for bare names, built while the module loads: expanded system
// and user folders, then every entry of "PATH". Later changes of the environment
// are not seen.
const std::vector<std::wstring>& EnvironmentFolders();

// The suffixes tried on names without an extension: ".exe .dll .sys .drv .bin".
const std::vector<std::wstring>& TrialSuffixes();

// Builds the folder list from the environment as it is now.
std::vector<std::wstring> BuildEnvironmentFolders();

// A path exists when its attributes can be read, or when reading them is denied.
bool FileExists(const std::wstring& path);

// Rewrites a path below the 64-bit system, program-files or shared program-files
// folder into the 32-bit folder; true when rewritten.
bool RedirectTo32Bit(std::wstring& text);

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
