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

}  // namespace kiv
