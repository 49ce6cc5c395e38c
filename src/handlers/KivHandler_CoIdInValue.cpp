// Reads and changes values of a registry key that name a class identifier, by
// their name or by their string data (shell service objects and the like).
#include <new>

#include "core/Records.h"
#include "handlers/ClassLookup.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/RegistryValues.h"
#include "handlers/steps/ValueEntries.h"
#include "platform/Handles.h"

namespace {

class CKivHandler_CoIdInValue : public CKivHandler {
public:
    int DisableItem(CKivItem* item) override { return kiv::DisableMarkerEntry(item, kiv::kValueEntry).Report(); }
    int EnableItem(CKivItem* item) override { return kiv::EnableMarkerEntry(item, kiv::kValueEntry).Report(); }
    int RemoveItem(CKivItem* item) override { return kiv::RemoveMarkerEntry(item, kiv::kValueEntry).Report(); }
    void GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value) override {
        kiv::GetValueEntryLocation(item, key, value);
    }
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
};

void CKivHandler_CoIdInValue::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    kiv::UniqueHKey key;
    if (!kiv::OpenPassKey(location, enabledPass, key)) return;
    kiv::EnumRegValues(key.Get(), [&](const std::wstring& name, const kiv::RegValueData& value) {
        std::wstring title, file;
        bool isText = value.type == REG_SZ;
        if (kiv::LookupClass(name, location, title, file, wow64)) {
            // A value named by its class carries its own title in its data, if any.
            if (isText && value.size > 0 && !value.Text().empty()) title = value.Text();
        } else if (!(isText && kiv::LookupClass(value.Text(), location, title, file, wow64))) {
            return;
        }
        auto* item = new CKivItem(title, file, location, GotoKind::RegistryValue, wow64, enabledPass, 0);
        item->m_regNames.push_back(name);
    });
}

}  // namespace

CKivHandler* NewCoIdInValueHandler() { return new (std::nothrow) CKivHandler_CoIdInValue(); }
