// The text of the whitelist file: MD5 texts of harmless files, each optionally
// followed by "|" and a number, separated by spaces and line ends.
#pragma once

#include <map>
#include <string>

namespace kiv {

// Adds every entry of text (null reads as empty) to list; an MD5 text already in
// the list keeps its first number, and an entry without a number counts as 0.
void ParseWhiteList(const wchar_t* text, std::map<std::wstring, unsigned>& list);

}  // namespace kiv
