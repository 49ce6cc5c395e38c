#include "platform/Text.h"

#include <cwchar>

namespace kiv {

const wchar_t kBlanks[] = L" \t\r\n";

wchar_t AsciiUpper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

wchar_t AsciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

std::wstring AsciiLowerText(std::wstring text) {
    for (wchar_t& c : text) c = AsciiLower(c);
    return text;
}

int PrefixCompare(const wchar_t* text, const wchar_t* prefix, size_t count) {
    if (!text || !prefix) return -1;
    for (size_t i = 0; i < count; ++i) {
        wchar_t a = AsciiUpper(text[i]);
        wchar_t b = AsciiUpper(prefix[i]);
        if (a != b) return a > b ? 1 : -1;
        if (a == L'\0') return -1;  // the text ends before count characters
    }
    return 0;
}

namespace {

// count characters that both texts hold; a zero inside a text is a character like
// any other (registry names and values may hold one).
bool SameNoCase(const wchar_t* a, const wchar_t* b, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
}

}  // namespace

bool EqualsNoCase(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && SameNoCase(a.data(), b.data(), a.size());
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() && SameNoCase(text.data(), prefix.data(), prefix.size());
}

bool ContainsNoCase(const std::wstring& text, const std::wstring& word) {
    for (size_t i = 0; i + word.size() <= text.size(); ++i)
        if (SameNoCase(text.data() + i, word.data(), word.size())) return true;
    return false;
}

std::wstring Trim(const std::wstring& text, const wchar_t* characters) {
    size_t first = text.find_first_not_of(characters);
    if (first == std::wstring::npos) return std::wstring();
    return text.substr(first, text.find_last_not_of(characters) - first + 1);
}

std::wstring TrimWhiteSpace(const std::wstring& text) { return Trim(text, kBlanks); }

void StripQuotes(std::wstring& text) {
    if (text.empty() || text[0] != L'"') return;
    text.erase(0, 1);
    size_t quote = text.find(L'"');
    if (quote != std::wstring::npos) text.resize(quote);
}

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

namespace {

// Matches name from n and pattern from p; a star backtracks to the last one seen
// only, so the match stays linear in the name for each star.
bool Matches(const std::wstring& name, const std::wstring& pattern) {
    size_t n = 0, p = 0, star = std::wstring::npos, resume = 0;
    while (n < name.size()) {
        // A star in the pattern is always the wildcard, even against a star in the name.
        if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size() && (pattern[p] == L'?' || AsciiLower(pattern[p]) == AsciiLower(name[n]))) {
            ++n;
            ++p;
        } else if (star != std::wstring::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

}  // namespace

bool MatchesNamePatterns(const std::wstring& name, const std::wstring& patterns) {
    size_t begin = 0;
    while (begin <= patterns.size()) {
        size_t end = patterns.find(L';', begin);
        if (end == std::wstring::npos) end = patterns.size();
        const std::wstring pattern = TrimWhiteSpace(patterns.substr(begin, end - begin));
        if (!pattern.empty() && Matches(name, pattern)) return true;
        begin = end + 1;
    }
    return false;
}

}  // namespace kiv
