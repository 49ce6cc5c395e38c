// Path normalisation and the text operations under it, on any text: a path found
// is one that exists, the 32-bit rewrite lands in a 32-bit folder once and only
// once, and the case-blind comparisons, trimming, splitting and name patterns keep
// their word.
#include <cwchar>

#include "FuzzInput.h"
#include "ShimFiles.h"
#include "iteminfo/PathNormalize.h"
#include "iteminfo/Wow64Redirection.h"
#include "platform/Text.h"

namespace {

bool IsBlank(wchar_t c) { return c != 0 && std::wcschr(kiv::kBlanks, c) != nullptr; }

void CheckTextOperations(const std::wstring& text, size_t cut) {
    const std::wstring lower = kiv::AsciiLowerText(text);
    KIV_FUZZ_CHECK(lower.size() == text.size() && kiv::EqualsNoCase(text, lower) && kiv::EqualsNoCase(lower, text));
    KIV_FUZZ_CHECK(kiv::StartsWithNoCase(lower, text.substr(0, cut)));
    KIV_FUZZ_CHECK(kiv::ContainsNoCase(text, lower.substr(cut / 2, cut - cut / 2)));
    const std::wstring trimmed = kiv::TrimWhiteSpace(text);
    KIV_FUZZ_CHECK(trimmed.empty() || (!IsBlank(trimmed.front()) && !IsBlank(trimmed.back())));
    KIV_FUZZ_CHECK(text.find(trimmed) != std::wstring::npos);
    std::wstring unquoted = text;
    kiv::StripQuotes(unquoted);
    if (!text.empty() && text[0] == L'"') KIV_FUZZ_CHECK(unquoted.find(L'"') == std::wstring::npos);
    std::vector<std::wstring> tokens;
    kiv::SplitTokens(text, L";, ", tokens);
    for (const std::wstring& token : tokens)
        KIV_FUZZ_CHECK(!token.empty() && token.find_first_of(std::wstring(L";, \0", 4)) == std::wstring::npos);
    // A name is matched by "*", by itself and by itself in other case, as a pattern
    // among others; a pattern that needs more characters than the name has is not.
    KIV_FUZZ_CHECK(kiv::MatchesNamePatterns(text, L"x;*"));
    if (!trimmed.empty() && trimmed == text && text.find_first_of(L";*?") == std::wstring::npos) {
        KIV_FUZZ_CHECK(kiv::MatchesNamePatterns(text, L"?;" + lower));
        KIV_FUZZ_CHECK(!kiv::MatchesNamePatterns(text, text + L"?"));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::wstring text = kivfuzz::Utf16Units(data + 1, size - 1);
    CheckTextOperations(text, data[0] % (text.size() + 1));

    size_t dot = text.rfind(L'.');
    bool shortExtension =
        text.size() >= 5 && dot != std::wstring::npos && (text.size() - dot - 1 == 2 || text.size() - dot - 1 == 3);
    KIV_FUZZ_CHECK(kiv::HasShortExtension(text) == shortExtension);

    std::wstring redirected = text;
    if (kiv::RedirectTo32Bit(redirected)) {
        KIV_FUZZ_CHECK(kiv::StartsWithNoCase(redirected, L"C:\\windows\\SysWOW64") ||
                       kiv::StartsWithNoCase(redirected, L"C:\\Program Files (x86)"));
        std::wstring again = redirected;
        KIV_FUZZ_CHECK(!kiv::RedirectTo32Bit(again) && again == redirected);
    }

    std::wstring path = text;
    if (kiv::NormalizePath(path, data[0] & 1)) KIV_FUZZ_CHECK(ShimFileExists(path.c_str()));
    return 0;
}
