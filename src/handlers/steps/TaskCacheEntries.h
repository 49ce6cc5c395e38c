// Scheduled tasks that only the scheduler's registry cache shows. A task whose key
// under the cache's "Tree" lost its security descriptor, or whose definition under
// "Tasks" has no tree key at all, still runs, but the scheduler's own enumeration
// no longer returns it. The location is the cache key (its "Tasks", "Tree",
// "Plain", "Logon" and "Boot" subkeys); items name the task's identifier (the
// subkey of "Tasks") by registry name 0 and its path ("\folder\name") by 1.
//
// A removed task keeps its cache keys below the cache's subkey "_removedByKiv",
// laid out as in the cache, and its definition file below the folder
// "Tasks_removedByKiv" beside the system's "Tasks" folder, at the same relative
// path; a restore moves both back.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/Status.h"

class Location;
class CKivItem;

namespace kiv {

// The first action of a cache's binary "Actions" value, read only in this layout
// (little-endian; every text UTF-16 without terminator, preceded by its length in
// bytes as a 32-bit number, which must be even and lie inside the data):
//   16-bit version, 3
//   text: the context (the principal the actions run as)
//   16-bit action kind, 0x6666 for a program to run
//   text: the action's identifier (may be empty)
//   text: the program (not empty, without quotes or NULs)
//   text: its arguments
//   text: its working folder
// What follows the first action is not read. Anything else is refused: false, and
// command is left empty. On success command is the program (quoted) and its
// arguments, as a command line.
bool ReadFirstCommand(const BYTE* data, size_t size, std::wstring& command);

// Whether a task path is one this library acts on: "\" then names separated by
// "\", none empty, "." or "..", none holding "/" or ":". Any other path could lead
// a file move outside the system's task folders.
bool IsSafeTaskPath(const std::wstring& path);

// Lists the cache's tasks that the scheduler does not return, in the enabled pass,
// and the removed ones, in the disabled pass.
void CollectHiddenTasks(Location* location, unsigned enabledPass, unsigned char wow64);

// Moves the task's cache keys and its file to where a restore finds them; any step
// that fails takes back the steps before it.
Status RemoveHiddenTask(CKivItem* item);
Status RestoreHiddenTask(CKivItem* item);

// Opens the registry editor at the task's definition key.
int GoToHiddenTask(CKivItem* item);

// The system's folder of task definition files and the one removed files are kept in.
std::wstring TaskFilesFolder();
std::wstring RemovedTaskFilesFolder();

}  // namespace kiv
