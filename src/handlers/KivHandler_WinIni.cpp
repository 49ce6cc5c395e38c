#include "handlers/KivHandler_WinIni.h"

#include "handlers/ProfileKeys.h"

namespace {

// win.ini is reached through the system's profile functions, so its section names
// no file; the location is only recorded in the items.
const kiv::ProfileSection& Windows() {
    static const kiv::ProfileSection section{L"windows", std::wstring()};
    return section;
}

// A single character is no program name.
const kiv::ProfileKeys kKeys{L"Run", L"Load", 2};

}  // namespace

CKivHandler_WinIni::~CKivHandler_WinIni() = default;

void CKivHandler_WinIni::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    if (!location || wow64) return;
    kiv::CollectProfileKeys(location, enabledPass, Windows(), kKeys);
}

int CKivHandler_WinIni::DisableItem(CKivItem* item) { return kiv::DisableProfileItem(item, Windows()); }
int CKivHandler_WinIni::EnableItem(CKivItem* item) { return kiv::EnableProfileItem(item, Windows()); }
int CKivHandler_WinIni::RemoveItem(CKivItem* item) { return kiv::RemoveProfileItem(item, Windows()); }
int CKivHandler_WinIni::RestoreItem(CKivItem* item) { return kiv::RestoreProfileItem(item, Windows()); }
