// Reads and changes class identifiers named by the values of a key's subkeys.
#pragma once

#include "handlers/KivHandler.h"

class CKivHandler_CoIdInKeyValue : public CKivHandler {
public:
    ~CKivHandler_CoIdInKeyValue() override;
};
