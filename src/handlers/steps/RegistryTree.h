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

// Deletes a subkey with everything below it (SHDeleteKeyW), once every key of it
// has been opened with the right to delete it: a removal that could take only part
// of an entry is refused before it takes anything.
Status DeleteRegTree(HKEY parent, const std::wstring& name);

// How the second step of a move deletes the source tree: DeleteRegTree, unless a
// caller needs to see that step fail.
using DeleteTreeFn = Status (*)(HKEY parent, const std::wstring& name);

// Moves the subkey name of from, with everything below it and with each key's
// owner and access list, to a subkey of the same name of to. A subkey of that name
// already under to is never written over: when it holds the same tree the move
// ends by deleting the source, otherwise it is refused with ERROR_ALREADY_EXISTS
// and both stay. The move is refused before anything is written when the source
// cannot be read whole or a key of it may not be deleted. When a step fails the
// copy made is taken back, and a source that the failed delete had already cut
// into is first made whole again from what was read; if that cannot be done the
// copy is kept, so the entry is never lost. A failure carries the cause of the
// step that failed.
Status MoveRegSubkey(HKEY from, HKEY to, const std::wstring& name, DeleteTreeFn deleteSource = DeleteRegTree);

}  // namespace kiv
