#include "handlers/KivHandler_CoIdInValue.h"

#include "core/Records.h"
#include "handlers/ClassLookup.h"
#include "handlers/KivHandler_RegValue.h"
#include "handlers/RegistryValues.h"
#include "platform/Handles.h"

CKivHandler_CoIdInValue::~CKivHandler_CoIdInValue() = default;

int CKivHandler_CoIdInValue::DisableItem(CKivItem* item) { return kiv::DisableRegValueItem(item); }
int CKivHandler_CoIdInValue::EnableItem(CKivItem* item) { return kiv::EnableRegValueItem(item); }
int CKivHandler_CoIdInValue::RemoveItem(CKivItem* item) { return kiv::RemoveRegValueItem(item); }
void CKivHandler_CoIdInValue::GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value) {
    kiv::GetRegValueItemLocation(item, key, value);
}

void CKivHandler_CoIdInValue::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    kiv::UniqueHKey key;
    if (!kiv::OpenPassKey(location, enabledPass, key)) return;
    kiv::EnumRegValues(key.Get(), [&](const std::wstring& name, const kiv::RegValueData& value) {
        std::wstring title, file;
        bool isText = value.type == REG_SZ;
        if (kiv::LookupClass(name, location->EnvPaths(), title, file)) {
            // A value named by its class carries its own title in its data, if any.
            if (isText && value.size > 0 && !value.Text().empty()) title = value.Text();
        } else if (!(isText && kiv::LookupClass(value.Text(), location->EnvPaths(), title, file))) {
            return;
        }
        auto* item = new CKivItem(title, file, location, GotoKind::RegistryValue, wow64, enabledPass, 0);
        item->m_regNames.push_back(name);
    });
}
