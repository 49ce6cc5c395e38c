#pragma once

#include <string>
#include <vector>

namespace kiv {

// Clears out, then appends every maximal run of characters holding none of the
// separators (NUL separates too), in order; empty runs are not produced.
void SplitTokens(const std::wstring& text, const wchar_t* separators, std::vector<std::wstring>& out);

}  // namespace kiv
