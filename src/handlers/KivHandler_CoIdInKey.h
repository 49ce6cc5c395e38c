// Reads and changes subkeys that register classes: each subkey of the location's
// key is one entry, named by a class identifier or carrying a command line.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "core/KivHandler.h"
#include "platform/Handles.h"

class CKivHandler_CoIdInKey : public CKivHandler {
public:
    ~CKivHandler_CoIdInKey() override;
    int DisableItem(CKivItem* item) override;
    int EnableItem(CKivItem* item) override;
    int RemoveItem(CKivItem* item) override;
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
    void GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value) override;
};

namespace kiv {

// The subkey moves shared by the handlers whose entries are whole subkeys of the
// location's key: disable moves the subkey with everything below it into the
// marker subkey, enable moves it back, remove deletes it where it stands.
int DisableSubkeyItem(CKivItem* item);
int EnableSubkeyItem(CKivItem* item);
int RemoveSubkeyItem(CKivItem* item);
void GetSubkeyItemLocation(CKivItem* item, std::wstring& key, std::wstring& value);

// Opens the key a collection pass reads and calls visit with that key and the name
// of each of its subkeys. The marker subkey is no entry of its own location.
void ForEachEntrySubkey(Location* location, unsigned enabledPass,
                        const std::function<void(HKEY key, const std::wstring& name)>& visit);

}  // namespace kiv
