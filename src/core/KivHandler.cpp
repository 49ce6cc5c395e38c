#include "core/KivHandler.h"

#include "core/Records.h"
#include "platform/Log.h"
#include "platform/Navigation.h"
#include "platform/Status.h"

namespace kiv {

const wchar_t kMarker[] = L"_disabledByKiv";
const wchar_t kRemovedMarker[] = L"_removedByKiv";

std::wstring MarkerPath(const std::wstring& keyPath) { return keyPath + L"\\" + kMarker; }

std::wstring EntryKeyPath(const CKivItem* item) {
    const std::wstring& path = item->m_location->m_path;
    return item->m_entryKey.empty() ? path : path + L"\\" + item->m_entryKey;
}

}  // namespace kiv

CKivHandler::~CKivHandler() = default;

// A kind of location that cannot change its entries says so.
int CKivHandler::DisableItem(CKivItem*) { return kiv::Status::Fail(ERROR_NOT_SUPPORTED).Report(); }
int CKivHandler::EnableItem(CKivItem*) { return kiv::Status::Fail(ERROR_NOT_SUPPORTED).Report(); }
int CKivHandler::RemoveItem(CKivItem*) { return kiv::Status::Fail(ERROR_NOT_SUPPORTED).Report(); }
int CKivHandler::RestoreItem(CKivItem*) { return kiv::Status::Fail(ERROR_NOT_SUPPORTED).Report(); }
void CKivHandler::CollectLocation(Location*, unsigned, unsigned char) {}

// Shows where the item's entry lives: its subkey or value in the registry editor
// (in the marker subkey once disabled), or its location's folder in Explorer.
int CKivHandler::GoTo(CKivItem* item) {
    if (!item) return 0;
    const Location* location = item->m_location;
    const GotoKind kind = item->m_gotoKind;
    if (kind != GotoKind::RegistryKey && kind != GotoKind::RegistryValue && kind != GotoKind::Explorer) {
        kiv::LogLine(L"KIV\t\t\t Uknown item no go to method available\n");
        return 0;
    }
    if (!location) return 0;
    if (kind == GotoKind::Explorer) return kiv::SelectInExplorer(location->m_path.c_str());
    if (item->m_regNames.empty()) return 0;
    const std::wstring live = kiv::EntryKeyPath(item);
    std::wstring key = item->m_enabled ? live : kiv::MarkerPath(live);
    const std::wstring& name = item->m_regNames[0];
    if (kind == GotoKind::RegistryKey)
        return kiv::NavigateRegEdit(location->m_root, (key + L"\\" + name).c_str(), nullptr);
    return kiv::NavigateRegEdit(location->m_root, key.c_str(), name.c_str());
}

void CKivHandler::GetItemRegLocation(CKivItem*, std::wstring&, std::wstring&) {}

int CKivHandler::ItemCompatible(CKivItem* item) {
    if (!item || !item->m_location) return 0;
    unsigned type = item->m_location->m_type;
    return (type == Location::RegistryKey || type == Location::RegistryValue) ? 1 : 0;
}
