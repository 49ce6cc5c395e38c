// The target of a shell shortcut (.lnk), read through the shell-link object.
#pragma once

#include <string>

namespace kiv {

// Loads the shortcut, resolves it without any window or search and takes its
// target path as stored. True only when the path was read; a shortcut that
// cannot be loaded or resolved gives false. The calling thread must have
// initialised COM: the module never does so itself.
bool ShortcutTarget(const std::wstring& shortcutPath, std::wstring& target);

}  // namespace kiv
