#include "PropertiesDialog.h"

#include <string>
#include <utility>

#include "Signature.h"
#include "kiv.h"
#include "resource.h"

namespace kivgui {

namespace {

// Everything known about an item, one fact per line. What the row does not hold
// is asked of the module now, while the item is still the one listed.
std::wstring ItemFacts(CKiv* kiv, const ItemRow& item) {
    unsigned id = item.id;
    std::wstring created = kiv->GetItemFileCreated(id);  // the two dates share one buffer
    std::wstring modified = kiv->GetItemFileModified(id);
    // The list reads no signatures; the one library shown here is checked now.
    SignatureInfo library;
    if (!item.serviceDll.empty()) library = SignatureChecker().Check(item.serviceDll);
    std::pair<const wchar_t*, std::wstring> facts[] = {
        {L"Title", item.title},
        {L"Category", item.category},
        {L"State", StateText(item)},
        {L"Location", kiv->GetItemLocationPath(id)},
        {L"Location value", kiv->GetItemLocationValue(id)},
        {L"32-bit registry view", kiv->GetItemWin32(id) ? L"yes" : L"no"},
        {L"File path", item.filePath},
        {L"File name", kiv->GetItemFileName(id)},
        {L"Extension", kiv->GetItemFileExtension(id)},
        {L"Shortcut target", kiv->GetItemFileShortcutTarget(id)},
        {L"Size", std::to_wstring(item.size) + L" bytes"},
        {L"Created", created},
        {L"Modified", modified},
        {L"MD5", item.md5},
        {L"Publisher", item.publisher},
        {L"Description", item.description},
        {L"Whitelisted", item.whitelisted ? L"yes" : L"no"},
        {L"Off in Windows' startup switch", item.startupSwitchOff ? L"yes" : L"no"},
        {L"Service library", item.serviceDll},
        {L"Service library MD5", kiv->GetItemServiceDllMd5(id)},
        {L"Service library signature", SignatureStateText(library.state)},
        {L"Service library signer", library.signer},
    };
    std::wstring text;
    for (const auto& fact : facts) text += std::wstring(fact.first) + L": " + fact.second + L"\r\n";
    return text;
}

INT_PTR CALLBACK PropertiesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        const auto* page = reinterpret_cast<const std::pair<std::wstring, std::wstring>*>(lParam);
        SetWindowTextW(dialog, (L"Properties of " + page->first).c_str());
        SetDlgItemTextW(dialog, IDC_FACTS, page->second.c_str());
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK)) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void ShowPropertiesDialog(HINSTANCE instance, HWND owner, CKiv* kiv, const ItemRow& item) {
    std::pair<std::wstring, std::wstring> page(item.title, ItemFacts(kiv, item));
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_PROPERTIES), owner, PropertiesProc, reinterpret_cast<LPARAM>(&page));
}

}  // namespace kivgui
