// Reads and changes string values of a registry key whose data are command lines
// (run keys).
#include <new>

#include "core/Records.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/RegistryValues.h"
#include "handlers/steps/StartupSwitch.h"
#include "handlers/steps/ValueEntries.h"
#include "iteminfo/CommandLine.h"
#include "platform/Handles.h"

namespace {

class CKivHandler_RegValue : public CKivHandler {
public:
    int DisableItem(CKivItem* item) override { return kiv::DisableMarkerEntry(item, kiv::kValueEntry).Report(); }
    int EnableItem(CKivItem* item) override;
    int RemoveItem(CKivItem* item) override { return kiv::RemoveMarkerEntry(item, kiv::kValueEntry).Report(); }
    void GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value) override {
        kiv::GetValueEntryLocation(item, key, value);
    }
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
};

kiv::Status MoveValueBack(CKivItem* item) { return kiv::EnableMarkerEntry(item, kiv::kValueEntry); }

// Windows' own switch of a run value is turned back on too, or the value, back in
// its key, would still not start.
int CKivHandler_RegValue::EnableItem(CKivItem* item) {
    if (!kiv::HasRegName(item)) return kiv::Status::Fail(ERROR_INVALID_PARAMETER).Report();
    return kiv::EnableSwitchedEntry(item, item->m_regNames[0], &MoveValueBack).Report();
}

void CKivHandler_RegValue::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    kiv::UniqueHKey key;
    if (!kiv::OpenPassKey(location, enabledPass, key)) return;
    const kiv::StartupSwitches switches(location);
    kiv::EnumRegValues(key.Get(), [&](const std::wstring& name, const kiv::RegValueData& value) {
        if (!value.IsString()) return;
        std::wstring file = value.Text();
        if (!kiv::ResolveEntry(file, wow64)) return;
        auto* item = new CKivItem(name, file, location, GotoKind::RegistryValue, wow64, enabledPass, 0);
        item->m_regNames.push_back(name);
        item->m_startupSwitchOff = switches.Off(name) ? 1 : 0;
    });
}

}  // namespace

CKivHandler* NewRegValueHandler() { return new (std::nothrow) CKivHandler_RegValue(); }
