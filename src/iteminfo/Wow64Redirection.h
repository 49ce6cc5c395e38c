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

// Whether a 32-bit program finds a file through the path, which becomes the path of
// the file it finds. The file system redirects the system folder; the program-files
// folders are redirected only where the text came from the variable, so a literal
// path below the 64-bit folder keeps naming its own file when that file is there and
// the 32-bit folder has none.
bool Find32BitFile(std::wstring& text, bool (*exists)(const std::wstring& path));

}  // namespace kiv
