// The process-wide table of folders searched for bare file names, and the suffixes
// tried on names without an extension. Built while the module loads, before the host
// can call; later changes of the environment are not seen.
#pragma once

#include <string>
#include <vector>

namespace kiv {

// Expanded system and user folders, then every entry of "PATH", as they were when
// the module loaded.
const std::vector<std::wstring>& EnvironmentFolders();

// The suffixes tried on names without an extension: ".exe .dll .sys .drv .bin".
const std::vector<std::wstring>& TrialSuffixes();

// Builds the folder list from the environment as it is now.
std::vector<std::wstring> BuildEnvironmentFolders();

}  // namespace kiv
