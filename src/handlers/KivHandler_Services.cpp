// Reads and changes services from the service control manager.
#include <new>

#include "core/Records.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/ServiceEntries.h"

namespace {

class CKivHandler_Services : public CKivHandler {
public:
    int DisableItem(CKivItem* item) override { return kiv::DisableServiceItem(item).Report(); }
    int EnableItem(CKivItem* item) override { return kiv::EnableServiceItem(item).Report(); }
    int RemoveItem(CKivItem* item) override;
    int GoTo(CKivItem* item) override { return kiv::GoToServiceItem(item); }
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override {
        kiv::CollectServiceItems(location, enabledPass, wow64, SERVICE_WIN32);
    }
};

// The service is gone once deleted; the group lists that still name it are
// cleaned as far as they can be, and the removal counts as done either way.
int CKivHandler_Services::RemoveItem(CKivItem* item) {
    const kiv::Status deleted = kiv::DeleteServiceItem(item);
    if (deleted) kiv::DropFromServiceGroups(item->m_regNames[0]);
    return deleted.Report();
}

}  // namespace

CKivHandler* NewServicesHandler() { return new (std::nothrow) CKivHandler_Services(); }
