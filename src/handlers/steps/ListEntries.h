// Entries of a list held in one string value (space- or comma-separated), such as
// the AppInit DLL list or Winlogon's "UserInit": collect, disable, enable and
// remove one entry. A disabled entry is appended to the value of the same name in
// the marker subkey.
#pragma once

#include <string>

#include "platform/Status.h"

class Location;
class CKivItem;

namespace kiv {

// Where entry stands in text as a whole entry (bounded by the text's ends, a blank
// or a comma), or npos. "a.dll" is never found inside "mya.dll".
size_t FindListEntry(const std::wstring& text, const std::wstring& entry);

void ListCollect(Location* location, unsigned enabledPass, unsigned char wow64);
Status ListDisable(CKivItem* item);
Status ListEnable(CKivItem* item);
Status ListRemove(CKivItem* item);

// Shows the item's location value in the registry editor: in the location's key
// while enabled, in its marker subkey once disabled. Every entry of a list lives
// in that one value, so it is the value selected.
int GoToLocationValue(CKivItem* item);

}  // namespace kiv
