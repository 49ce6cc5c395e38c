// The file behind a class's in-process server text: possibly quoted, with
// environment strings, with arguments behind the file, relative to a folder of the
// environment, or a bare program name registered under "App Paths".
#pragma once

#include <string>
#include <vector>

namespace kiv {

// Turns the server text into an existing file that is not a folder, trying each of
// the given folders in order for relative names, then the registered application
// paths; true when found. wow64 set: the server is loaded by 32-bit processes, so
// system and program-files folders are read as their 32-bit counterparts.
bool FindServerFile(std::wstring& text, const std::vector<std::wstring>& folders, unsigned char wow64 = 0);

}  // namespace kiv
