// Log lines go nowhere in the native build: the sink is the host's library. The
// format is still run, so the arguments the parsers log are formatted as on Windows.
#include <cstdarg>

#include "platform/Format.h"
#include "platform/Log.h"

namespace kiv {

void LogLine(const wchar_t* format, ...) noexcept {
    va_list args;
    va_start(args, format);
    try {
        WideFormatV(format, args);
    } catch (...) {}
    va_end(args);
}

void LogLineLevel(int, const wchar_t* format, ...) noexcept {
    va_list args;
    va_start(args, format);
    try {
        WideFormatV(format, args);
    } catch (...) {}
    va_end(args);
}

void LogLineLevel(int, const char* format, ...) noexcept {
    va_list args;
    va_start(args, format);
    try {
        NarrowFormatV(format, args);
    } catch (...) {}
    va_end(args);
}

}  // namespace kiv
