// Reads and changes the Winsock provider catalogue.
#pragma once

#include "handlers/KivHandler.h"

class CKivHandler_LspChain : public CKivHandler {
public:
    ~CKivHandler_LspChain() override;
};
