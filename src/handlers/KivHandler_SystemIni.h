// Reads and changes the start keys "shell" and "scrnsave.exe" of the section "boot"
// of the profile file the location names (system.ini).
#pragma once

#include "core/KivHandler.h"

class CKivHandler_SystemIni : public CKivHandler {
public:
    ~CKivHandler_SystemIni() override;
    int DisableItem(CKivItem* item) override;
    int EnableItem(CKivItem* item) override;
    int RemoveItem(CKivItem* item) override;
    int RestoreItem(CKivItem* item) override;
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
};
