#pragma once

#include <string>
#include <vector>

namespace kiv {

// Clears out, then appends every maximal run of characters holding none of the
// separators (NUL separates too), in order; empty runs are not produced.
void SplitTokens(const std::wstring& text, const wchar_t* separators, std::vector<std::wstring>& out);

// The text without the spaces, tabs, carriage returns and line feeds at its ends.
std::wstring TrimWhiteSpace(const std::wstring& text);

}  // namespace kiv
