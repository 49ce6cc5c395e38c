// Whole subkeys as entries: walking a key's subkeys, and moving one subkey with
// everything below it between a location's key and its marker subkey.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "platform/Status.h"

namespace kiv {

// Calls visit with each subkey name, from index 0 upward. A name that does not fit
// 260 characters is skipped; any other error ends the walk, so a key changed
// during the walk cannot keep it running.
void EnumRegSubkeys(HKEY key, const std::function<void(const std::wstring& name)>& visit);

// Deletes a subkey with everything below it (SHDeleteKeyW).
Status DeleteRegTree(HKEY parent, const std::wstring& name);

// How the second step of a move deletes the source tree: DeleteRegTree, unless a
// caller needs to see that step fail.
using DeleteTreeFn = Status (*)(HKEY parent, const std::wstring& name);

// Moves the subkey name of from, with everything below it, to a subkey of the same
// name of to. An older subkey of that name under to gives way to the one moved in.
// When a step fails, the target is put back as it was (deleted when it was not
// there before), and a source that the failed delete had already cut into is first
// made whole again from the copy; if that cannot be done the copy is kept, so the
// entry is never lost. The move is refused when an older target cannot be read
// whole, since it could not be put back. A failure carries the cause of the step
// that failed.
Status MoveRegSubkey(HKEY from, HKEY to, const std::wstring& name, DeleteTreeFn deleteSource = DeleteRegTree);

}  // namespace kiv
