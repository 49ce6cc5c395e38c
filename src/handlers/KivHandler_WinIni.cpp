// Reads and changes the start keys "Run" and "Load" of the section "windows" of the
// system's win.ini.
#include <new>

#include "handlers/HandlerKinds.h"
#include "handlers/steps/ProfileEntries.h"

namespace {

// win.ini is reached through the system's profile functions, so its section names
// no file; the location is only recorded in the items.
const kiv::ProfileSection& Windows() {
    static const kiv::ProfileSection section{L"windows", std::wstring()};
    return section;
}

// A single character is no program name.
const kiv::ProfileKeys kKeys{L"Run", L"Load", 2};

class CKivHandler_WinIni : public CKivHandler {
public:
    int DisableItem(CKivItem* item) override { return kiv::DisableProfileItem(item, Windows()).Report(); }
    int EnableItem(CKivItem* item) override { return kiv::EnableProfileItem(item, Windows()).Report(); }
    int RemoveItem(CKivItem* item) override { return kiv::RemoveProfileItem(item, Windows()).Report(); }
    int RestoreItem(CKivItem* item) override { return kiv::RestoreProfileItem(item, Windows()).Report(); }
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override {
        if (!location || wow64) return;
        kiv::CollectProfileKeys(location, enabledPass, Windows(), kKeys);
    }
};

}  // namespace

CKivHandler* NewWinIniHandler() { return new (std::nothrow) CKivHandler_WinIni(); }
