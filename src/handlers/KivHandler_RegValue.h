// Reads and changes string values of a registry key whose data are command lines
// (run keys).
#pragma once

#include "core/KivHandler.h"

class CKivHandler_RegValue : public CKivHandler {
public:
    ~CKivHandler_RegValue() override;
    int DisableItem(CKivItem* item) override;
    int EnableItem(CKivItem* item) override;
    int RemoveItem(CKivItem* item) override;
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
    void GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value) override;
};

namespace kiv {

// The value moves shared by the handlers whose entries are whole values of the
// location's key: disable moves the value into the marker subkey, enable moves it
// back, remove deletes it where it stands.
int DisableRegValueItem(CKivItem* item);
int EnableRegValueItem(CKivItem* item);
int RemoveRegValueItem(CKivItem* item);
void GetRegValueItemLocation(CKivItem* item, std::wstring& key, std::wstring& value);

}  // namespace kiv
