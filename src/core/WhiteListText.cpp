#include "core/WhiteListText.h"

#include <cstdlib>
#include <vector>

#include "platform/Text.h"

namespace kiv {

void ParseWhiteList(const wchar_t* text, std::map<std::wstring, unsigned>& list) {
    std::vector<std::wstring> tokens;
    SplitTokens(text ? std::wstring(text) : std::wstring(), L" \r\n", tokens);
    for (const std::wstring& token : tokens) {
        size_t bar = token.find(L'|');
        std::wstring key = token.substr(0, bar);
        const wchar_t* number = bar == std::wstring::npos ? token.c_str() : token.c_str() + bar + 1;
        list.emplace(key, static_cast<unsigned>(_wtoi(number)));
    }
}

}  // namespace kiv
