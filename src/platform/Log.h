// Log lines. The module keeps no log of its own: each line goes, as 8-bit text and
// in pieces (time prefix, level prefix, message), to the host's log sink.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kiv {

void LogLine(const wchar_t* format, ...) noexcept;

// Levels above 2 are dropped without any sink call.
void LogLineLevel(int level, const wchar_t* format, ...) noexcept;
void LogLineLevel(int level, const char* format, ...) noexcept;

// Sink calls (bytes and the length argument) held back instead of made.
using LogCalls = std::vector<std::pair<std::string, unsigned>>;

// While it lives, the lines the calling thread writes are kept in `into` rather than
// sent: the files of a collection are read on several threads, and their lines go
// out later from the collecting thread, in the order of the entries.
class LogCapture {
public:
    explicit LogCapture(LogCalls& into) noexcept;
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

private:
    LogCalls* m_outer;
};

// Sends kept calls to the sink as they were made.
void ReplayLog(const LogCalls& calls) noexcept;

}  // namespace kiv
