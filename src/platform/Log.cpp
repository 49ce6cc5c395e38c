#include "platform/Log.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "hubcore.h"
#include "platform/Format.h"

namespace kiv {
namespace {

const unsigned kZeroTerminated = 0xFFFFFFFFu;
const int kHighestWrittenLevel = 2;

// A plain pointer: nothing needs freeing when a thread ends.
thread_local LogCalls* t_capture = nullptr;

void Sink(const char* text, unsigned length) {
    if (!t_capture) return HubLogWrite(text, length);
    try {
        t_capture->emplace_back(length == kZeroTerminated ? std::string(text) : std::string(text, length), length);
    } catch (...) {}
}

// "[hh:mm] " in local time, sent without its terminator.
void SendTimePrefix() {
    __time64_t now = _time64(nullptr);
    struct tm local = {};
    if (_localtime64_s(&local, &now) != 0) local = tm{};
    char prefix[16] = {};
    int n = snprintf(prefix, sizeof(prefix), "[%02d:%02d] ", local.tm_hour, local.tm_min);
    if (n > 0) Sink(prefix, static_cast<unsigned>(n));
}

// The message goes out in the C runtime's current 8-bit form; the count sent is
// the one the conversion reports, which includes the terminating zero. Text that
// cannot be converted is dropped.
void SendWideMessage(const std::wstring& message) {
    size_t size = 0;
    if (wcstombs_s(&size, nullptr, 0, message.c_str(), 0) != 0 || size == 0) return;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size + 1]());
    if (!buffer) return;
    size_t converted = 0;
    if (wcstombs_s(&converted, buffer.get(), size + 1, message.c_str(), _TRUNCATE) != 0 || converted == 0) return;
    Sink(buffer.get(), static_cast<unsigned>(converted));
}

void SendLevelPrefix(int level) {
    char prefix[16] = {};
    wsprintfA(prefix, "%i: ", level);
    Sink(prefix, kZeroTerminated);
}

}  // namespace

// The writers never raise: a line that cannot be built (no memory) is dropped.
void LogLine(const wchar_t* format, ...) noexcept {
    va_list args;
    va_start(args, format);
    try {
        SendTimePrefix();
        SendWideMessage(WideFormatV(format, args));
    } catch (...) {}
    va_end(args);
}

void LogLineLevel(int level, const wchar_t* format, ...) noexcept {
    if (level > kHighestWrittenLevel) return;
    va_list args;
    va_start(args, format);
    try {
        SendTimePrefix();
        std::wstring message = WideFormatV(format, args);
        SendLevelPrefix(level);
        SendWideMessage(message);
    } catch (...) {}
    va_end(args);
}

void LogLineLevel(int level, const char* format, ...) noexcept {
    if (level > kHighestWrittenLevel) return;
    va_list args;
    va_start(args, format);
    try {
        SendTimePrefix();
        std::string message = NarrowFormatV(format, args);
        SendLevelPrefix(level);
        Sink(message.c_str(), static_cast<unsigned>(message.size()));
    } catch (...) {}
    va_end(args);
}

LogCapture::LogCapture(LogCalls& into) noexcept : m_outer(t_capture) { t_capture = &into; }

LogCapture::~LogCapture() { t_capture = m_outer; }

void ReplayLog(const LogCalls& calls) noexcept {
    for (const auto& call : calls) HubLogWrite(call.first.c_str(), call.second);
}

}  // namespace kiv
