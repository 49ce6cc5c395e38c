#include "handlers/KivHandler.h"

#include "core/Records.h"
#include "platform/Log.h"

CKivHandler::~CKivHandler() = default;

int CKivHandler::DisableItem(CKivItem*) { return 0; }
int CKivHandler::EnableItem(CKivItem*) { return 0; }
int CKivHandler::RemoveItem(CKivItem*) { return 0; }
int CKivHandler::RestoreItem(CKivItem*) { return 0; }
void CKivHandler::CollectLocation(Location*, unsigned, unsigned char) {}

int CKivHandler::GoTo(CKivItem* item) {
    if (!item) return 0;
    switch (item->m_gotoKind) {
    case 0:  // registry key
    case 1:  // registry value
    case 2:  // the location's path in Explorer
        // Showing a registry key or a file comes with the navigation module.
        return 0;
    default:
        kiv::LogLine(L"KIV\t\t\t Uknown item no go to method available\n");
        return 0;
    }
}

void CKivHandler::GetItemRegLocation(CKivItem*, std::wstring&, std::wstring&) {}

int CKivHandler::ItemCompatible(CKivItem* item) {
    if (!item || !item->m_location) return 0;
    unsigned type = item->m_location->m_type;
    return (type == Location::RegistryKey || type == Location::RegistryValue) ? 1 : 0;
}
