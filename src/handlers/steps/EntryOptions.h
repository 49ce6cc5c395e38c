// What the kinds share to honour a location's optional shapes (LocationOptions):
// reading keys for collection, the value an option names, the folder of bare
// names, left-out values and file-name patterns.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Handles.h"
#include "platform/Status.h"

class Location;

namespace kiv {

// Splits an option's value text into the subkey that holds it (empty: the key
// itself) and the value's name: the part behind the last "\", "@" standing for
// the default value.
void SplitValuePath(const std::wstring& named, std::wstring& subkey, std::wstring& value);

// Resolves an entry's text to the file it starts. A bare file name (no folder, no
// drive) is looked for in the location's "folder" first, as the program that
// loads it does; without that option, or when it is not there, the text goes
// through the usual entry resolution.
bool ResolveLocationEntry(const Location* location, std::wstring& text, unsigned char wow64);

// The file of a list entry that names a key ("refkey", "*" standing for the
// entry): the command in that key's value "refvalue".
bool ReferencedFile(const Location* location, const std::wstring& entry, unsigned char wow64, std::wstring& file);

// Whether the location leaves this value out ("skip").
bool IsSkippedValue(const Location* location, const std::wstring& name);

// Whether a value is an entry of a location that names its entry values: always
// when it names none.
bool IsEntryValue(const Location* location, const std::wstring& name);

// The profile folders of the machine's users, as the profile list names them
// (environment strings expanded), each once.
std::vector<std::wstring> UserProfileFolders();

// Calls visit with each subkey exactly levels below key and its path relative to
// key. Marker subkeys are passed over at every level: they keep disabled entries,
// they are none of their own.
void ForEachNestedKey(HKEY key, unsigned levels,
                      const std::function<void(HKEY nested, const std::wstring& relative)>& visit);

}  // namespace kiv
