// Reads and changes drivers from the service control manager; disabling and
// enabling work as for services.
#pragma once

#include "core/KivHandler.h"

class CKivHandler_Drivers : public CKivHandler {
public:
    ~CKivHandler_Drivers() override;
    int DisableItem(CKivItem* item) override;
    int EnableItem(CKivItem* item) override;
    int RemoveItem(CKivItem* item) override;
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
    int GoTo(CKivItem* item) override;
};
