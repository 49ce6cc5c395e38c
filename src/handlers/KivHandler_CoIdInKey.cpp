#include "handlers/KivHandler_CoIdInKey.h"

#include "core/Records.h"
#include "handlers/ClassLookup.h"
#include "handlers/RegistryTree.h"
#include "handlers/RegistryValues.h"
#include "iteminfo/CommandLine.h"
#include "platform/Handles.h"
#include "platform/RegPath.h"

namespace kiv {
namespace {

// The first string value of a subkey whose command line leads to an existing file.
bool FindCommandFile(HKEY subkey, unsigned char wow64, std::wstring& file) {
    bool found = false;
    EnumRegValues(subkey, [&](const std::wstring&, const RegValueData& value) {
        if (found || !value.IsString()) return;
        std::wstring text = value.Text();
        if (!ResolveEntry(text, wow64)) return;
        file = text;
        found = true;
    });
    return found;
}

// A subkey found by its command line is titled by its default text, else its name.
std::wstring CommandSubkeyTitle(HKEY subkey, const std::wstring& name) {
    RegValueData value;
    if (ReadRegValue(subkey, L"", value) == ValueRead::Ok && value.IsString() && !value.Text().empty())
        return value.Text();
    return name;
}

}  // namespace

int DisableSubkeyItem(CKivItem* item) {
    if (!NamesSubkey(item)) return 0;
    Location* location = item->m_location;
    UniqueHKey live, marker;
    if (!OpenRegKey(location->m_root, location->m_path, live)) return 0;
    {
        UniqueHKey entry;
        if (!OpenRegKey(live.Get(), item->m_regNames[0], entry)) return 0;
    }
    if (RegCreateKeyExW(live.Get(), kMarker, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, marker.Put(), nullptr) !=
        ERROR_SUCCESS)
        return 0;
    return MoveRegSubkey(live.Get(), marker.Get(), item->m_regNames[0]) ? 1 : 0;
}

int EnableSubkeyItem(CKivItem* item) {
    if (!NamesSubkey(item)) return 0;
    Location* location = item->m_location;
    bool moved = false;
    {
        UniqueHKey live, marker;
        if (!OpenRegKey(location->m_root, location->m_path, live)) return 0;
        if (!OpenRegKey(live.Get(), kMarker, marker)) return 0;
        moved = MoveRegSubkey(marker.Get(), live.Get(), item->m_regNames[0]);
    }
    if (!moved) return 0;
    RemoveKeyIfEmpty(location->m_root, MarkerPath(location->m_path), static_cast<unsigned char>(item->m_win32));
    return 1;
}

int RemoveSubkeyItem(CKivItem* item) {
    if (!NamesSubkey(item)) return 0;
    Location* location = item->m_location;
    const std::wstring path = item->m_enabled ? location->m_path : MarkerPath(location->m_path);
    bool deleted = false;
    {
        UniqueHKey key;
        if (!OpenRegKey(location->m_root, path, key)) return 0;
        deleted = DeleteRegTree(key.Get(), item->m_regNames[0]);
    }
    if (deleted && !item->m_enabled)
        RemoveKeyIfEmpty(location->m_root, path, static_cast<unsigned char>(item->m_win32));
    return deleted ? 1 : 0;
}

void GetSubkeyItemLocation(CKivItem* item, std::wstring& key, std::wstring& value) {
    if (!NamesSubkey(item)) return;
    key = item->m_location->m_fullPath + L"\\" + item->m_regNames[0];
    value.clear();
}

void ForEachEntrySubkey(Location* location, unsigned enabledPass,
                        const std::function<void(HKEY, const std::wstring&)>& visit) {
    UniqueHKey key;
    if (!OpenPassKey(location, enabledPass, key)) return;
    EnumRegSubkeys(key.Get(), [&](const std::wstring& name) {
        if (enabledPass && name == kMarker) return;
        visit(key.Get(), name);
    });
}

}  // namespace kiv

CKivHandler_CoIdInKey::~CKivHandler_CoIdInKey() = default;

int CKivHandler_CoIdInKey::DisableItem(CKivItem* item) { return kiv::DisableSubkeyItem(item); }
int CKivHandler_CoIdInKey::EnableItem(CKivItem* item) { return kiv::EnableSubkeyItem(item); }
int CKivHandler_CoIdInKey::RemoveItem(CKivItem* item) { return kiv::RemoveSubkeyItem(item); }
void CKivHandler_CoIdInKey::GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value) {
    kiv::GetSubkeyItemLocation(item, key, value);
}

void CKivHandler_CoIdInKey::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    kiv::ForEachEntrySubkey(location, enabledPass, [&](HKEY key, const std::wstring& name) {
        std::wstring title, file;
        if (kiv::LookupClass(name, location->EnvPaths(), title, file)) {
            if (title.empty()) title = name;
        } else {
            kiv::UniqueHKey subkey;
            if (!kiv::OpenRegKey(key, name, subkey) || !kiv::FindCommandFile(subkey.Get(), wow64, file)) return;
            title = kiv::CommandSubkeyTitle(subkey.Get(), name);
        }
        auto* item = new CKivItem(title, file, location, GotoKind::RegistryKey, wow64, enabledPass, 0);
        item->m_regNames.push_back(name);
    });
}
