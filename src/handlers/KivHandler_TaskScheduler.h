// Reads and changes scheduled tasks through the Task Scheduler's own interfaces.
// The host's sibling library decides, at every call, whether the 2.0 interfaces
// (root folder only) or the 1.0 interfaces (work items) are used. The calling
// thread must have initialised COM.
#pragma once

#include "core/KivHandler.h"

class CKivHandler_TaskScheduler : public CKivHandler {
public:
    ~CKivHandler_TaskScheduler() override;
    int DisableItem(CKivItem* item) override;
    int EnableItem(CKivItem* item) override;
    int RemoveItem(CKivItem* item) override;
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
    int GoTo(CKivItem* item) override;
};
