// Reads and changes objects named by desktop.ini files.
#pragma once

#include "handlers/KivHandler.h"

class CKivHandler_DesktopIniObj : public CKivHandler {
public:
    ~CKivHandler_DesktopIniObj() override;
};
