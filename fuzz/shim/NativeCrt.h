// The Microsoft C runtime's extra wide-text calls that the parsers use, for the
// native build (included before every source through the compiler's -include).
#pragma once

#include <cstddef>

int _wcsicmp(const wchar_t* a, const wchar_t* b);
int _wcsnicmp(const wchar_t* a, const wchar_t* b, std::size_t count);
int _wtoi(const wchar_t* text);
