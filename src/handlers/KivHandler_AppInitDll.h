// Reads and changes a registry value that lists libraries separated by spaces or
// commas, such as the AppInit DLL list that Windows loads into every program
// using user32.
#pragma once

#include <string>

#include "core/KivHandler.h"

class CKivHandler_AppInitDll : public CKivHandler {
public:
    ~CKivHandler_AppInitDll() override;
    int DisableItem(CKivItem* item) override;
    int EnableItem(CKivItem* item) override;
    int RemoveItem(CKivItem* item) override;
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
    int GoTo(CKivItem* item) override;
    void GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value) override;
};
