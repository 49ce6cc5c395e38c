// Entries that are whole values or whole subkeys of a registry location's key. A
// disabled entry lies under the same name in the location's marker subkey: disable
// moves it there, enable moves it back, remove deletes it where it stands. The
// three are written once; what a kind of entry brings is how it is named, found,
// moved and deleted.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "platform/Status.h"

class CKivItem;
class Location;

namespace kiv {

struct EntrySteps {
    bool (*named)(const CKivItem* item);                   // the item names an entry of this kind
    Status (*exists)(HKEY key, const std::wstring& name);  // the entry is there to be moved
    Status (*move)(HKEY from, HKEY to, const std::wstring& name);
    Status (*erase)(HKEY key, const std::wstring& name);
};

Status DisableMarkerEntry(CKivItem* item, const EntrySteps& steps);
Status EnableMarkerEntry(CKivItem* item, const EntrySteps& steps);
Status RemoveMarkerEntry(CKivItem* item, const EntrySteps& steps);

// Kinds whose live entries are not registry entries (jobs, subscriptions) keep a
// disabled or removed one as a subkey of the location's marker or removed store;
// the disabled pass visits each with its store's key and whether it was removed.
void ForEachKeptEntry(const Location* location,
                      const std::function<void(HKEY store, const std::wstring& id, bool removed)>& visit);

}  // namespace kiv
