// Log lines. The module keeps no log of its own: each line goes, as 8-bit text and
// in pieces (time prefix, level prefix, message), to the host's log sink.
#pragma once

namespace kiv {

void LogLine(const wchar_t* format, ...) noexcept;

// Levels above 2 are dropped without any sink call.
void LogLineLevel(int level, const wchar_t* format, ...) noexcept;
void LogLineLevel(int level, const char* format, ...) noexcept;

}  // namespace kiv
