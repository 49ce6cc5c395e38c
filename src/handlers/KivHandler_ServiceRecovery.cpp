// Reads and changes the commands that services' failure actions run.
#include <new>

#include "core/Records.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/RecoveryCommands.h"
#include "platform/Status.h"

namespace {

class CKivHandler_ServiceRecovery : public CKivHandler {
public:
    int DisableItem(CKivItem* item) override { return kiv::DisableRecoveryCommand(item).Report(); }
    int EnableItem(CKivItem* item) override { return kiv::EnableRecoveryCommand(item).Report(); }
    // The command belongs to its service: clearing it for good is left to the
    // service's own tools, and a disabled command can always come back.
    int RemoveItem(CKivItem*) override { return kiv::Status::Fail(ERROR_NOT_SUPPORTED).Report(); }
    int GoTo(CKivItem* item) override { return kiv::GoToRecoveryCommand(item); }
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override {
        kiv::CollectRecoveryCommands(location, enabledPass, wow64);
    }
};

}  // namespace

CKivHandler* NewServiceRecoveryHandler() { return new (std::nothrow) CKivHandler_ServiceRecovery(); }
