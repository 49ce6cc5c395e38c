// Reads and changes string values of a registry key whose data are command lines
// (run keys).
#include <new>

#include "core/Records.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/RegistryValues.h"
#include "handlers/steps/ValueEntries.h"
#include "iteminfo/CommandLine.h"
#include "platform/Handles.h"

namespace {

class CKivHandler_RegValue : public CKivHandler {
public:
    int DisableItem(CKivItem* item) override { return kiv::DisableMarkerEntry(item, kiv::kValueEntry).Report(); }
    int EnableItem(CKivItem* item) override { return kiv::EnableMarkerEntry(item, kiv::kValueEntry).Report(); }
    int RemoveItem(CKivItem* item) override { return kiv::RemoveMarkerEntry(item, kiv::kValueEntry).Report(); }
    void GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value) override {
        kiv::GetValueEntryLocation(item, key, value);
    }
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
};

void CKivHandler_RegValue::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    kiv::UniqueHKey key;
    if (!kiv::OpenPassKey(location, enabledPass, key)) return;
    kiv::EnumRegValues(key.Get(), [&](const std::wstring& name, const kiv::RegValueData& value) {
        if (!value.IsString()) return;
        std::wstring file = value.Text();
        if (!kiv::ResolveEntry(file, wow64)) return;
        auto* item = new CKivItem(name, file, location, GotoKind::RegistryValue, wow64, enabledPass, 0);
        item->m_regNames.push_back(name);
    });
}

}  // namespace

CKivHandler* NewRegValueHandler() { return new (std::nothrow) CKivHandler_RegValue(); }
