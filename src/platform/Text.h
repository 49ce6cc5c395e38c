// Small text operations shared across the module. Paths, names and keywords are
// compared without regard to case by the ASCII rule of the "C" locale: only "A" to
// "Z" and "a" to "z" are folded, so the result never depends on the user's locale.
#pragma once

#include <string>
#include <vector>

namespace kiv {

wchar_t AsciiUpper(wchar_t c);
wchar_t AsciiLower(wchar_t c);

// The text with "A" to "Z" made lower case and every other character kept.
std::wstring AsciiLowerText(std::wstring text);

// 0 when the first count characters match without regard to ASCII case; -1 for a
// null pointer; otherwise the sign of the first difference (a shorter text differs).
int PrefixCompare(const wchar_t* text, const wchar_t* prefix, size_t count);

// True when both texts are the same without regard to ASCII case.
bool EqualsNoCase(const std::wstring& a, const std::wstring& b);

// True when text begins with prefix, without regard to ASCII case.
bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix);

// True when word occurs anywhere in text, without regard to ASCII case.
bool ContainsNoCase(const std::wstring& text, const std::wstring& word);

// Spaces, tabs, carriage returns and line feeds: the blanks cut from around names
// and values read from files and entries.
extern const wchar_t kBlanks[];

// The text without any of the given characters at its ends.
std::wstring Trim(const std::wstring& text, const wchar_t* characters);

// The text without blanks at its ends.
std::wstring TrimWhiteSpace(const std::wstring& text);

// Drops an opening double quote and cuts the text at the closing one; a text that
// does not begin with a quote is left as it is.
void StripQuotes(std::wstring& text);

// Clears out, then appends every maximal run of characters holding none of the
// separators (NUL separates too), in order; empty runs are not produced.
void SplitTokens(const std::wstring& text, const wchar_t* separators, std::vector<std::wstring>& out);

// Whether a file name matches one of the ";"-separated patterns (blanks around each
// ignored), "*" standing for any run of characters and "?" for one, ASCII letters
// compared without case. Time grows with the name times the pattern at most.
bool MatchesNamePatterns(const std::wstring& name, const std::wstring& patterns);

}  // namespace kiv
