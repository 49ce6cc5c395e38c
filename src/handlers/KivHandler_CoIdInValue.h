// Reads and changes values of a registry key that name a class identifier, by
// their name or by their string data (shell service objects and the like).
#pragma once

#include "core/KivHandler.h"

class CKivHandler_CoIdInValue : public CKivHandler {
public:
    ~CKivHandler_CoIdInValue() override;
    int DisableItem(CKivItem* item) override;
    int EnableItem(CKivItem* item) override;
    int RemoveItem(CKivItem* item) override;
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
    void GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value) override;
};
