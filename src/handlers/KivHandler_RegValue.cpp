// Reads and changes string values of a registry key whose data are command lines
// (run keys).
#include <new>

#include "core/Records.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/EntryOptions.h"
#include "handlers/steps/RegistryValues.h"
#include "handlers/steps/StartupSwitch.h"
#include "handlers/steps/ValueEntries.h"
#include "iteminfo/CommandLine.h"
#include "platform/Handles.h"

namespace {

class CKivHandler_RegValue : public CKivHandler {
public:
    int DisableItem(CKivItem* item) override { return kiv::DisableMarkerEntry(item, kiv::kValueEntry).Report(); }
    int EnableItem(CKivItem* item) override;
    int RemoveItem(CKivItem* item) override { return kiv::RemoveMarkerEntry(item, kiv::kValueEntry).Report(); }
    void GetItemRegLocation(CKivItem* item, std::wstring& key, std::wstring& value) override {
        kiv::GetValueEntryLocation(item, key, value);
    }
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;
};

kiv::Status MoveValueBack(CKivItem* item) { return kiv::EnableMarkerEntry(item, kiv::kValueEntry); }

// Windows' own switch of a run value is turned back on too, or the value, back in
// its key, would still not start.
int CKivHandler_RegValue::EnableItem(CKivItem* item) {
    if (!kiv::HasRegName(item)) return kiv::Status::Fail(ERROR_INVALID_PARAMETER).Report();
    if (!item->m_entryKey.empty()) return MoveValueBack(item).Report();
    return kiv::EnableSwitchedEntry(item, item->m_regNames[0], &MoveValueBack).Report();
}

// A nested entry is titled by its key's default text (what installers name their
// component or section), else by the key's path; where every value of the key is
// an entry, the value's name follows.
std::wstring NestedTitle(const Location* location, HKEY nested, const std::wstring& relative,
                         const std::wstring& name) {
    std::wstring title = relative;
    kiv::RegValueData text;
    if (!name.empty() && kiv::ReadRegValue(nested, L"", text) == kiv::ValueRead::Ok && text.IsString() &&
        !text.Text().empty())
        title = text.Text();
    if (location->m_options.entryValues.empty()) title += L"\\" + (name.empty() ? std::wstring(L"@") : name);
    return title;
}

// The entries of one key: in the enabled pass the key's own values, in the
// disabled pass those of its marker subkey. Windows keeps startup switches for the
// values of the location's key itself only.
void CollectValues(Location* location, HKEY nested, const std::wstring& relative, unsigned enabledPass,
                   unsigned char wow64, const kiv::StartupSwitches& switches) {
    kiv::UniqueHKey marker;
    HKEY values = nested;
    if (!enabledPass && !relative.empty()) {
        if (!kiv::OpenKeyToRead(nested, kiv::kMarker, marker)) return;
        values = marker.Get();
    }
    kiv::EnumRegValues(values, [&](const std::wstring& name, const kiv::RegValueData& value) {
        if (!value.IsString() || kiv::IsSkippedValue(location, name) || !kiv::IsEntryValue(location, name)) return;
        std::wstring file = value.Text();
        if (!kiv::ResolveLocationEntry(location, file, wow64)) return;
        const std::wstring title = relative.empty() ? name : NestedTitle(location, nested, relative, name);
        auto* item = new CKivItem(title, file, location, GotoKind::RegistryValue, wow64, enabledPass, 0);
        item->m_regNames.push_back(name);
        item->m_entryKey = relative;
        if (relative.empty()) item->m_startupSwitchOff = switches.Off(name) ? 1 : 0;
    });
}

void CKivHandler_RegValue::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    kiv::UniqueHKey key;
    const unsigned depth = location->m_options.depth;
    // Entries below the key keep their disabled copies in the marker subkey of their
    // own key, which the walk reaches from the location's key in both passes.
    const std::wstring path = enabledPass || depth ? location->m_path : kiv::MarkerPath(location->m_path);
    if (!kiv::OpenKeyToRead(location->m_root, path, key)) return;
    const kiv::StartupSwitches switches(location);
    kiv::ForEachNestedKey(key.Get(), depth, [&](HKEY nested, const std::wstring& relative) {
        CollectValues(location, nested, relative, enabledPass, wow64, switches);
    });
}

}  // namespace

CKivHandler* NewRegValueHandler() { return new (std::nothrow) CKivHandler_RegValue(); }
