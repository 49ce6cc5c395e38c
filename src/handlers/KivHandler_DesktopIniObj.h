// Lists the classes that the desktop.ini files of system folders load; these
// entries have no disabled state and cannot be changed.
#pragma once

#include "core/KivHandler.h"

class CKivHandler_DesktopIniObj : public CKivHandler {
public:
    ~CKivHandler_DesktopIniObj() override;
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
};
