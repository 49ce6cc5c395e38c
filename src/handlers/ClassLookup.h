#pragma once

#include <string>

#include "platform/Handles.h"

class Location;

namespace kiv {

// Opens a key of the classes an entry of the location names, with read rights:
// the classes root (the running user's classes over the machine's), or for
// another user's copy of a location that user's classes over the machine's, as
// Windows merges them for that user. wow64 set: the 32-bit view of the classes.
bool OpenClassesKey(const Location* location, const std::wstring& path, unsigned char wow64, UniqueHKey& key);

// A class identifier's text to its name (title) and in-process server file, in
// the classes of the location's user (see OpenClassesKey). A server named without
// a folder is looked for in the location's "PATH" folders. Fails when the class is
// not registered or its server file cannot be found; title and file stay as they
// were when the class key does not open. wow64 set: the class is read in the
// 32-bit view of the classes and its server as a 32-bit process finds it, as for
// an entry of a location's 32-bit twin.
bool LookupClass(const std::wstring& classId, const Location* location, std::wstring& title, std::wstring& file,
                 unsigned char wow64);

}  // namespace kiv
