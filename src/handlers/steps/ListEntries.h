// Entries of a list held in one string value, such as the AppInit DLL list or
// Winlogon's "UserInit": collect, disable, enable and remove one entry. A disabled
// entry is appended to the value of the same name in the marker subkey. A list
// that holds an entry twice gives one item per copy, and each action moves one.
#pragma once

#include <string>

#include "platform/Status.h"

class Location;
class CKivItem;

namespace kiv {

// Where entry stands in text as a whole entry (bounded by the text's ends, a blank
// or a comma), or npos. "a.dll" is never found inside "mya.dll".
size_t FindListEntry(const std::wstring& text, const std::wstring& entry);

// How the live value separates its entries. Words: blanks or commas, an entry
// appended after a blank. Elements: commas only, each element a whole command line
// that may hold blanks (blanks around it do not count), an entry appended after a
// comma; Winlogon reads its lists so. Winlogon's marker value keeps elements too,
// each closed by a comma, so a disabled element with blanks stays whole; a marker
// without a comma (an earlier version's) is read as words.
enum class ListStyle { Words, Elements };

// Where the element equal to entry (blanks around it ignored) starts and ends in
// text, commas excluded; false when no element is.
bool FindListElement(const std::wstring& text, const std::wstring& entry, size_t& begin, size_t& end);

void ListCollect(Location* location, unsigned enabledPass, unsigned char wow64, ListStyle style = ListStyle::Words);
Status ListDisable(CKivItem* item, ListStyle style = ListStyle::Words);
Status ListEnable(CKivItem* item, ListStyle style = ListStyle::Words);
Status ListRemove(CKivItem* item, ListStyle style = ListStyle::Words);

// Shows the item's location value in the registry editor: in the location's key
// while enabled, in its marker subkey once disabled. Every entry of a list lives
// in that one value, so it is the value selected.
int GoToLocationValue(CKivItem* item);

}  // namespace kiv
