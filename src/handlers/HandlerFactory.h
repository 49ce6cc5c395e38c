// Makes the handler object of each handler type.
#pragma once

#include "handlers/KivHandler.h"
#include "kiv.h"

// The handler of the type, or null for a value outside the enumeration.
CKivHandler* CreateKivHandler(EKivHandlerType type);
