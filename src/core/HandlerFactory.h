// Makes the handler object of each handler type. Declared here for the facade,
// which alone makes handlers; the handlers' side of the module defines it.
#pragma once

#include "core/KivHandler.h"
#include "kiv.h"

// The handler of the type, or null for a value outside the enumeration.
CKivHandler* CreateKivHandler(EKivHandlerType type);
