// Reads and changes class identifiers named by a key's values.
#pragma once

#include "handlers/KivHandler.h"

class CKivHandler_CoIdInValue : public CKivHandler {
public:
    ~CKivHandler_CoIdInValue() override;
};
