#include "SystemMessage.h"

std::wstring SystemMessage(DWORD code) {
    if (code == ERROR_SUCCESS) return L"the system gave no reason.";
    wchar_t text[512] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             static_cast<DWORD>(sizeof(text) / sizeof(text[0])), nullptr);
    std::wstring message(text, n);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return message.empty() ? L"error " + std::to_wstring(code) + L"." : message;
}
