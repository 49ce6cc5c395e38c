// Reads and changes a registry value that lists libraries separated by spaces or
// commas, such as the AppInit DLL list that Windows loads into every program
// using user32.
#include <new>

#include "core/Records.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/ListEntries.h"

namespace {

kiv::ListStyle StyleOf(const Location* location) {
    return location->m_options.listSeparator == L"," ? kiv::ListStyle::Elements : kiv::ListStyle::Words;
}

// A list read at commas keeps each element whole and writes it back the same way.
kiv::ListStyle StyleOf(const CKivItem* item) {
    return item && item->m_location ? StyleOf(item->m_location) : kiv::ListStyle::Words;
}

class CKivHandler_AppInitDll : public CKivHandler {
public:
    int DisableItem(CKivItem* item) override { return kiv::ListDisable(item, StyleOf(item)).Report(); }
    int EnableItem(CKivItem* item) override { return kiv::ListEnable(item, StyleOf(item)).Report(); }
    int RemoveItem(CKivItem* item) override { return kiv::ListRemove(item, StyleOf(item)).Report(); }
    int GoTo(CKivItem* item) override { return kiv::GoToLocationValue(item); }
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override {
        if (location) kiv::ListCollect(location, enabledPass, wow64, StyleOf(location));
    }
    void GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value) override;
};

// Every entry lives in the one list value, so the answer is the same for each.
void CKivHandler_AppInitDll::GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value) {
    if (!item || !item->m_location) return;
    key = item->m_location->m_fullPath;
    value = item->m_location->m_value;
}

}  // namespace

CKivHandler* NewAppInitDllHandler() { return new (std::nothrow) CKivHandler_AppInitDll(); }
