// Reads and changes autorun.inf files of the drives.
#pragma once

#include "handlers/KivHandler.h"

class CKivHandler_AutorunInf : public CKivHandler {
public:
    ~CKivHandler_AutorunInf() override;
};
