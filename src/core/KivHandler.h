// The handler contract: one stateless object per kind of location, able to read a
// location in an enabled and a disabled pass and to change the items found there.
// It lives beside the records it acts on; the handlers themselves sit above.
#pragma once

#include <string>

class Location;
class CKivItem;

class CKivHandler {
public:
    virtual ~CKivHandler();
    virtual int DisableItem(CKivItem* item);
    virtual int EnableItem(CKivItem* item);
    virtual int RemoveItem(CKivItem* item);
    virtual int RestoreItem(CKivItem* item);
    virtual void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64);
    virtual int GoTo(CKivItem* item);
    virtual void GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value);
    virtual int ItemCompatible(CKivItem* item);
};

namespace kiv {

// Disabled entries of a registry location live in this subkey of its key.
extern const wchar_t kMarker[];
// Kinds that keep what a removal took, for a restore, keep it in this subkey.
extern const wchar_t kRemovedMarker[];
std::wstring MarkerPath(const std::wstring& keyPath);
// The key that holds an item's entry: its location's key, or the subkey below it
// that the item names (path below the location's root).
std::wstring EntryKeyPath(const CKivItem* item);

}  // namespace kiv
