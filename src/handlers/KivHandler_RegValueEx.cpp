// Reads and changes locations that name one registry value: a single command line
// or a list of command lines in a multi-string, or Winlogon's "UserInit" and
// "Shell" lists held in one string.
#include <new>

#include "core/Records.h"
#include "handlers/HandlerKinds.h"
#include "handlers/steps/ListEntries.h"
#include "handlers/steps/MultiStringEntries.h"
#include "handlers/steps/RegistryValues.h"
#include "platform/RegPath.h"
#include "platform/Text.h"

namespace {

const wchar_t kWinlogonKey[] = L"microsoft\\windows nt\\currentversion\\winlogon";

// Winlogon's "UserInit" and "Shell" values hold a list in one string and are
// served by the list-value steps. Winlogon splits them at commas only: each
// element is a whole command line, blanks included.
bool IsWinlogonList(const Location* location) {
    if (!location) return false;
    if (kiv::AsciiLowerText(location->m_path).find(kWinlogonKey) == std::wstring::npos) return false;
    return kiv::EqualsNoCase(location->m_value, L"UserInit") || kiv::EqualsNoCase(location->m_value, L"Shell");
}

const kiv::ListStyle kWinlogonStyle = kiv::ListStyle::Elements;

// The list steps for Winlogon's lists, the value steps for every other location.
kiv::Status Change(CKivItem* item, kiv::Status (*list)(CKivItem*, kiv::ListStyle), kiv::Status (*value)(CKivItem*)) {
    if (!kiv::HasRegName(item)) return kiv::Status::Fail(ERROR_INVALID_PARAMETER);
    return IsWinlogonList(item->m_location) ? list(item, kWinlogonStyle) : value(item);
}

class CKivHandler_RegValueEx : public CKivHandler {
public:
    int DisableItem(CKivItem* item) override { return Change(item, kiv::ListDisable, kiv::DisableValueEntry).Report(); }
    int EnableItem(CKivItem* item) override { return Change(item, kiv::ListEnable, kiv::EnableValueEntry).Report(); }
    int RemoveItem(CKivItem* item) override { return Change(item, kiv::ListRemove, kiv::RemoveValueEntry).Report(); }
    int GoTo(CKivItem* item) override { return kiv::GoToLocationValue(item); }
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override {
        if (!location) return;
        if (IsWinlogonList(location)) kiv::ListCollect(location, enabledPass, wow64, kWinlogonStyle);
        else kiv::CollectValueEntries(location, enabledPass, wow64);
    }
};

}  // namespace

CKivHandler* NewRegValueExHandler() { return new (std::nothrow) CKivHandler_RegValueEx(); }
