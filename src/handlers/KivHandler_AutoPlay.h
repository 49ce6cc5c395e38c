// Reads and changes the AutoPlay policy of the drives: one item per drive letter
// whose root holds an autorun file, switched through the drive's bit in the
// Explorer policy "NoDriveAutoRun".
#pragma once

#include "core/KivHandler.h"

class CKivHandler_AutoPlay : public CKivHandler {
public:
    ~CKivHandler_AutoPlay() override;
    int DisableItem(CKivItem* item) override;
    int EnableItem(CKivItem* item) override;
    int RemoveItem(CKivItem* item) override;
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
    int GoTo(CKivItem* item) override;
    int ItemCompatible(CKivItem* item) override;
};
