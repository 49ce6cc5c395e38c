// Reads and changes drivers from the service control manager.
#pragma once

#include "handlers/KivHandler.h"

class CKivHandler_Drivers : public CKivHandler {
public:
    ~CKivHandler_Drivers() override;
};
