// Reads and changes subkeys that name the class they load in their value "CLSID".
#include <new>

#include "core/Records.h"
#include "handlers/ClassLookup.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/RegistryValues.h"
#include "handlers/steps/SubkeyEntries.h"
#include "platform/Handles.h"

namespace {

// The entries are whole subkeys, moved like those of the class-named subkeys.
class CKivHandler_CoIdInKeyValue : public kiv::SubkeyEntryHandler {
public:
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
};

void CKivHandler_CoIdInKeyValue::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    kiv::ForEachEntrySubkey(location, enabledPass, [&](HKEY key, const std::wstring& name) {
        kiv::UniqueHKey subkey;
        if (!kiv::OpenKeyToRead(key, name, subkey)) return;
        kiv::RegValueData classId;
        if (kiv::ReadRegValue(subkey.Get(), L"CLSID", classId) != kiv::ValueRead::Ok) return;
        std::wstring title, file;
        if (!kiv::LookupClass(classId.Text(), location, title, file, wow64)) return;
        auto* item = new CKivItem(title, file, location, GotoKind::RegistryKey, wow64, enabledPass, 0);
        item->m_regNames.push_back(name);
    });
}

}  // namespace

CKivHandler* NewCoIdInKeyValueHandler() { return new (std::nothrow) CKivHandler_CoIdInKeyValue(); }
