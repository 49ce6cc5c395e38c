// Reads and changes files in a startup folder. A disabled file lies under the same
// name in the sibling folder whose name is the folder's own followed by the marker
// (Startup -> Startup_disabledByKiv); where the file lies is its state.
#pragma once

#include "core/KivHandler.h"

class CKivHandler_SimpleFile : public CKivHandler {
public:
    ~CKivHandler_SimpleFile() override;
    int DisableItem(CKivItem* item) override;
    int EnableItem(CKivItem* item) override;
    int RemoveItem(CKivItem* item) override;
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
};
