// Reads and changes services from the service control manager.
#pragma once

#include "handlers/KivHandler.h"

class CKivHandler_Services : public CKivHandler {
public:
    ~CKivHandler_Services() override;
};
