// Showing the user where an item lives: its file selected in a new Explorer
// window, or its key and value selected in the registry editor. The editor offers
// no interface for this, so its window is driven with keystroke messages. Both
// run on the caller's thread and return once the request is handed over; they do
// not wait for the user.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace kiv {

// Runs start (nonzero on success, the thread's error code set on failure) and,
// when it failed with an error, once more after a short pause. A start that
// succeeded is never repeated, whatever error code it left behind: the shell
// often leaves one, and a second start would open a second window.
bool StartWithOneRetry(const std::function<BOOL()>& start);

// What Explorer is started with to show one file selected.
struct ExplorerCommand {
    std::wstring program;
    std::wstring parameters;
};

// The program and parameters that show path selected; a leading "\??\" is left out
// and the path is quoted, so that a comma in a name does not end it.
ExplorerCommand ExplorerSelectCommand(const wchar_t* path);

// Opens a new Explorer window with path selected; nonzero when Explorer was started.
int SelectInExplorer(const wchar_t* path);

// Brings up the registry editor (starting it when none is open) with the key
// keyPath under root selected and, when valueName is neither null nor empty, that
// value selected in the value list. 1 when the editor was found or started and
// took every keystroke; 0 without root or key path, when no editor could be
// started, or when the editor did not answer in time.
int NavigateRegEdit(HKEY root, const wchar_t* keyPath, const wchar_t* valueName);

}  // namespace kiv
