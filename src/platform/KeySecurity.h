// A registry key's owner and access list, read from one key and given to another.
// Copying a key's values and subkeys does not copy who may change it: a key that
// Windows protects (owned by the installer service, readable only by some) would
// come back from a move open to everyone who may write its parent.
#pragma once

#include <windows.h>

#include <vector>

#include "platform/Status.h"

namespace kiv {

// The key's security descriptor (owner, group and access list) as the registry
// keeps it, self-relative.
struct KeySecurity {
    std::vector<BYTE> descriptor;
};

// Reads the owner, group and access list of a key opened with read rights.
Status ReadKeySecurity(HKEY key, KeySecurity& security);

// Gives a key the access list read from another: a protected list as it was; an
// inherited one keeps only its own entries and inherits the rest from its new
// parent, as it did from its old one. The owner is given back where the process
// may set it (otherwise it stays the creator). The key must be open with WRITE_DAC.
Status ApplyKeySecurity(HKEY key, const KeySecurity& security);

}  // namespace kiv
