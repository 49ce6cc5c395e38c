// Reads and changes the start keys "Run" and "Load" of the section "windows" of the
// system's win.ini.
#pragma once

#include "core/KivHandler.h"

class CKivHandler_WinIni : public CKivHandler {
public:
    ~CKivHandler_WinIni() override;
    int DisableItem(CKivItem* item) override;
    int EnableItem(CKivItem* item) override;
    int RemoveItem(CKivItem* item) override;
    int RestoreItem(CKivItem* item) override;
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
};
