// Entries that are whole values of a location's key (run keys, class identifiers
// named by a value).
#pragma once

#include <string>

#include "handlers/steps/MarkerEntries.h"

namespace kiv {

extern const EntrySteps kValueEntry;

// The location's key and the entry's value name.
void GetValueEntryLocation(CKivItem* item, std::wstring& key, std::wstring& value);

}  // namespace kiv
