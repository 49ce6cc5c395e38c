// Lists the scheduled tasks that only the scheduler's registry cache shows, and
// removes and restores them by moving their cache keys and definition file.
#include <new>

#include "core/Records.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/TaskCacheEntries.h"
#include "platform/Status.h"

namespace {

class CKivHandler_HiddenTasks : public CKivHandler {
public:
    // A running scheduler keeps its cache in memory and writes it back: editing a
    // task's state there is not safe, so only whole moves are offered.
    int DisableItem(CKivItem*) override { return kiv::Status::Fail(ERROR_NOT_SUPPORTED).Report(); }
    int EnableItem(CKivItem*) override { return kiv::Status::Fail(ERROR_NOT_SUPPORTED).Report(); }
    int RemoveItem(CKivItem* item) override { return kiv::RemoveHiddenTask(item).Report(); }
    int RestoreItem(CKivItem* item) override { return kiv::RestoreHiddenTask(item).Report(); }
    int GoTo(CKivItem* item) override { return kiv::GoToHiddenTask(item); }
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override {
        kiv::CollectHiddenTasks(location, enabledPass, wow64);
    }
};

}  // namespace

CKivHandler* NewHiddenTasksHandler() { return new (std::nothrow) CKivHandler_HiddenTasks(); }
