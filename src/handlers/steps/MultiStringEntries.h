// Entries of a location that names one registry value: a single command line
// (REG_SZ, REG_EXPAND_SZ) or a list of command lines (REG_MULTI_SZ, one entry per
// string). A disabled entry lies in the value of the same name in the marker
// subkey: the whole value for a single command line, one string of its list
// otherwise.
#pragma once

#include "platform/Status.h"

class Location;
class CKivItem;

namespace kiv {

void CollectValueEntries(Location* location, unsigned enabledPass, unsigned char wow64);
Status DisableValueEntry(CKivItem* item);
Status EnableValueEntry(CKivItem* item);
Status RemoveValueEntry(CKivItem* item);

}  // namespace kiv
