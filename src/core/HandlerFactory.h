// Makes the handler object of each handler type. Declared here for the facade,
// which alone makes handlers; the handlers' side of the module defines it.
#pragma once

#include "core/KivHandler.h"
#include "kiv.h"

// The handler of the type, or null for a value outside the enumeration.
CKivHandler* CreateKivHandler(EKivHandlerType type);

// Whether a removal of the entry of removed also removes the entry of other (itself
// included), as where the system removes a whole provider with all its entries;
// false for the kinds whose removal takes one entry only.
bool RemovedWith(const CKivItem& removed, const CKivItem& other);
