// Reads and changes subkeys that name the class they load in their value "CLSID".
#pragma once

#include "core/KivHandler.h"

class CKivHandler_CoIdInKeyValue : public CKivHandler {
public:
    ~CKivHandler_CoIdInKeyValue() override;
    int DisableItem(CKivItem* item) override;
    int EnableItem(CKivItem* item) override;
    int RemoveItem(CKivItem* item) override;
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
    void GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value) override;
};
