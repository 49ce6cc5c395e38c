// Reads and changes scheduled tasks.
#pragma once

#include "handlers/KivHandler.h"

class CKivHandler_TaskScheduler : public CKivHandler {
public:
    ~CKivHandler_TaskScheduler() override;
};
