// Lists the WMI event subscriptions that start a program, and takes their bindings
// away and puts them back.
#include <new>

#include "core/Records.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/WmiSubscriptions.h"
#include "platform/Status.h"

namespace {

class CKivHandler_WmiSubscriptions : public CKivHandler {
public:
    int DisableItem(CKivItem* item) override { return kiv::DisableWmiSubscription(item).Report(); }
    int EnableItem(CKivItem* item) override { return kiv::EnableWmiSubscription(item).Report(); }
    int RemoveItem(CKivItem* item) override { return kiv::RemoveWmiSubscription(item).Report(); }
    int RestoreItem(CKivItem* item) override { return kiv::RestoreWmiSubscription(item).Report(); }
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override {
        kiv::CollectWmiSubscriptions(location, enabledPass, wow64);
    }
    void GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value) override {
        kiv::WmiSubscriptionRegLocation(item, key, value);
    }
};

}  // namespace

CKivHandler* NewWmiSubscriptionsHandler() { return new (std::nothrow) CKivHandler_WmiSubscriptions(); }
