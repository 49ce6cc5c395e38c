#include "ActionText.h"

#include "SystemMessage.h"

const wchar_t kEntryInTheWay[] = L"another entry of the same name is in the way (remove one of them first).";
const wchar_t kNothingToRestore[] = L"nothing to restore: this entry was deleted, not kept";

std::wstring ActionFailureText(DWORD code) {
    return code == ERROR_ALREADY_EXISTS ? std::wstring(kEntryInTheWay) : SystemMessage(code);
}
