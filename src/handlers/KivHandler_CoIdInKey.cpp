// Reads and changes subkeys that register classes: each subkey of the location's
// key is one entry, named by a class identifier or carrying a command line.
#include <new>

#include "core/Records.h"
#include "handlers/ClassLookup.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/RegistryValues.h"
#include "handlers/steps/SubkeyEntries.h"
#include "iteminfo/CommandLine.h"
#include "platform/Handles.h"

namespace {

class CKivHandler_CoIdInKey : public CKivHandler {
public:
    int DisableItem(CKivItem* item) override { return kiv::DisableMarkerEntry(item, kiv::kSubkeyEntry).Report(); }
    int EnableItem(CKivItem* item) override { return kiv::EnableMarkerEntry(item, kiv::kSubkeyEntry).Report(); }
    int RemoveItem(CKivItem* item) override { return kiv::RemoveMarkerEntry(item, kiv::kSubkeyEntry).Report(); }
    void GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value) override {
        kiv::GetSubkeyEntryLocation(item, key, value);
    }
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
};

// The first string value of a subkey whose command line leads to an existing file.
bool FindCommandFile(HKEY subkey, unsigned char wow64, std::wstring& file) {
    bool found = false;
    kiv::EnumRegValues(subkey, [&](const std::wstring&, const kiv::RegValueData& value) {
        if (found || !value.IsString()) return;
        std::wstring text = value.Text();
        if (!kiv::ResolveEntry(text, wow64)) return;
        file = text;
        found = true;
    });
    return found;
}

// A subkey found by its command line is titled by its default text, else its name.
std::wstring CommandSubkeyTitle(HKEY subkey, const std::wstring& name) {
    kiv::RegValueData value;
    if (kiv::ReadRegValue(subkey, L"", value) == kiv::ValueRead::Ok && value.IsString() && !value.Text().empty())
        return value.Text();
    return name;
}

void CKivHandler_CoIdInKey::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    kiv::ForEachEntrySubkey(location, enabledPass, [&](HKEY key, const std::wstring& name) {
        std::wstring title, file;
        if (kiv::LookupClass(name, location->EnvPaths(), title, file, wow64)) {
            if (title.empty()) title = name;
        } else {
            kiv::UniqueHKey subkey;
            if (!kiv::OpenKeyToRead(key, name, subkey) || !FindCommandFile(subkey.Get(), wow64, file)) return;
            title = CommandSubkeyTitle(subkey.Get(), name);
        }
        auto* item = new CKivItem(title, file, location, GotoKind::RegistryKey, wow64, enabledPass, 0);
        item->m_regNames.push_back(name);
    });
}

}  // namespace

CKivHandler* NewCoIdInKeyHandler() { return new (std::nothrow) CKivHandler_CoIdInKey(); }
