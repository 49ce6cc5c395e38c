// Reads and changes locations that name one registry value: a single command line
// or a list of command lines in a multi-string, or Winlogon's "UserInit" and
// "Shell" lists held in one string.
#include <cwchar>
#include <cwctype>
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

bool IsWholeWordNoCase(const std::wstring& text, const wchar_t* word) {
    const size_t length = wcslen(word);
    return text.size() == length && kiv::PrefixCompare(text.c_str(), word, length) == 0;
}

// Winlogon's "UserInit" and "Shell" values hold a comma- or space-separated list in
// one string and are served by the list-value steps.
bool IsWinlogonList(const Location* location) {
    if (!location) return false;
    std::wstring path = location->m_path;
    for (wchar_t& c : path) c = static_cast<wchar_t>(towlower(c));
    if (path.find(kWinlogonKey) == std::wstring::npos) return false;
    return IsWholeWordNoCase(location->m_value, L"UserInit") || IsWholeWordNoCase(location->m_value, L"Shell");
}

// The list steps for Winlogon's lists, the value steps for every other location.
kiv::Status Change(CKivItem* item, kiv::Status (*list)(CKivItem*), kiv::Status (*value)(CKivItem*)) {
    if (!kiv::HasRegName(item)) return kiv::Status::Fail(ERROR_INVALID_PARAMETER);
    return IsWinlogonList(item->m_location) ? list(item) : value(item);
}

class CKivHandler_RegValueEx : public CKivHandler {
public:
    int DisableItem(CKivItem* item) override {
        return Change(item, kiv::ListDisable, kiv::DisableValueEntry).Report();
    }
    int EnableItem(CKivItem* item) override { return Change(item, kiv::ListEnable, kiv::EnableValueEntry).Report(); }
    int RemoveItem(CKivItem* item) override { return Change(item, kiv::ListRemove, kiv::RemoveValueEntry).Report(); }
    int GoTo(CKivItem* item) override { return kiv::GoToLocationValue(item); }
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override {
        if (!location) return;
        if (IsWinlogonList(location)) kiv::ListCollect(location, enabledPass, wow64);
        else kiv::CollectValueEntries(location, enabledPass, wow64);
    }
};

}  // namespace

CKivHandler* NewRegValueExHandler() { return new (std::nothrow) CKivHandler_RegValueEx(); }
