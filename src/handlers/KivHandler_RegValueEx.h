// Reads and changes single string, multi-string and list values.
#pragma once

#include "handlers/KivHandler.h"

class CKivHandler_RegValueEx : public CKivHandler {
public:
    ~CKivHandler_RegValueEx() override;
};
