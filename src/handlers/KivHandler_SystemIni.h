// Reads and changes the start keys of system.ini.
#pragma once

#include "handlers/KivHandler.h"

class CKivHandler_SystemIni : public CKivHandler {
public:
    ~CKivHandler_SystemIni() override;
};
