// Reads and changes the commands of the autorun file at the root of each fixed
// drive. A command is disabled or removed by renaming its key in that file.
#pragma once

#include "core/KivHandler.h"

class CKivHandler_AutorunInf : public CKivHandler {
public:
    ~CKivHandler_AutorunInf() override;
    int DisableItem(CKivItem* item) override;
    int EnableItem(CKivItem* item) override;
    int RemoveItem(CKivItem* item) override;
    int RestoreItem(CKivItem* item) override;
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
};
