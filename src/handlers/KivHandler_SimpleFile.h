// Reads and changes files in a startup folder.
#pragma once

#include "handlers/KivHandler.h"

class CKivHandler_SimpleFile : public CKivHandler {
public:
    ~CKivHandler_SimpleFile() override;
};
