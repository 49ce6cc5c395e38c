// Reads and changes string values of a registry key (run keys).
#pragma once

#include "handlers/KivHandler.h"

class CKivHandler_RegValue : public CKivHandler {
public:
    ~CKivHandler_RegValue() override;
};
