#include "handlers/KivHandler_SystemIni.h"

#include "core/Records.h"
#include "handlers/ProfileKeys.h"
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

template <typename Action>
int OnBootSection(CKivItem* item, Action action) {
    kiv::ProfileSection where;
    if (!item || !BootSection(item->m_location, where)) return 0;
    return action(item, where);
}

}  // namespace

CKivHandler_SystemIni::~CKivHandler_SystemIni() = default;

void CKivHandler_SystemIni::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    kiv::ProfileSection where;
    if (wow64 || !BootSection(location, where)) return;
    kiv::CollectProfileKeys(location, enabledPass, where, kKeys);
}

int CKivHandler_SystemIni::DisableItem(CKivItem* item) { return OnBootSection(item, kiv::DisableProfileItem); }
int CKivHandler_SystemIni::EnableItem(CKivItem* item) { return OnBootSection(item, kiv::EnableProfileItem); }
int CKivHandler_SystemIni::RemoveItem(CKivItem* item) { return OnBootSection(item, kiv::RemoveProfileItem); }
int CKivHandler_SystemIni::RestoreItem(CKivItem* item) { return OnBootSection(item, kiv::RestoreProfileItem); }
