// A 32-bit program that names the 64-bit system, program-files or shared
// program-files folder is shown the 32-bit folder instead; its entries are read the
// same way, so that the file found is the one the program really starts.
#pragma once

#include <string>

namespace kiv {

// Rewrites a path below the 64-bit system, program-files or shared program-files
// folder into the 32-bit folder; true when rewritten. The folders shared by both
// kinds of program (catroot, catroot2, drivers\etc, logfiles, spool) stay.
bool RedirectTo32Bit(std::wstring& text);

}  // namespace kiv
