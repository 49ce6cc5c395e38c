#include "handlers/KivHandler_CoIdInKeyValue.h"

#include "core/Records.h"
#include "handlers/ClassLookup.h"
#include "handlers/KivHandler_CoIdInKey.h"
#include "handlers/RegistryValues.h"
#include "platform/Handles.h"

CKivHandler_CoIdInKeyValue::~CKivHandler_CoIdInKeyValue() = default;

// The entries are whole subkeys, moved like those of the class-named subkeys.
int CKivHandler_CoIdInKeyValue::DisableItem(CKivItem* item) { return kiv::DisableSubkeyItem(item); }
int CKivHandler_CoIdInKeyValue::EnableItem(CKivItem* item) { return kiv::EnableSubkeyItem(item); }
int CKivHandler_CoIdInKeyValue::RemoveItem(CKivItem* item) { return kiv::RemoveSubkeyItem(item); }
void CKivHandler_CoIdInKeyValue::GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value) {
    kiv::GetSubkeyItemLocation(item, key, value);
}

void CKivHandler_CoIdInKeyValue::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    kiv::ForEachEntrySubkey(location, enabledPass, [&](HKEY key, const std::wstring& name) {
        kiv::UniqueHKey subkey;
        if (!kiv::OpenRegKey(key, name, subkey)) return;
        kiv::RegValueData classId;
        if (kiv::ReadRegValue(subkey.Get(), L"CLSID", classId) != kiv::ValueRead::Ok) return;
        std::wstring title, file;
        if (!kiv::LookupClass(classId.Text(), location->EnvPaths(), title, file)) return;
        auto* item = new CKivItem(title, file, location, GotoKind::RegistryKey, wow64, enabledPass, 0);
        item->m_regNames.push_back(name);
    });
}
