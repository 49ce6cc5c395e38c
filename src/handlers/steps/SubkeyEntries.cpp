#include "handlers/steps/SubkeyEntries.h"

#include "core/Records.h"
#include "handlers/steps/RegistryTree.h"
#include "handlers/steps/RegistryValues.h"
#include "platform/Handles.h"

namespace kiv {
namespace {

Status SubkeyExists(HKEY key, const std::wstring& name) {
    UniqueHKey entry;
    return OpenKeyToRead(key, name, entry);
}

// The move with its own delete step (a parameter only tests replace).
Status MoveSubkey(HKEY from, HKEY to, const std::wstring& name) { return MoveRegSubkey(from, to, name); }

}  // namespace

const EntrySteps kSubkeyEntry{NamesSubkey, SubkeyExists, MoveSubkey, DeleteRegTree};

void GetSubkeyEntryLocation(CKivItem* item, std::wstring& key, std::wstring& value) {
    if (!NamesSubkey(item)) return;
    key = item->m_location->m_fullPath + L"\\" + item->m_regNames[0];
    value.clear();
}

int SubkeyEntryHandler::DisableItem(CKivItem* item) { return DisableMarkerEntry(item, kSubkeyEntry).Report(); }
int SubkeyEntryHandler::EnableItem(CKivItem* item) { return EnableMarkerEntry(item, kSubkeyEntry).Report(); }
int SubkeyEntryHandler::RemoveItem(CKivItem* item) { return RemoveMarkerEntry(item, kSubkeyEntry).Report(); }
void SubkeyEntryHandler::GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value) {
    GetSubkeyEntryLocation(item, key, value);
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
