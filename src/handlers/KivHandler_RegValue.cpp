#include "handlers/KivHandler_RegValue.h"

#include "core/Records.h"
#include "handlers/RegistryValues.h"
#include "iteminfo/CommandLine.h"
#include "platform/Handles.h"
#include "platform/RegPath.h"

namespace kiv {

int DisableRegValueItem(CKivItem* item) {
    if (!HasRegName(item)) return 0;
    Location* location = item->m_location;
    UniqueHKey live, marker;
    if (!OpenRegKey(location->m_root, location->m_path, live)) return 0;
    // Nothing to move means nothing to make: the marker subkey is created only for a
    // value that is there.
    RegValueData value;
    if (ReadRegValue(live.Get(), item->m_regNames[0], value) != ValueRead::Ok) return 0;
    if (!CreateMarkerKey(live.Get(), marker)) return 0;
    return MoveRegValue(live.Get(), marker.Get(), item->m_regNames[0]) ? 1 : 0;
}

int EnableRegValueItem(CKivItem* item) {
    if (!HasRegName(item)) return 0;
    Location* location = item->m_location;
    bool moved = false;
    {
        UniqueHKey live, marker;
        if (!OpenRegKey(location->m_root, location->m_path, live)) return 0;
        if (!OpenRegKey(live.Get(), kMarker, marker)) return 0;
        moved = MoveRegValue(marker.Get(), live.Get(), item->m_regNames[0]);
    }
    if (!moved) return 0;
    RemoveKeyIfEmpty(location->m_root, MarkerPath(location->m_path), static_cast<unsigned char>(item->m_win32));
    return 1;
}

int RemoveRegValueItem(CKivItem* item) {
    if (!HasRegName(item)) return 0;
    Location* location = item->m_location;
    std::wstring path = item->m_enabled ? location->m_path : MarkerPath(location->m_path);
    bool deleted = false;
    {
        UniqueHKey key;
        if (!OpenRegKey(location->m_root, path, key)) return 0;
        deleted = RegDeleteValueW(key.Get(), item->m_regNames[0].c_str()) == ERROR_SUCCESS;
    }
    if (deleted && !item->m_enabled)
        RemoveKeyIfEmpty(location->m_root, path, static_cast<unsigned char>(item->m_win32));
    return deleted ? 1 : 0;
}

void GetRegValueItemLocation(CKivItem* item, std::wstring& key, std::wstring& value) {
    if (!HasRegName(item)) return;
    key = item->m_location->m_fullPath;
    value = item->m_regNames[0];
}

}  // namespace kiv

CKivHandler_RegValue::~CKivHandler_RegValue() = default;

int CKivHandler_RegValue::DisableItem(CKivItem* item) { return kiv::DisableRegValueItem(item); }
int CKivHandler_RegValue::EnableItem(CKivItem* item) { return kiv::EnableRegValueItem(item); }
int CKivHandler_RegValue::RemoveItem(CKivItem* item) { return kiv::RemoveRegValueItem(item); }
void CKivHandler_RegValue::GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value) {
    kiv::GetRegValueItemLocation(item, key, value);
}

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
