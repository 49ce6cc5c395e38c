// What the autorun handlers share: the fixed drives, files at their roots, and
// keys of profile files (Autorun.inf, desktop.ini).
#pragma once

#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace kiv {

// The roots ("C:\") of the drives the system reports as fixed, in its order.
std::vector<std::wstring> FixedDriveRoots();

enum class IniRead { Ok, Absent, Unreadable };

// Reads a key of a profile file's section into 260 characters. A text that fills
// the buffer may have been cut and counts as unreadable; an empty key is Ok.
IniRead ReadProfileText(const std::wstring& file, const wchar_t* section, const std::wstring& key, std::wstring& text);

// The profile functions drop the quotes around a whole value. A value written back
// keeps them as the file holds them, so "C:\Program Files\x.exe" does not come back
// as two words. An empty file names win.ini, read through the profile functions.
std::wstring ProfileTextAsStored(const std::wstring& file, const wchar_t* section, const std::wstring& key,
                                 const std::wstring& text);

}  // namespace kiv
