// Reads and changes services from the service control manager. An entry is
// disabled by setting its "Start" value to 4 in the service's registry key; the
// start type it had is kept beside it in the value "_disabledByKiv".
#pragma once

#include <windows.h>


#include "core/KivHandler.h"

class CKivHandler_Services : public CKivHandler {
public:
    ~CKivHandler_Services() override;
    int DisableItem(CKivItem* item) override;
    int EnableItem(CKivItem* item) override;
    int RemoveItem(CKivItem* item) override;
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
    int GoTo(CKivItem* item) override;
};

namespace kiv {

// Steps shared by the service and driver handlers. Items name their service by
// registry name 0; the location's key holds one subkey per service.

// Lists the services of the given kinds (SERVICE_WIN32, SERVICE_DRIVER) whose
// image leads to an existing file and whose start state matches the pass.
void CollectServiceItems(Location* location, unsigned enabledPass, unsigned char wow64, DWORD serviceType);

// Saves "Start" in "_disabledByKiv" and sets it to 4; a service already at 4 is
// left as it is, so the start type saved before is never replaced by 4.
int DisableServiceItem(CKivItem* item);

// Puts the saved start type back. Without a saved value a service that does not
// start is set to automatic start, and a log line says so.
int EnableServiceItem(CKivItem* item);

// Deletes the service through the service control manager.
int DeleteServiceItem(CKivItem* item);

// Opens the registry editor at the service's own key: the key stays where it is
// when the service is disabled.
int GoToServiceItem(CKivItem* item);

}  // namespace kiv
