// Reads and changes kernel, file-system and recognizer drivers from the service
// control manager; disabling and enabling work as for services.
#include <new>

#include "handlers/HandlerKinds.h"
#include "handlers/steps/ServiceEntries.h"

namespace {

class CKivHandler_Drivers : public CKivHandler {
public:
    int DisableItem(CKivItem* item) override { return kiv::DisableServiceItem(item).Report(); }
    int EnableItem(CKivItem* item) override { return kiv::EnableServiceItem(item).Report(); }
    // Drivers belong to no shared-process group: deleting the service is all.
    int RemoveItem(CKivItem* item) override { return kiv::DeleteServiceItem(item).Report(); }
    int GoTo(CKivItem* item) override { return kiv::GoToServiceItem(item); }
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override {
        kiv::CollectServiceItems(location, enabledPass, wow64, SERVICE_DRIVER);
    }
};

}  // namespace

CKivHandler* NewDriversHandler() { return new (std::nothrow) CKivHandler_Drivers(); }
