#pragma once

#include <string>
#include <vector>

namespace kiv {

// A class identifier's text to its name (title) and in-process server file. A
// server named without a folder is looked for in envPaths (the location's
// "PATH" folders). Fails when the class is not registered or its server file
// cannot be found; title and file stay as they were when the class key does not
// open. wow64 set: the class is read in the 32-bit view of the classes and its
// server as a 32-bit process finds it, as for an entry of a location's 32-bit twin.
bool LookupClass(const std::wstring& classId, const std::vector<std::wstring>& envPaths, std::wstring& title,
                 std::wstring& file, unsigned char wow64);

}  // namespace kiv
