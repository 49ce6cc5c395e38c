#pragma once

#include <string>

namespace kiv {

// A class identifier's text to its name (title) and in-process server file. Fails
// when the class is not registered or its server file cannot be found; title and
// file stay as they were when the class key does not open.
bool LookupClass(const std::wstring& classId, std::wstring& title, std::wstring& file);

}  // namespace kiv
