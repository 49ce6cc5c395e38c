// Lists the background transfer jobs whose notification command line starts a
// program, and switches that command line off and on.
#include <new>

#include "core/Records.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/BitsJobEntries.h"
#include "platform/Status.h"

namespace {

class CKivHandler_BitsJobs : public CKivHandler {
public:
    int DisableItem(CKivItem* item) override { return kiv::DisableBitsJob(item).Report(); }
    int EnableItem(CKivItem* item) override { return kiv::EnableBitsJob(item).Report(); }
    int RemoveItem(CKivItem* item) override { return kiv::RemoveBitsJob(item).Report(); }
    int RestoreItem(CKivItem* item) override { return kiv::RestoreBitsJob(item).Report(); }
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override {
        kiv::CollectBitsJobs(location, enabledPass, wow64);
    }
};

}  // namespace

CKivHandler* NewBitsJobsHandler() { return new (std::nothrow) CKivHandler_BitsJobs(); }
