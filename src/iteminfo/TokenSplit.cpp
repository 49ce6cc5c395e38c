#include "iteminfo/TokenSplit.h"

#include <cwchar>

namespace kiv {

void SplitTokens(const std::wstring& text, const wchar_t* separators, std::vector<std::wstring>& out) {
    out.clear();
    std::wstring token;
    for (wchar_t c : text) {
        if (c == L'\0' || (separators && wcschr(separators, c))) {
            if (!token.empty()) out.push_back(token);
            token.clear();
        } else {
            token.push_back(c);
        }
    }
    if (!token.empty()) out.push_back(token);
}

std::wstring TrimWhiteSpace(const std::wstring& text) {
    const wchar_t* blanks = L" \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::wstring::npos) return std::wstring();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace kiv
