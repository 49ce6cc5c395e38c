// Reads and changes the AppInit DLL list.
#pragma once

#include "handlers/KivHandler.h"

class CKivHandler_AppInitDll : public CKivHandler {
public:
    ~CKivHandler_AppInitDll() override;
};
