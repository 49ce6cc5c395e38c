// Entries that are whole subkeys of a location's key, moved and deleted with
// everything below them (class registrations, command subkeys).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "core/KivHandler.h"
#include "handlers/steps/MarkerEntries.h"

class Location;

namespace kiv {

extern const EntrySteps kSubkeyEntry;

// The entry's subkey, and no value name.
void GetSubkeyEntryLocation(CKivItem* item, std::wstring& key, std::wstring& value);

// A kind whose entries are whole subkeys: disabled, enabled and removed by moving the
// subkey to and from the location's markers. Each kind says only how it reads them.
class SubkeyEntryHandler : public CKivHandler {
public:
    int DisableItem(CKivItem* item) override;
    int EnableItem(CKivItem* item) override;
    int RemoveItem(CKivItem* item) override;
    void GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value) override;
};

// Opens the key a collection pass reads and calls visit with that key and the name
// of each of its subkeys. The marker subkey is no entry of its own location.
void ForEachEntrySubkey(Location* location, unsigned enabledPass,
                        const std::function<void(HKEY key, const std::wstring& name)>& visit);

}  // namespace kiv
