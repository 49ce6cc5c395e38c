// Reads and changes subkeys that register classes.
#pragma once

#include "handlers/KivHandler.h"

class CKivHandler_CoIdInKey : public CKivHandler {
public:
    ~CKivHandler_CoIdInKey() override;
};
