// printf-style formatting into a growing string, the same for wide and 8-bit
// text and independent of the C runtime's idea of what %s means in a wide format.
#pragma once

#include <cstdarg>
#include <string>

namespace kiv {

// Conversions: d i u o x X b(binary) c C s S A f %; flags - + # 0 and the spaces
// flag; width and precision as digits or *; length modifiers h l ll L I I32 I64 z.
// In the wide form %s takes wide text and %S and %A 8-bit text; in the 8-bit form
// %s and %A take 8-bit text and %S wide text. A null string prints "(null)".
std::wstring WideFormatV(const wchar_t* format, va_list args);
std::string NarrowFormatV(const char* format, va_list args);
std::wstring WideFormat(const wchar_t* format, ...);
std::string NarrowFormat(const char* format, ...);

}  // namespace kiv
