// The command a service's failure actions run each time the service fails, as an
// entry of its service. The service manager keeps it with the failure actions and
// writes it to the service's key as "FailureCommand"; a disabled command is kept
// under that name in the marker subkey of the service's key, where the disabled
// pass reads it. Items name their service by registry name 0.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Status.h"

class Location;
class CKivItem;

namespace kiv {

extern const wchar_t kFailureCommandValue[];

// Lists each service (of the Win32 kinds, the only ones with failure actions) whose
// recovery command leads to an existing file: the live command in the enabled
// pass, the kept one in the disabled pass.
void CollectRecoveryCommands(Location* location, unsigned enabledPass, unsigned char wow64);

// Keeps the command in the marker subkey, then clears it; a kept command of
// another text is never written over, and a command that cannot be cleared is
// taken back out of the marker.
Status DisableRecoveryCommand(CKivItem* item);

// Gives the kept command back to the service, then drops it from the marker. A
// service that has a command of another text meanwhile keeps both: refused.
Status EnableRecoveryCommand(CKivItem* item);

// Opens the registry editor at the command's value, in the marker when disabled.
int GoToRecoveryCommand(CKivItem* item);

// How a change reaches the service manager: the command (empty to clear it) set
// through the failure actions, all else unchanged. Tests replace it to see a
// refusal of the manager (null puts the real change back); the previous change is
// returned.
using RecoveryCommandChange = Status (*)(const std::wstring& service, const std::wstring& command);
RecoveryCommandChange SetRecoveryCommandChange(RecoveryCommandChange change);

}  // namespace kiv
