// Reads and changes the AutoPlay policy of the drives.
#pragma once

#include "handlers/KivHandler.h"

class CKivHandler_AutoPlay : public CKivHandler {
public:
    ~CKivHandler_AutoPlay() override;
};
