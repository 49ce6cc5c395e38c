// What both hosts tell a person about an action on an entry: why it failed, in the
// system's words or in the host's own where the system's would mislead.
#pragma once

#include <windows.h>

#include <string>

// A move refused because the place the entry would move to holds another entry of
// the same name; the system's own text ("Cannot create a file when that file already
// exists.") would not say what to do.
extern const wchar_t kEntryInTheWay[];

// A restore asked of an entry that no removal kept: registry entries, files,
// services and tasks are deleted for good.
extern const wchar_t kNothingToRestore[];

// Why an action failed: the host's own words for a move that another entry is in
// the way of, otherwise the system's text for the code.
std::wstring ActionFailureText(DWORD code);
