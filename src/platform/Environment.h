// Environment strings: expansion of "%NAME%" texts and the "PATH" variable, each
// read whole however long it is.
#pragma once

#include <string>

namespace kiv {

// Environment strings expanded into a buffer sized by the system; the empty text
// when the expansion fails.
std::wstring ExpandPlain(const std::wstring& text);

// Expands environment strings (the whole result, however long), then converts 8.3
// names to their long form.
void ExpandPath(std::wstring& text);

// "PATH" as it is now, whole, however long.
std::wstring ReadPathVariable();

}  // namespace kiv
