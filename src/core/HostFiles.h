// The data files lie in the folder of the host's executable (the process's own
// module, not this library).
#pragma once

#include <windows.h>

namespace kiv {

enum class HostFileResult { Ok, NoFolder, TooLong };

// path := the host's folder (with its trailing backslash) + name, in a buffer of
// MAX_PATH characters. A name that does not fit is refused, never cut.
HostFileResult HostFilePath(const wchar_t* name, wchar_t (&path)[MAX_PATH]);

}  // namespace kiv
