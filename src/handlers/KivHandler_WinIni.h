// Reads and changes the start keys of win.ini.
#pragma once

#include "handlers/KivHandler.h"

class CKivHandler_WinIni : public CKivHandler {
public:
    ~CKivHandler_WinIni() override;
};
