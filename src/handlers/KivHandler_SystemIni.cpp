// Reads and changes the start keys "shell" and "scrnsave.exe" of the section "boot"
// of the profile file the location names (system.ini).
#include <new>

#include "core/Records.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/ProfileEntries.h"
#include "iteminfo/CommandLine.h"

namespace {

const kiv::ProfileKeys kKeys{L"shell", L"scrnsave.exe", 1};

// The section "boot" of the existing profile file the location's path names.
// Collection and the actions resolve the path alike, so an action writes to the
// very file its item was read from (a path with environment strings included).
bool BootSection(const Location* location, kiv::ProfileSection& where) {
    if (!location) return false;
    std::wstring file = location->m_path;
    if (!kiv::ResolveEntry(file, 0)) return false;
    where = kiv::ProfileSection{L"boot", file};
    return true;
}

// An item whose profile file is gone has nothing left to change.
template <typename Action>
int OnBootSection(CKivItem* item, Action action) {
    kiv::ProfileSection where;
    if (!item) return kiv::Status::Fail(ERROR_INVALID_PARAMETER).Report();
    if (!BootSection(item->m_location, where)) return kiv::Status::Fail(ERROR_FILE_NOT_FOUND).Report();
    return action(item, where).Report();
}

class CKivHandler_SystemIni : public CKivHandler {
public:
    int DisableItem(CKivItem* item) override { return OnBootSection(item, kiv::DisableProfileItem); }
    int EnableItem(CKivItem* item) override { return OnBootSection(item, kiv::EnableProfileItem); }
    int RemoveItem(CKivItem* item) override { return OnBootSection(item, kiv::RemoveProfileItem); }
    int RestoreItem(CKivItem* item) override { return OnBootSection(item, kiv::RestoreProfileItem); }
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override {
        kiv::ProfileSection where;
        if (wow64 || !BootSection(location, where)) return;
        kiv::CollectProfileKeys(location, enabledPass, where, kKeys);
    }
};

}  // namespace

CKivHandler* NewSystemIniHandler() { return new (std::nothrow) CKivHandler_SystemIni(); }
