#include "handlers/KivHandler_AppInitDll.h"

#include "core/Records.h"
#include "handlers/KivHandler_RegValueEx.h"
#include "handlers/ListValue.h"

CKivHandler_AppInitDll::~CKivHandler_AppInitDll() = default;

int CKivHandler_AppInitDll::DisableItem(CKivItem* item) { return kiv::ListDisable(item); }
int CKivHandler_AppInitDll::EnableItem(CKivItem* item) { return kiv::ListEnable(item); }
int CKivHandler_AppInitDll::RemoveItem(CKivItem* item) { return kiv::ListRemove(item); }

void CKivHandler_AppInitDll::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    if (location) kiv::ListCollect(location, enabledPass, wow64);
}

int CKivHandler_AppInitDll::GoTo(CKivItem* item) { return kiv::GoToLocationValue(item); }

// Every entry lives in the one list value, so the answer is the same for each.
void CKivHandler_AppInitDll::GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value) {
    if (!item || !item->m_location) return;
    key = item->m_location->m_fullPath;
    value = item->m_location->m_value;
}
