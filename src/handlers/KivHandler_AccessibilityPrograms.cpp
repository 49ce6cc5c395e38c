// Lists the programs of the system folder that the logon screen starts without a
// logon. Replacing one of them with a copy of a command shell gives anyone at the
// console a shell of the system account, so each is shown with the facts of its
// file: a copy of another program shows at once by its description, size and
// signer. They belong to the system and are never changed from here.
#include <new>

#include "core/Records.h"
#include "handlers/HandlerKinds.h"
#include "platform/FileSystem.h"
#include "platform/Navigation.h"
#include "platform/Status.h"

namespace {

const wchar_t* const kLogonScreenPrograms[] = {L"sethc.exe",    L"utilman.exe",       L"osk.exe",     L"Magnify.exe",
                                               L"Narrator.exe", L"DisplaySwitch.exe", L"AtBroker.exe"};

class CKivHandler_AccessibilityPrograms : public CKivHandler {
public:
    int DisableItem(CKivItem*) override { return NotSupported(); }
    int EnableItem(CKivItem*) override { return NotSupported(); }
    int RemoveItem(CKivItem*) override { return NotSupported(); }
    int GoTo(CKivItem* item) override { return item ? kiv::SelectInExplorer(item->m_file.filePath.c_str()) : 0; }
    int ItemCompatible(CKivItem*) override { return 0; }
    void CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) override;

private:
    static int NotSupported() { return kiv::Status::Fail(ERROR_NOT_SUPPORTED).Report(); }
};

// The location's folder is the system folder; the programs are always live, so
// the disabled pass has nothing to read.
void CKivHandler_AccessibilityPrograms::CollectLocation(Location* location, unsigned enabledPass, unsigned char wow64) {
    if (!location || !enabledPass || wow64 || location->m_path.empty()) return;
    std::wstring folder = location->m_path;
    if (folder.back() != L'\\') folder += L'\\';
    for (const wchar_t* name : kLogonScreenPrograms) {
        const std::wstring path = folder + name;
        if (!kiv::IsPlainFile(path)) continue;
        auto* item = new CKivItem(name, path, location, GotoKind::Explorer, 0, 1, 0);
        item->m_regNames.push_back(name);
    }
}

}  // namespace

CKivHandler* NewAccessibilityProgramsHandler() { return new (std::nothrow) CKivHandler_AccessibilityPrograms(); }
