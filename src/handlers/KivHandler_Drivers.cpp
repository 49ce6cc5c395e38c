#include "handlers/KivHandler_Drivers.h"

#include <windows.h>

#include "handlers/KivHandler_Services.h"

CKivHandler_Drivers::~CKivHandler_Drivers() = default;

int CKivHandler_Drivers::DisableItem(CKivItem* item) { return kiv::DisableServiceItem(item); }
int CKivHandler_Drivers::EnableItem(CKivItem* item) { return kiv::EnableServiceItem(item); }
int CKivHandler_Drivers::GoTo(CKivItem* item) { return kiv::GoToServiceItem(item); }

// Kernel, file-system and recognizer drivers.
void CKivHandler_Drivers::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    kiv::CollectServiceItems(location, enabledPass, wow64, SERVICE_DRIVER);
}

// Drivers belong to no shared-process group: deleting the service is all.
int CKivHandler_Drivers::RemoveItem(CKivItem* item) { return kiv::DeleteServiceItem(item); }
